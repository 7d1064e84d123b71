// A model of the stand-in host: one block library and its blocks, kept in a model file.
//
// The model file is CR LF text in the system code page (format in docs/korva-model.md):
//
//   KORVA MODEL 1
//   library libvirelon.so
//   block Block 1
//   <the block's parameter record, as the block wrote it>
//   end block
//   end model
//
// The host reads and writes its own lines through the file descriptor and hands the same
// descriptor to the block's ReadFromFile/WriteToFile, going on behind the block's record.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/block_abi.h"
#include "host/block_library.h"

namespace korva {

constexpr char kModelHeader[] = "KORVA MODEL 1";

// One block of a model: the host's records of it.
struct HostBlock {
    HostBlock();
    std::string Name;  // ANSI text; the record's BlockName points at it
    std::unique_ptr<abi::THostBlock> Record;
    abi::THostIOInfo IO{};
    abi::THostParamInfo Params{};
    abi::THostDialogEnable DialogEnable{};
};

class Model {
  public:
    Model() = default;
    // Disposes of every block, then unloads the library.
    ~Model();
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    // A new, empty model using the library `reference` (resolved against `path`'s folder).
    bool Create(const std::string& path, const std::string& reference, std::string& error);
    // Reads a model file: loads its library and creates its blocks from their records.
    bool Load(const std::string& path, std::string& error);
    // Writes the model file atomically: a temporary file beside it, synced, renamed over it.
    // A crash leaves either the old file or the new one, never a mixture.
    bool Save(const std::string& path, std::string& error);

    // Creates a block (InitUserDLL and the description calls). `name` is ANSI text.
    HostBlock& AddBlock(const std::string& name);
    // The block of that name (ANSI), or null.
    HostBlock* FindBlock(const std::string& name);

    // The block's outputs, as GetNumberOfInputsOutputs2 describes them (names ANSI).
    std::vector<std::string> OutputNames(HostBlock& block);

    // The host window that blocks created from now on find in their record's HostWindow
    // (0: none, the default).
    void SetHostWindow(abi::HostWindowHandle window) { hostWindow_ = window; }

    BlockLibrary& Library() { return library_; }
    const std::string& LibraryReference() const { return reference_; }
    std::vector<std::unique_ptr<HostBlock>>& Blocks() { return blocks_; }

  private:
    void DisposeBlocks();
    bool LoadLibrary(const std::string& path, const std::string& reference, std::string& error);

    BlockLibrary library_;
    std::string reference_;
    std::vector<std::unique_ptr<HostBlock>> blocks_;
    abi::HostWindowHandle hostWindow_ = 0;
};

// A text for messages: ANSI text of the model shown as UTF-8.
std::string Shown(const std::string& ansi);

}  // namespace korva

// A user block library loaded by the host: found by name or path, opened with the dynamic
// loader, its entry points looked up by name.
#pragma once

#include <string>

#include "host/block_abi.h"

namespace korva {

// The entry points of a user block library.
struct BlockEntryPoints {
    abi::IsUserDLL32Fn IsUserDLL32 = nullptr;
    abi::GetDLLNameFn GetDLLName = nullptr;
    abi::InitUserDLLFn InitUserDLL = nullptr;
    abi::DisposeUserDLLFn DisposeUserDLL = nullptr;
    abi::GetParameterStructFn GetParameterStruct = nullptr;
    abi::GetDialogEnableStructFn GetDialogEnableStruct = nullptr;
    abi::GetNumberOfInputsOutputsFn GetNumberOfInputsOutputs = nullptr;
    abi::GetNumberOfInputsOutputs2Fn GetNumberOfInputsOutputs2 = nullptr;
    abi::CanSimulateDLLFn CanSimulateDLL = nullptr;
    abi::CallParameterDialogDLLFn CallParameterDialogDLL = nullptr;
    abi::InitSimulationDLLFn InitSimulationDLL = nullptr;
    abi::SimulateDLL2Fn SimulateDLL2 = nullptr;
    abi::EndSimulationDLL2Fn EndSimulationDLL2 = nullptr;
    abi::WriteToFileFn WriteToFile = nullptr;
    abi::ReadFromFileFn ReadFromFile = nullptr;
};

class BlockLibrary : public BlockEntryPoints {
  public:
    BlockLibrary() = default;
    ~BlockLibrary();
    BlockLibrary(const BlockLibrary&) = delete;
    BlockLibrary& operator=(const BlockLibrary&) = delete;

    // Opens the library at `path` and looks up every entry point. False with `error` set when
    // the library cannot be loaded or lacks an entry point; nothing stays loaded then.
    bool Load(const std::string& path, std::string& error);
    bool Loaded() const { return handle_ != nullptr; }
    // The file the loader opened.
    const std::string& Path() const { return path_; }

  private:
    void Unload();

    void* handle_ = nullptr;
    std::string path_;
};

// Where a model's library reference points. A bare name ("libvirelon.so") is looked for beside
// the korva program first and then left to the loader's search path; a relative path counts from
// the model file's folder; an absolute path stands as it is.
std::string ResolveLibraryPath(const std::string& reference, const std::string& modelPath);

}  // namespace korva

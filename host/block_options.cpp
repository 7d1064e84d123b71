#include "host/block_options.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/kernel/kernel.h"
#include "platform/text/text.h"

namespace korva {
namespace {

// A file in memory for the block's record calls.
class MemoryFile {
  public:
    MemoryFile() : fd_(::memfd_create("korva-record", MFD_CLOEXEC)) {}
    ~MemoryFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    int fd() const { return fd_; }
    bool Rewind() { return ::lseek(fd_, 0, SEEK_SET) == 0; }
    std::string Contents() {
        std::string text;
        if (!Rewind())
            return text;
        char buffer[4096];
        ssize_t got;
        while ((got = ::read(fd_, buffer, sizeof buffer)) > 0)
            text.append(buffer, got);
        return text;
    }

  private:
    int fd_;
};

std::string RecordText(Model& model, HostBlock& block) {
    MemoryFile file;
    if (file.fd() < 0)
        return {};
    model.Library().WriteToFile(file.fd(), block.Record.get());
    return file.Contents();
}

// The option text in the system code page, or an error when it cannot stand on a record line.
bool ToRecordText(const std::string& what, const std::string& utf8, std::string& ansi,
                  std::string& error) {
    if (utf8.find_first_of("\r\n") != std::string::npos) {
        error = what + " \"" + utf8 + "\" holds a line break";
        return false;
    }
    ansi = Utf8ToAnsi(utf8);
    if (AnsiToUtf8(ansi) != utf8) {
        error = what + " \"" + utf8 + "\" has characters the system code page (" + AnsiCodePage() +
                ") cannot hold";
        return false;
    }
    if (ansi.size() > virelon::kMaxRecordLine) {
        error = what + " is longer than " + std::to_string(virelon::kMaxRecordLine) + " characters";
        return false;
    }
    return true;
}

}  // namespace

bool ReadBlockRecord(Model& model, HostBlock& block, virelon::ParameterRecord& record) {
    const std::string text = RecordText(model, block);
    size_t at = 0;
    const auto status = virelon::ReadParameterRecord(
        [&](char& byte) {
            if (at >= text.size())
                return false;
            byte = text[at++];
            return true;
        },
        record);
    return status == virelon::RecordStatus::Complete && at == text.size() && record.HasUpdateRate();
}

bool ApplyBlockOptions(Model& model, HostBlock& block, const BlockOptions& options,
                       std::string& error) {
    virelon::ParameterRecord record;
    if (!ReadBlockRecord(model, block, record)) {
        error =
            "block options need a library that stores its parameters in the OPC input "
            "block's record format; this one does not";
        return false;
    }
    if (options.Machine &&
        !ToRecordText("the machine name", *options.Machine, record.Machine, error))
        return false;
    if (options.Server && !ToRecordText("the server name", *options.Server, record.Server, error))
        return false;
    std::vector<std::string> items;
    if (options.Items) {
        items = *options.Items;
    } else {
        for (int32_t k = 0; k < record.Count; ++k)
            items.push_back(AnsiToUtf8(record.ItemIDs[k]));
    }
    items.insert(items.end(), options.AddItems.begin(), options.AddItems.end());
    if (items.size() > static_cast<size_t>(virelon::kMaxRecordItems)) {
        error = "a block has at most " + std::to_string(virelon::kMaxRecordItems) +
                " items; this would give it " + std::to_string(items.size());
        return false;
    }
    record.Count = static_cast<int32_t>(items.size());
    for (size_t k = 0; k < items.size(); ++k)
        if (!ToRecordText("the item identifier", items[k], record.ItemIDs[k], error))
            return false;
    if (options.WriteLogFile)
        record.WriteLogFile = *options.WriteLogFile;
    if (options.CheckServerState)
        record.CheckServerState = *options.CheckServerState;
    if (options.DelayMode)
        record.DelayMode = *options.DelayMode;
    if (options.DelayTime)
        record.DelayTime = *options.DelayTime;
    if (options.GroupUpdateRate)
        record.GroupUpdateRate = *options.GroupUpdateRate;

    const std::string wanted = virelon::FormatParameterRecord(record);
    MemoryFile file;
    if (file.fd() < 0 ||
        ::write(file.fd(), wanted.data(), wanted.size()) != static_cast<ssize_t>(wanted.size()) ||
        !file.Rewind()) {
        error = std::string("cannot hand the parameters to the block: ") + std::strerror(errno);
        return false;
    }
    model.Library().ReadFromFile(file.fd(), block.Record.get());
    if (RecordText(model, block) != wanted) {
        error = "the block did not take the parameters";
        return false;
    }
    return true;
}

}  // namespace korva

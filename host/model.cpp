#include "host/model.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/kernel/kernel.h"
#include "platform/text/text.h"

namespace korva {
namespace {

// Host lines are short; a longer one is not a line of ours.
constexpr size_t kMaxHostLine = 4096;

enum class LineStatus { Line, End, TooLong, Error };

// Reads one CR LF line a byte at a time, so the file position stays exactly behind it for the
// block that reads next.
LineStatus ReadHostLine(int fd, std::string& line) {
    line.clear();
    char byte = 0;
    for (;;) {
        const ssize_t got = ::read(fd, &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return LineStatus::Error;
        if (got == 0)
            return LineStatus::End;
        if (byte == '\n' && !line.empty() && line.back() == '\r') {
            line.pop_back();
            return LineStatus::Line;
        }
        if (line.size() > kMaxHostLine)
            return LineStatus::TooLong;
        line += byte;
    }
}

bool WriteAll(int fd, const std::string& text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, p, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        p += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

std::string Offset(int fd) {
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    return at >= 0 ? " (at byte " + std::to_string(at) + ")" : std::string();
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

}  // namespace

std::string Shown(const std::string& ansi) {
    return AnsiToUtf8(ansi);
}

HostBlock::HostBlock() : Record(std::make_unique<abi::THostBlock>()) {
    std::memset(Record.get(), 0, sizeof(abi::THostBlock));
}

Model::~Model() {
    DisposeBlocks();
}

void Model::DisposeBlocks() {
    for (auto& block : blocks_)
        if (library_.Loaded())
            library_.DisposeUserDLL(block->Record.get());
    blocks_.clear();
}

bool Model::LoadLibrary(const std::string& path, const std::string& reference, std::string& error) {
    if (reference.empty()) {
        error = "the model names no block library";
        return false;
    }
    reference_ = reference;
    return library_.Load(ResolveLibraryPath(AnsiToUtf8(reference), path), error);
}

bool Model::Create(const std::string& path, const std::string& reference, std::string& error) {
    DisposeBlocks();
    return LoadLibrary(path, reference, error);
}

HostBlock& Model::AddBlock(const std::string& name) {
    auto block = std::make_unique<HostBlock>();
    block->Name = name;
    block->Record->BlockName = block->Name.c_str();
    block->Record->HostWindow = hostWindow_;
    library_.InitUserDLL(block->Record.get());
    library_.GetParameterStruct(&block->Params);
    library_.GetDialogEnableStruct(&block->DialogEnable, 0);
    library_.GetNumberOfInputsOutputs(&block->IO);
    blocks_.push_back(std::move(block));
    return *blocks_.back();
}

HostBlock* Model::FindBlock(const std::string& name) {
    for (auto& block : blocks_)
        if (block->Name == name)
            return block.get();
    return nullptr;
}

std::vector<std::string> Model::OutputNames(HostBlock& block) {
    library_.GetNumberOfInputsOutputs2(&block.IO, 0, block.Record->Instance, 0);
    std::vector<std::string> names;
    const size_t count = std::min<size_t>(block.IO.OutputCount, abi::kMaxOutputs);
    for (size_t k = 0; k < count; ++k)
        names.emplace_back(block.IO.OutputNames[k],
                           strnlen(block.IO.OutputNames[k], abi::kOutputNameSize));
    return names;
}

bool Model::Load(const std::string& path, std::string& error) {
    DisposeBlocks();
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        error = "cannot open the model file \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    const int fd = file.get();
    const std::string damaged = "damaged model file \"" + path + "\": ";
    std::string line;
    if (ReadHostLine(fd, line) != LineStatus::Line || line != kModelHeader) {
        error = "\"" + path + "\" is not a korva model file (its first line is not \"" +
                kModelHeader + "\")";
        return false;
    }
    if (ReadHostLine(fd, line) != LineStatus::Line || line.rfind("library ", 0) != 0) {
        error = damaged + "the second line must be \"library NAME\"";
        return false;
    }
    if (!LoadLibrary(path, line.substr(8), error))
        return false;

    for (;;) {
        const LineStatus status = ReadHostLine(fd, line);
        if (status != LineStatus::Line) {
            error = damaged + "the file ends before \"end model\"" + Offset(fd);
            return false;
        }
        if (line == "end model")
            break;
        if (line.rfind("block ", 0) != 0 || line.size() == 6) {
            error = damaged + "expected \"block NAME\" or \"end model\", found \"" + Shown(line) +
                    "\"" + Offset(fd);
            return false;
        }
        const std::string name = line.substr(6);
        if (FindBlock(name)) {
            error = damaged + "two blocks are named \"" + Shown(name) + "\"";
            return false;
        }
        HostBlock& block = AddBlock(name);
        library_.ReadFromFile(fd, block.Record.get());
        if (ReadHostLine(fd, line) != LineStatus::Line || line != "end block") {
            error = damaged + "the parameter record of block \"" + Shown(name) +
                    "\" does not end where \"end block\" should follow" + Offset(fd);
            return false;
        }
    }
    char extra = 0;
    if (::read(fd, &extra, 1) != 0) {
        error = damaged + "data follows \"end model\"" + Offset(fd);
        return false;
    }
    return true;
}

bool Model::Save(const std::string& path, std::string& error) {
    std::string temp = path + ".XXXXXX";
    FileDescriptor file(::mkostemp(temp.data(), O_CLOEXEC));
    if (file.get() < 0) {
        error = "cannot write the model file \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    const int fd = file.get();
    auto fail = [&](const std::string& why) {
        error = "cannot write the model file \"" + path + "\": " + why;
        ::unlink(temp.c_str());
        return false;
    };
    // The new file keeps the old one's permissions; a new model gets 0644 less the umask.
    struct stat old {};
    mode_t mode = 0;
    if (::stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0644 & ~mask;
    }
    if (::fchmod(fd, mode) != 0)
        return fail(std::strerror(errno));

    bool ok = WriteAll(fd, std::string(kModelHeader) + "\r\n") &&
              WriteAll(fd, "library " + reference_ + "\r\n");
    for (auto& block : blocks_) {
        if (!ok)
            break;
        ok = WriteAll(fd, "block " + block->Name + "\r\n");
        if (!ok)
            break;
        library_.WriteToFile(fd, block->Record.get());
        ok = WriteAll(fd, "end block\r\n");
    }
    ok = ok && WriteAll(fd, "end model\r\n");
    if (!ok)
        return fail(std::strerror(errno));
    if (::fsync(fd) != 0)
        return fail(std::strerror(errno));
    if (::close(file.release()) != 0)
        return fail(std::strerror(errno));
    if (::rename(temp.c_str(), path.c_str()) != 0)
        return fail(std::strerror(errno));
    // The rename itself must reach the disk too.
    std::string folder = ExtractFilePath(path);
    if (folder.empty())
        folder = ".";
    if (int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace korva

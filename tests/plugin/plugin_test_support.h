// Helpers the block library's tests share: files in memory, waiting on conditions, log files.
#pragma once

#include <dirent.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace virelon::test {

// A file in memory, for the record calls that take a file handle.
class MemoryFile {
  public:
    MemoryFile() : fd_(::memfd_create("virelon-test", MFD_CLOEXEC)) {}
    explicit MemoryFile(const std::string& contents) : MemoryFile() {
        Write(contents);
        Rewind();
    }
    ~MemoryFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    int fd() const { return fd_; }
    void Write(const std::string& text) {
        if (::write(fd_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("memfd write failed");
    }
    void Rewind() { ::lseek(fd_, 0, SEEK_SET); }
    off_t Position() const { return ::lseek(fd_, 0, SEEK_CUR); }
    std::string Contents() const {
        std::string text;
        char buffer[4096];
        ssize_t got;
        for (off_t at = 0; (got = ::pread(fd_, buffer, sizeof buffer, at)) > 0; at += got)
            text.append(buffer, static_cast<size_t>(got));
        return text;
    }

  private:
    int fd_;
};

// Polls `condition` with a short yield until it holds or `deadline` passes; answers whether it
// held.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::yield();
    }
    return true;
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The file names in `directory` that start with `prefix`.
inline std::vector<std::string> FilesStartingWith(const std::string& directory,
                                                  const std::string& prefix) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.rfind(prefix, 0) == 0)
                names.push_back(name);
        }
        ::closedir(dir);
    }
    return names;
}

// The lines of a run log (CR LF separated); false in `wellFormed` when a line ends otherwise.
inline std::vector<std::string> LogLines(const std::string& text, bool* wellFormed = nullptr) {
    std::vector<std::string> lines;
    size_t at = 0;
    bool ok = true;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            ok = false;
            lines.push_back(text.substr(at));
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    if (wellFormed)
        *wellFormed = ok;
    return lines;
}

inline size_t CountStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    size_t count = 0;
    for (const std::string& line : lines)
        if (line.rfind(prefix, 0) == 0)
            ++count;
    return count;
}

}  // namespace virelon::test

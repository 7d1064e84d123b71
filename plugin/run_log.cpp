#include "plugin/run_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "platform/kernel/kernel.h"
#include "platform/text/text.h"

namespace virelon {
namespace {

std::mutex directoryMutex;
std::string directoryOverride;

}  // namespace

bool TRunLog::Open(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    return fd_ >= 0;
}

void TRunLog::WriteLine(std::string_view line) {
    if (fd_ < 0)
        return;
    std::string whole;
    whole.reserve(line.size() + 2);
    whole.append(line).append("\r\n");
    const char* p = whole.data();
    size_t left = whole.size();
    while (left > 0) {
        const ssize_t written = ::write(fd_, p, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        p += written;
        left -= static_cast<size_t>(written);
    }
}

void TRunLog::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::string LogTimestamp() {
    return Utf8ToAnsi(LocaleTimestampNow());
}

std::string RunLogFileName(std::string_view blockName, const std::tm& when) {
    std::string name;
    for (char c : blockName)
        if (c != '>')
            name += c;
    name = AnsiToUtf8(name);
    if (name.find('/') != std::string::npos || name == "." || name == "..")
        return {};
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d_%02d%02d%02d", when.tm_year + 1900,
                  when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec);
    return "Virin_" + std::string(stamp) + "_" + name + ".log";
}

std::string RunLogDirectory() {
    {
        std::lock_guard<std::mutex> lock(directoryMutex);
        if (!directoryOverride.empty())
            return directoryOverride;
    }
    return ExtractFilePath(GetModuleFileName(reinterpret_cast<const void*>(&RunLogDirectory)));
}

void SetRunLogDirectory(std::string directory) {
    if (!directory.empty() && directory.back() != '/')
        directory += '/';
    std::lock_guard<std::mutex> lock(directoryMutex);
    directoryOverride = std::move(directory);
}

}  // namespace virelon

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "platform/kernel/kernel.h"

std::string GetProgramFileName() {
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(length));
        buffer.resize(buffer.size() * 2);  // the path may have been cut: try again with more room
    }
}

std::string GetModuleFileName(const void* address) {
    Dl_info info{};
    link_map* module = nullptr;
    if (!address ||
        dladdr1(address, &info, reinterpret_cast<void**>(&module), RTLD_DL_LINKMAP) == 0 || !module)
        return {};
    // The program itself has no name in the loader's list.
    if (!module->l_name || module->l_name[0] == '\0')
        return GetProgramFileName();
    std::string path = module->l_name;
    if (path.front() != '/') {
        // A library opened by a relative path: complete it against the working folder, which
        // is the best guess left once it is loaded.
        std::error_code ignored;
        const auto absolute = std::filesystem::absolute(path, ignored);
        if (!absolute.empty())
            path = absolute.lexically_normal().string();
    }
    return path;
}

std::string ExtractFilePath(std::string_view path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    return std::string(path.substr(0, slash + 1));
}

std::string GetComputerName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

// regsvr: registers or unregisters an in-process server module by calling its
// DllRegisterServer or DllUnregisterServer.
//
//     regsvr [-s] MODULE        register
//     regsvr [-s] -u MODULE     unregister
//
// Exit codes: 0 done, 2 wrong command line, 3 the module cannot be loaded, 4 it lacks the entry
// point, 5 the entry point reported a failure.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/com/com.h"

namespace {

constexpr int kUsage = 2;
constexpr int kCannotLoad = 3;
constexpr int kNoEntryPoint = 4;
constexpr int kEntryPointFailed = 5;

int Usage(FILE* out) {
    std::fprintf(out,
                 "usage: regsvr [-s] [-u] MODULE\n"
                 "  Calls DllRegisterServer of the shared library MODULE (with -u:\n"
                 "  DllUnregisterServer), which writes (or removes) its classes'\n"
                 "  registration in HKEY_CLASSES_ROOT.\n"
                 "  -u  unregister\n"
                 "  -s  silent: no message on success\n"
                 "exit codes: 0 done, 2 wrong command line, 3 module cannot be loaded,\n"
                 "  4 entry point missing, 5 entry point failed\n");
    return out == stdout ? 0 : kUsage;
}

// A file given by name is loaded from where it is; a bare name that is no file goes through the
// dynamic loader's search path, as a library name does.
std::string LoadPath(const std::string& module) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(module, ec)) {
        std::filesystem::path absolute = std::filesystem::absolute(module, ec);
        if (!ec)
            return absolute.string();
    }
    return module;
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    bool silent = false;
    std::string module;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-u" || arg == "/u")
            unregister = true;
        else if (arg == "-s" || arg == "/s")
            silent = true;
        else if (arg == "-h" || arg == "--help")
            return Usage(stdout);
        else if (arg == "--" && i + 1 == argc - 1 && module.empty())
            module = argv[++i];
        else if (!arg.empty() && arg[0] != '-' && module.empty())
            module = arg;
        else
            return Usage(stderr);
    }
    if (module.empty())
        return Usage(stderr);

    const char* entryPoint = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    void* library = dlopen(LoadPath(module).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        std::fprintf(stderr, "regsvr: cannot load %s: %s\n", module.c_str(),
                     why ? why : "unknown reason");
        return kCannotLoad;
    }
    auto call = reinterpret_cast<DllRegisterServerFn>(dlsym(library, entryPoint));
    if (!call) {
        std::fprintf(stderr, "regsvr: %s has no entry point %s\n", module.c_str(), entryPoint);
        dlclose(library);
        return kNoEntryPoint;
    }

    // Modules may use COM while they register.
    ComInit com(COINIT_APARTMENTTHREADED);
    const HRESULT hr = call();
    if (FAILED(hr)) {
        std::fprintf(stderr, "regsvr: %s in %s failed: %s\n", entryPoint, module.c_str(),
                     DescribeHResult(hr).c_str());
        return kEntryPointFailed;
    }
    if (!silent)
        std::printf("%s in %s succeeded.\n", entryPoint, module.c_str());
    // The module stays loaded until the process ends: objects or threads it made while
    // registering must not lose their code.
    return 0;
}

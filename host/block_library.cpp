#include "host/block_library.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include "platform/kernel/kernel.h"

namespace korva {
namespace {

template <class Fn>
bool Find(void* handle, const char* name, Fn& fn, std::string& missing) {
    fn = reinterpret_cast<Fn>(dlsym(handle, name));
    if (!fn && missing.empty())
        missing = name;
    return fn != nullptr;
}

}  // namespace

BlockLibrary::~BlockLibrary() {
    Unload();
}

void BlockLibrary::Unload() {
    if (handle_)
        dlclose(handle_);
    handle_ = nullptr;
    path_.clear();
    static_cast<BlockEntryPoints&>(*this) = BlockEntryPoints{};
}

bool BlockLibrary::Load(const std::string& path, std::string& error) {
    Unload();
    // RTLD_NODELETE: a block library that brings its own windows (and so the windowing library)
    // cannot be unmapped safely while that library's global state lives on, so a loaded block
    // library stays mapped for the rest of the process; unloading only forgets the handle.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        const char* why = dlerror();
        error = "cannot load the block library \"" + path + "\": " + (why ? why : "unknown error");
        return false;
    }
    std::string missing;
    Find(handle, "IsUserDLL32", IsUserDLL32, missing);
    Find(handle, "GetDLLName", GetDLLName, missing);
    Find(handle, "InitUserDLL", InitUserDLL, missing);
    Find(handle, "DisposeUserDLL", DisposeUserDLL, missing);
    Find(handle, "GetParameterStruct", GetParameterStruct, missing);
    Find(handle, "GetDialogEnableStruct", GetDialogEnableStruct, missing);
    Find(handle, "GetNumberOfInputsOutputs", GetNumberOfInputsOutputs, missing);
    Find(handle, "GetNumberOfInputsOutputs2", GetNumberOfInputsOutputs2, missing);
    Find(handle, "CanSimulateDLL", CanSimulateDLL, missing);
    Find(handle, "CallParameterDialogDLL", CallParameterDialogDLL, missing);
    Find(handle, "InitSimulationDLL", InitSimulationDLL, missing);
    Find(handle, "SimulateDLL2", SimulateDLL2, missing);
    Find(handle, "EndSimulationDLL2", EndSimulationDLL2, missing);
    Find(handle, "WriteToFile", WriteToFile, missing);
    Find(handle, "ReadFromFile", ReadFromFile, missing);
    if (!missing.empty()) {
        error = "the block library \"" + path + "\" lacks the entry point " + missing +
                " (is it a user block library?)";
        dlclose(handle);
        static_cast<BlockEntryPoints&>(*this) = BlockEntryPoints{};
        return false;
    }
    handle_ = handle;
    path_ = path;
    // The file the loader actually opened, for a bare name found on the search path.
    if (link_map* map = nullptr;
        dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name)
        path_ = map->l_name;
    return true;
}

std::string ResolveLibraryPath(const std::string& reference, const std::string& modelPath) {
    if (reference.empty() || reference.front() == '/')
        return reference;
    if (reference.find('/') != std::string::npos)
        return ExtractFilePath(modelPath) + reference;
    const std::string beside = ExtractFilePath(GetProgramFileName()) + reference;
    if (::access(beside.c_str(), F_OK) == 0)
        return beside;
    return reference;  // the loader's search path
}

}  // namespace korva

// The server modules this process has loaded for activation. A module is loaded once and kept
// until the process ends: objects and factories it handed out may live anywhere, and its code
// must not go away under them.
#pragma once

#include <string>

#include "platform/com/runtime.h"

namespace korva::com::detail {

struct LoadedModule {
    HRESULT hr = S_OK;  // CO_E_DLLNOTFOUND or CO_E_ERRORINDLL on failure
    DllGetClassObjectFn getClassObject = nullptr;
    std::string error;  // the loader's reason when the module could not be loaded
};

// Loads `path` (RTLD_NOW | RTLD_LOCAL) unless it is already loaded, and finds its
// DllGetClassObject. Thread-safe; a module that fails to load is tried again next time, since it
// may have been installed meanwhile.
LoadedModule LoadServerModule(const std::string& path);

}  // namespace korva::com::detail

#include "platform/com/detail/module_cache.h"

#include <dlfcn.h>

#include <mutex>
#include <unordered_map>

namespace korva::com::detail {
namespace {

struct Cache {
    std::mutex mutex;
    std::unordered_map<std::string, LoadedModule> modules;  // successfully opened ones
};

Cache& Modules() {
    static Cache* cache = new Cache;  // outlives every thread that may still activate at exit
    return *cache;
}

}  // namespace

LoadedModule LoadServerModule(const std::string& path) {
    Cache& cache = Modules();
    {
        std::lock_guard lock(cache.mutex);
        auto it = cache.modules.find(path);
        if (it != cache.modules.end())
            return it->second;
    }
    // Loaded outside the lock: a module's initialisers may themselves create objects. Two threads
    // loading the same path get the same handle from the loader; the first entry stays.
    LoadedModule module;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        module.hr = CO_E_DLLNOTFOUND;
        module.error = why ? why : "cannot load " + path;
        return module;
    }
    module.getClassObject =
        reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    if (!module.getClassObject) {
        module.hr = CO_E_ERRORINDLL;
        module.error = path + " does not export DllGetClassObject";
    }
    std::lock_guard lock(cache.mutex);
    return cache.modules.emplace(path, module).first->second;
}

}  // namespace korva::com::detail

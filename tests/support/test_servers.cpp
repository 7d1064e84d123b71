#include "tests/support/test_servers.h"

#include <dlfcn.h>

namespace korva::test {
namespace {

HRESULT CallExport(const std::string& path, const char* name) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return CO_E_DLLNOTFOUND;
    auto fn = reinterpret_cast<DllRegisterServerFn>(dlsym(module, name));
    HRESULT hr = fn ? fn() : CO_E_ERRORINDLL;
    // The COM runtime opens the module on its own when it creates objects; this reference is
    // only for the call.
    dlclose(module);
    return hr;
}

}  // namespace

std::string SimulationServerModulePath() {
    return KORVA_BIN_DIR "/libopcsim.so";
}
std::string ServerListModulePath() {
    return KORVA_BIN_DIR "/libopcenum.so";
}
std::string FaultServerModulePath() {
    return KORVA_BIN_DIR "/fixtures/opc/libopcfault.so";
}

HRESULT RegisterModule(const std::string& path) {
    return CallExport(path, "DllRegisterServer");
}
HRESULT UnregisterModule(const std::string& path) {
    return CallExport(path, "DllUnregisterServer");
}

HRESULT RegisterSimulationServer() {
    return RegisterModule(SimulationServerModulePath());
}
HRESULT RegisterServerListComponent() {
    return RegisterModule(ServerListModulePath());
}
HRESULT RegisterFaultServer() {
    return RegisterModule(FaultServerModulePath());
}

}  // namespace korva::test

// The module's exports: the class factories of both server classes and their registration.
#include <cstdio>
#include <mutex>
#include <set>

#include "opc/opc_da.h"
#include "servers/common/registration.h"
#include "servers/opcsim/object_count.h"
#include "servers/opcsim/opcsim.h"

namespace opcsim {
namespace {

class ServerFactory final : public ComObject<IClassFactory> {
  public:
    explicit ServerFactory(ServerKind kind) : kind_(kind) {}

    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object)
            *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        std::string error;
        const HRESULT hr = CreateServer(kind_, nullptr, riid, object, &error);
        if (!error.empty())
            Complain(error);
        return hr;
    }
    HRESULT LockServer(BOOL lock) override {
        ServerLockCount().fetch_add(lock ? 1 : -1);
        return S_OK;
    }

  private:
    // A client that cannot create the server only sees the result code; the reason goes to the
    // standard error stream, once per distinct reason.
    static void Complain(const std::string& error) {
        static std::mutex mutex;
        static std::set<std::string> told;
        std::lock_guard lock(mutex);
        if (told.insert(error).second)
            std::fprintf(stderr, "opcsim: %s\n", error.c_str());
    }

    ServerKind kind_;
    LiveObject live_;
};

korva::servers::ServerClassInfo ClassInfo(bool flat, const std::string& modulePath) {
    korva::servers::ServerClassInfo info;
    info.clsid = flat ? CLSID_OPCSimFlatServer : CLSID_OPCSimServer;
    info.progId = flat ? kFlatServerProgId : kServerProgId;
    info.versionIndependentProgId = flat ? kFlatServerViProgId : kServerViProgId;
    info.userType = flat ? kFlatServerUserType : kServerUserType;
    info.opcVendor = kVendor;
    info.modulePath = modulePath;
    info.implementedCategories = {CATID_OPCDAServer20, CATID_OPCDAServer10};
    return info;
}

std::string ThisModulePath();

}  // namespace
}  // namespace opcsim

#define OPCSIM_EXPORT extern "C" __attribute__((visibility("default")))

OPCSIM_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    using namespace opcsim;
    if (!object)
        return E_POINTER;
    *object = nullptr;
    ServerKind kind;
    if (clsid == CLSID_OPCSimServer)
        kind = ServerKind::Hierarchical;
    else if (clsid == CLSID_OPCSimFlatServer)
        kind = ServerKind::Flat;
    else
        return CLASS_E_CLASSNOTAVAILABLE;
    return MakeComObject<ServerFactory>(kind)->QueryInterface(riid, object);
}

OPCSIM_EXPORT HRESULT DllCanUnloadNow() {
    using namespace opcsim;
    return LiveObjectCount().load() == 0 && ServerLockCount().load() == 0 ? S_OK : S_FALSE;
}

OPCSIM_EXPORT HRESULT DllRegisterServer() {
    using namespace opcsim;
    const std::string path = ThisModulePath();
    if (path.empty())
        return E_FAIL;
    HRESULT hr = korva::servers::RegisterServerClass(ClassInfo(false, path));
    if (FAILED(hr))
        return hr;
    hr = korva::servers::RegisterServerClass(ClassInfo(true, path));
    if (FAILED(hr))
        korva::servers::UnregisterServerClass(ClassInfo(false, path));
    return hr;
}

OPCSIM_EXPORT HRESULT DllUnregisterServer() {
    using namespace opcsim;
    const std::string path = ThisModulePath();
    const HRESULT flat = korva::servers::UnregisterServerClass(ClassInfo(true, path));
    const HRESULT hierarchical = korva::servers::UnregisterServerClass(ClassInfo(false, path));
    return FAILED(flat) ? flat : hierarchical;
}

namespace opcsim {
namespace {
// The module registers where it is, so that a build tree or an installation both work.
std::string ThisModulePath() {
    return korva::servers::ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
}
}  // namespace
}  // namespace opcsim

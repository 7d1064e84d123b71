// The server list component's module exports.
#include "servers/common/registration.h"
#include "servers/opcenum/detail/server_list.h"

#define OPCENUM_EXPORT extern "C" __attribute__((visibility("default")))

namespace opcenum {
namespace {

class Factory : public ComObject<IClassFactory> {
  public:
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto list = MakeComObject<ServerList>();
        return list->QueryInterface(riid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

korva::servers::ServerClassInfo ClassInfo() {
    korva::servers::ServerClassInfo info;
    info.clsid = CLSID_OpcServerList;
    info.progId = "OPC.ServerList.1";
    info.versionIndependentProgId = "OPC.ServerList";
    info.userType = "OPC Server List";
    info.modulePath = korva::servers::ModulePathOf(reinterpret_cast<const void*>(&ClassInfo));
    return info;
}

}  // namespace
}  // namespace opcenum

OPCENUM_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_OpcServerList)
        return CLASS_E_CLASSNOTAVAILABLE;
    ComPtr<IClassFactory> factory(new opcenum::Factory());
    return factory->QueryInterface(riid, object);
}

OPCENUM_EXPORT HRESULT DllRegisterServer() {
    return korva::servers::RegisterServerClass(opcenum::ClassInfo());
}

OPCENUM_EXPORT HRESULT DllUnregisterServer() {
    return korva::servers::UnregisterServerClass(opcenum::ClassInfo());
}

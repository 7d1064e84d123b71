#include "opc/detail/server_activation.h"

#include <algorithm>
#include <atomic>

#include "opc/detail/name_compare.h"
#include "opc/opc_access.h"
#include "platform/kernel/kernel.h"
#include "platform/text/text.h"

namespace opc::detail {

namespace {

using CreateInstanceFn = decltype(ActivationCalls::createInstance);
using CreateInstanceExFn = decltype(ActivationCalls::createInstanceEx);

std::atomic<CreateInstanceFn> g_createInstance{nullptr};
std::atomic<CreateInstanceExFn> g_createInstanceEx{nullptr};

HRESULT CreateLocally(REFCLSID clsid, ComPtr<IUnknown>& object) {
    CreateInstanceFn create = g_createInstance.load();
    if (!create)
        create = &CoCreateInstance;
    return create(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                  object.AsOut());
}

HRESULT CreateOnMachine(std::u16string_view machine, REFCLSID clsid, ComPtr<IUnknown>& object) {
    // The name travels NUL-terminated in a buffer of fixed size; the caller has checked that it
    // fits and holds no NUL of its own.
    char16_t name[kMaxMachineNameLength + 1] = {};
    std::copy(machine.begin(), machine.end(), name);

    COSERVERINFO server{};
    server.pwszName = name;
    MULTI_QI request{&IID_IUnknown, nullptr, S_OK};
    const DWORD context = IsThisComputer(machine)
                              ? CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER
                              : CLSCTX_REMOTE_SERVER;

    CreateInstanceExFn createEx = g_createInstanceEx.load();
    if (!createEx)
        createEx = &CoCreateInstanceEx;
    HRESULT hr = createEx(clsid, nullptr, context, &server, 1, &request);
    // A reference handed out with a failure is still ours to release.
    object.Attach(request.pItf);
    if (SUCCEEDED(hr) && FAILED(request.hr))
        hr = request.hr;
    if (SUCCEEDED(hr) && !object)
        hr = E_NOINTERFACE;
    if (FAILED(hr))
        object.Reset();
    return hr;
}

}  // namespace

HRESULT CreateServerObject(std::u16string_view machine, REFCLSID clsid, ComPtr<IUnknown>& object) {
    object.Reset();
    HRESULT hr = E_INVALIDARG;
    if (machine.empty())
        hr = CreateLocally(clsid, object);
    else if (machine.size() <= kMaxMachineNameLength && machine.find(u'\0') == machine.npos)
        hr = CreateOnMachine(machine, clsid, object);
    if (FAILED(hr))
        object.Reset();
    return hr;
}

ActivationCalls SetActivationCalls(ActivationCalls calls) {
    ActivationCalls previous;
    previous.createInstance = g_createInstance.exchange(calls.createInstance);
    previous.createInstanceEx = g_createInstanceEx.exchange(calls.createInstanceEx);
    return previous;
}

bool IsThisComputer(std::u16string_view machine) {
    // The same names the runtime takes for this computer: "\\name" as the registry writes it,
    // and "localhost". Asking only for the remote context there would find no class at all.
    if (machine.starts_with(u"\\\\"))
        machine.remove_prefix(2);
    if (EqualNamesIgnoringCase(machine, u"localhost"))
        return true;
    const std::u16string full = Utf8ToUtf16(GetComputerName());
    if (full.empty())
        return false;
    const std::u16string_view shortName = std::u16string_view(full).substr(0, full.find(u'.'));
    return EqualNamesIgnoringCase(machine, full) || EqualNamesIgnoringCase(machine, shortName);
}

}  // namespace opc::detail

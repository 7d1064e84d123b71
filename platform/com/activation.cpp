// Object creation: in-process classes from their registered modules, other machines through the
// remote activation backend. There are no local (out-of-process) servers on this platform, so a
// request for CLSCTX_LOCAL_SERVER alone finds no class.
#include <cstdlib>
#include <mutex>
#include <optional>

#include "platform/com/detail/module_cache.h"
#include "platform/com/runtime.h"
#include "platform/kernel/kernel.h"
#include "platform/registry/registry.h"
#include "platform/text/text.h"

namespace {

using korva::com::detail::LoadedModule;
using korva::com::detail::LoadServerModule;

// %NAME% references of a REG_EXPAND_SZ value, from the environment; unknown names stay as
// written, as the platform leaves them.
std::string ExpandEnvironment(const std::string& text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const size_t open = text.find('%', i);
        const size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) {
            out.append(text, i, std::string::npos);
            break;
        }
        out.append(text, i, open - i);
        const std::string name = text.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value)
            out += value;
        else
            out.append(text, open, close - open + 1);
        i = close + 1;
    }
    return out;
}

// The module path registered for `clsid`; nothing when the class is not registered in process.
std::optional<std::string> InprocServerPath(REFCLSID clsid) {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    if (!reg.OpenKeyReadOnly("\\CLSID\\" + GuidToAnsi(clsid) + "\\InprocServer32"))
        return std::nullopt;
    std::optional<RegValue> value = reg.ReadValue("");
    if (!value || value->text.empty())
        return std::nullopt;
    if (value->type == REG_SZ)
        return value->text;
    if (value->type == REG_EXPAND_SZ)
        return ExpandEnvironment(value->text);
    return std::nullopt;
}

HRESULT CreateInProcess(REFCLSID clsid, IUnknown* outer, REFIID riid, void** object) {
    std::optional<std::string> path = InprocServerPath(clsid);
    if (!path)
        return REGDB_E_CLASSNOTREG;
    LoadedModule module = LoadServerModule(*path);
    if (FAILED(module.hr))
        return module.hr;

    // Module code is foreign: an exception must not leave through this call.
    try {
        ComPtr<IClassFactory> factory;
        HRESULT hr = module.getClassObject(clsid, IID_IClassFactory, factory.AsOut());
        if (FAILED(hr))
            return hr;
        if (!factory)
            return CO_E_ERRORINDLL;  // claimed success without a factory
        hr = factory->CreateInstance(outer, riid, object);
        if (SUCCEEDED(hr) && !*object)
            return E_NOINTERFACE;  // claimed success without an object
        if (FAILED(hr))
            *object = nullptr;
        return hr;
    } catch (...) {
        *object = nullptr;
        return E_UNEXPECTED;
    }
}

// Host names are ASCII; anything else never matches.
bool SameMachineName(std::u16string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i];
        char y = b[i];
        if (x >= u'A' && x <= u'Z')
            x = char16_t(x - u'A' + u'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != char16_t(static_cast<unsigned char>(y)))
            return false;
    }
    return true;
}

// This computer: no name, its host name in any case, or "localhost". A leading "\\" (the form
// the registry's connect takes) is accepted as well.
bool IsThisComputer(std::u16string_view machine) {
    if (machine.starts_with(u"\\\\"))
        machine.remove_prefix(2);
    if (machine.empty())
        return true;
    return SameMachineName(machine, "localhost") || SameMachineName(machine, GetComputerName());
}

struct RemoteBackend {
    std::mutex mutex;
    std::shared_ptr<RemoteActivation> backend;
};

RemoteBackend& Remote() {
    static RemoteBackend* remote = new RemoteBackend;
    return *remote;
}

std::shared_ptr<RemoteActivation> CurrentRemote() {
    RemoteBackend& r = Remote();
    std::lock_guard lock(r.mutex);
    return r.backend;
}

}  // namespace

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!CoIsInitialized())
        return CO_E_NOTINITIALIZED;
    if (!(context & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    return CreateInProcess(clsid, outer, riid, object);
}

HRESULT CoCreateInstanceEx(REFCLSID clsid, IUnknown* outer, DWORD context, COSERVERINFO* server,
                           DWORD count, MULTI_QI* results) {
    if (count == 0 || !results)
        return E_INVALIDARG;
    for (DWORD i = 0; i < count; ++i)
        if (!results[i].pIID)
            return E_INVALIDARG;
    auto fail = [&](HRESULT hr) {
        for (DWORD i = 0; i < count; ++i) {
            results[i].pItf = nullptr;
            results[i].hr = hr;
        }
        return hr;
    };
    if (!CoIsInitialized())
        return fail(CO_E_NOTINITIALIZED);

    const std::u16string_view machine =
        server && server->pwszName ? std::u16string_view(server->pwszName) : std::u16string_view();
    ComPtr<IUnknown> object;
    HRESULT hr;
    if (IsThisComputer(machine)) {
        hr = CoCreateInstance(clsid, outer, context, IID_IUnknown, object.AsOut());
    } else {
        // An object of another machine cannot be part of an object of this one.
        if (outer)
            return fail(CLASS_E_NOAGGREGATION);
        std::shared_ptr<RemoteActivation> backend = CurrentRemote();
        if (!backend)
            return fail(RPC_S_SERVER_UNAVAILABLE_HR);
        hr = backend->CreateInstance(machine, clsid, IID_IUnknown, object.AsOut());
        if (SUCCEEDED(hr) && !object)
            hr = E_NOINTERFACE;
    }
    if (FAILED(hr))
        return fail(hr);

    DWORD served = 0;
    for (DWORD i = 0; i < count; ++i) {
        void* itf = nullptr;
        results[i].hr = object->QueryInterface(*results[i].pIID, &itf);
        if (SUCCEEDED(results[i].hr) && !itf)
            results[i].hr = E_NOINTERFACE;
        results[i].pItf = SUCCEEDED(results[i].hr) ? static_cast<IUnknown*>(itf) : nullptr;
        if (SUCCEEDED(results[i].hr))
            ++served;
    }
    return served == count ? S_OK : served > 0 ? CO_S_NOTALLINTERFACES : E_NOINTERFACE;
}

std::shared_ptr<RemoteActivation> CoSetRemoteActivation(std::shared_ptr<RemoteActivation> backend) {
    RemoteBackend& r = Remote();
    std::lock_guard lock(r.mutex);
    r.backend.swap(backend);
    return backend;
}

// The COM runtime: apartments, security, activation, ProgIDs and task memory.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "platform/com/unknown.h"

// ---- Apartments ---------------------------------------------------------------------------
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

// Counted per thread: S_OK the first time, S_FALSE when already initialised in the same model,
// RPC_E_CHANGED_MODE for another model. Each success needs one CoUninitialize.
HRESULT CoInitializeEx(void* reserved, DWORD model);
HRESULT CoInitialize(void* reserved);
void CoUninitialize();
// True while the calling thread has initialised COM.
bool CoIsInitialized();

// Identifies the apartment of a thread (0: the thread has no apartment).
using ApartmentId = uint64_t;
ApartmentId CoCurrentApartment();

// Calls into another apartment are posted to its queue and run on its thread when it dispatches
// (a server's callback to a client sink created on another thread). A call for the current
// apartment runs at once. Answers CO_E_NOTINITIALIZED when the apartment no longer exists.
HRESULT CoPostToApartment(ApartmentId apartment, std::function<void()> call);
// Runs the calls queued for the calling thread's apartment; answers how many ran.
size_t CoDispatchApartmentCalls();
// Called (from any thread) whenever a call is queued for the calling thread's apartment, so an
// event loop can wake up and dispatch; an empty function removes the hook.
void CoSetApartmentWakeup(std::function<void()> wakeup);

// ---- Security -----------------------------------------------------------------------------
constexpr DWORD RPC_C_AUTHN_LEVEL_NONE = 1;
constexpr DWORD RPC_C_IMP_LEVEL_IMPERSONATE = 3;
constexpr DWORD EOAC_NONE = 0;
// Succeeds once per process; later calls answer RPC_E_TOO_LATE.
HRESULT CoInitializeSecurity(void* securityDescriptor, LONG authServiceCount, void* authServices,
                             void* reserved1, DWORD authnLevel, DWORD impLevel, void* authList,
                             DWORD capabilities, void* reserved3);

// ---- Activation ---------------------------------------------------------------------------
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER;

struct COSERVERINFO {
    DWORD dwReserved1;
    LPWSTR pwszName;  // machine name; null or empty for this computer
    void* pAuthInfo;
    DWORD dwReserved2;
};
struct MULTI_QI {
    const IID* pIID;
    IUnknown* pItf;
    HRESULT hr;
};

// Creates an object of a registered class. In-process classes come from the module named by
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 (loaded once, kept loaded), through its
// exported DllGetClassObject. Errors are answers: REGDB_E_CLASSNOTREG, CO_E_DLLNOTFOUND,
// CO_E_ERRORINDLL (no DllGetClassObject), E_NOINTERFACE, CO_E_NOTINITIALIZED.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** object);
// As CoCreateInstance, on the machine of `server` (null or this computer's name in any case:
// local creation). Other machines go to the remote activation backend; without one the answer
// is RPC_S_SERVER_UNAVAILABLE_HR. Fills each MULTI_QI's hr and pItf.
HRESULT CoCreateInstanceEx(REFCLSID clsid, IUnknown* outer, DWORD context, COSERVERINFO* server,
                           DWORD count, MULTI_QI* results);

// Where objects of another machine come from. Tests and the remote step plug in here.
class RemoteActivation {
public:
    virtual ~RemoteActivation() = default;
    virtual HRESULT CreateInstance(std::u16string_view machine, REFCLSID clsid, REFIID riid,
                                   void** object) = 0;
};
// Installs the backend (nullptr removes it); answers the previous one.
std::shared_ptr<RemoteActivation> CoSetRemoteActivation(std::shared_ptr<RemoteActivation> backend);

// HKEY_CLASSES_ROOT\<progid>\CLSID. CO_E_CLASSSTRING when the ProgID is not registered.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
// HKEY_CLASSES_ROOT\CLSID\{clsid}\ProgID; the text is task memory.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId);

// Signatures of a server module's exports.
extern "C" {
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID riid, void** object);
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();
}

// ---- Task memory --------------------------------------------------------------------------
// Memory handed across interfaces: the receiver frees it with CoTaskMemFree.
void* CoTaskMemAlloc(size_t size);
void* CoTaskMemRealloc(void* block, size_t size);
void CoTaskMemFree(void* block);
// Blocks allocated and not yet freed, process-wide; tests compare it with a baseline.
size_t CoTaskMemLiveBlocks();

template <class T>
T* CoTaskMemNew(size_t count) {
    return static_cast<T*>(CoTaskMemAlloc(sizeof(T) * (count ? count : 1)));
}

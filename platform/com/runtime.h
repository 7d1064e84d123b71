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
// RPC_E_CHANGED_MODE for another model. Each success needs one CoUninitialize; the last one ends
// the thread's membership of its apartment (a thread that ends without it leaves as well).
// E_INVALIDARG for a non-null `reserved` or unknown flags.
HRESULT CoInitializeEx(void* reserved, DWORD model);
HRESULT CoInitialize(void* reserved);
void CoUninitialize();
// True while the calling thread has initialised COM.
bool CoIsInitialized();

// Identifies the apartment of a thread (0: the thread has no apartment). An apartment-threaded
// thread has an apartment of its own, which ends with its last CoUninitialize; all
// multithreaded threads share one apartment, which ends with the last of them. Identifiers are
// never reused within a process.
using ApartmentId = uint64_t;
ApartmentId CoCurrentApartment();

// Calls into another apartment are posted to its queue and run on its thread when it dispatches
// (a server's callback to a client sink created on another thread). A call for the current
// apartment runs at once, and so does a call for the multithreaded apartment (its objects are
// free-threaded), on the posting thread. Any thread may post, with or without COM. Answers
// CO_E_NOTINITIALIZED when the apartment does not exist (any more), E_INVALIDARG for an empty
// call; the call is then destroyed unrun. When an apartment ends, the calls still queued are
// destroyed unrun on the thread that ends it.
HRESULT CoPostToApartment(ApartmentId apartment, std::function<void()> call);
// Runs the calls queued for the calling thread's single-threaded apartment, in the order they
// were posted, and answers how many ran. Calls posted while it runs wait for the next dispatch.
// 0 on a thread without COM or in the multithreaded apartment.
size_t CoDispatchApartmentCalls();
// Called (from the posting thread) whenever a call is queued for the calling thread's apartment,
// so an event loop can wake up and dispatch; an empty function removes the hook. Once this
// returns, the previous hook is not running and will not run again. The hook must return
// promptly and must not post to this apartment itself or replace the hook. Ignored on a thread
// without COM; the hook goes when the apartment ends.
void CoSetApartmentWakeup(std::function<void()> wakeup);

// Initialises COM for the lifetime of the object (programs' main, threads) and uninitialises it
// again when the initialisation succeeded.
class ComInit {
  public:
    explicit ComInit(DWORD model = COINIT_APARTMENTTHREADED)
        : hr_(CoInitializeEx(nullptr, model)) {}
    ~ComInit() {
        if (SUCCEEDED(hr_))
            CoUninitialize();
    }
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;

    HRESULT Result() const { return hr_; }
    bool Succeeded() const { return SUCCEEDED(hr_); }

  private:
    HRESULT hr_;
};

// ---- Security -----------------------------------------------------------------------------
constexpr DWORD RPC_C_AUTHN_LEVEL_NONE = 1;
constexpr DWORD RPC_C_IMP_LEVEL_IMPERSONATE = 3;
constexpr DWORD EOAC_NONE = 0;
// Succeeds once per process; later calls answer RPC_E_TOO_LATE. Needs COM on the calling thread
// (else CO_E_NOTINITIALIZED); an authentication or impersonation level out of range gives
// E_INVALIDARG and does not count as the one call. Creating objects does not fix the settings
// implicitly: every object of this platform is in process or reached through the remote backend,
// which sets its own.
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
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 (REG_SZ, or REG_EXPAND_SZ with %NAME%
// references; loaded once, kept loaded), through its exported DllGetClassObject, in the calling
// thread's apartment. Errors are answers: REGDB_E_CLASSNOTREG (also for a context without
// CLSCTX_INPROC_SERVER: there are no local servers), CO_E_DLLNOTFOUND, CO_E_ERRORINDLL (no
// DllGetClassObject, or it gave no factory), the module's own answer (CLASS_E_CLASSNOTAVAILABLE,
// E_NOINTERFACE, CLASS_E_NOAGGREGATION, ...), CO_E_NOTINITIALIZED, E_POINTER for a null
// `object`. `*object` is null after every failure.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object);
// As CoCreateInstance, on the machine of `server`. Null, empty, this computer's name in any case
// or "localhost" (each optionally preceded by two backslashes) mean this computer: exactly local
// creation with `context`. Other machines go to the remote activation backend whatever the
// context; without one the answer is RPC_S_SERVER_UNAVAILABLE_HR, and an `outer` object gives
// CLASS_E_NOAGGREGATION. Fills each MULTI_QI's hr and pItf (null where hr failed). Answers S_OK
// when every request was served, CO_S_NOTALLINTERFACES when some were, E_NOINTERFACE when none
// were, and the creation's failure (copied into every hr) when no object came about.
// E_INVALIDARG for no requests or a request without an IID.
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

// HKEY_CLASSES_ROOT\<progid>\CLSID. CO_E_CLASSSTRING when the ProgID is not registered, is
// empty or contains a backslash, or its CLSID text is malformed (`*clsid` is then GUID_NULL). Works
// without COM on the thread, as on the platform.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
// HKEY_CLASSES_ROOT\CLSID\{clsid}\ProgID; the text is task memory. REGDB_E_CLASSNOTREG when
// the class has no ProgID.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId);

// Signatures of a server module's exports.
extern "C" {
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID riid, void** object);
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();
}

// ---- Task memory --------------------------------------------------------------------------
// Memory handed across interfaces: the receiver frees it with CoTaskMemFree. Usable without
// COM and from any thread. A size of 0 still gives a block (null only when memory is out).
void* CoTaskMemAlloc(size_t size);
// Null `block`: allocates. Size 0: frees and answers null. On failure the old block stays valid.
void* CoTaskMemRealloc(void* block, size_t size);
void CoTaskMemFree(void* block);
// Blocks allocated and not yet freed, process-wide; tests compare it with a baseline.
size_t CoTaskMemLiveBlocks();

template <class T>
T* CoTaskMemNew(size_t count) {
    return static_cast<T*>(CoTaskMemAlloc(sizeof(T) * (count ? count : 1)));
}

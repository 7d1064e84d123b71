#include <atomic>

#include "platform/com/runtime.h"

namespace {
std::atomic<bool> securitySet{false};

constexpr DWORD kMaxAuthnLevel = 6;  // packet privacy
constexpr DWORD kMaxImpLevel = 4;    // delegate
}  // namespace

// Only the first successful call counts; the settings themselves have nothing to govern while
// every object lives in this process, so they are checked and not kept.
HRESULT CoInitializeSecurity(void* /*securityDescriptor*/, LONG authServiceCount,
                             void* /*authServices*/, void* /*reserved1*/, DWORD authnLevel,
                             DWORD impLevel, void* /*authList*/, DWORD /*capabilities*/,
                             void* /*reserved3*/) {
    if (!CoIsInitialized())
        return CO_E_NOTINITIALIZED;
    if (authServiceCount < -1 || authnLevel > kMaxAuthnLevel || impLevel > kMaxImpLevel)
        return E_INVALIDARG;
    return securitySet.exchange(true) ? RPC_E_TOO_LATE : S_OK;
}

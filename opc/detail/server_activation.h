// How the OPC client layer creates the objects of a machine: the servers it connects to and the
// machine's server list component are created the same way.
#pragma once

#include <string_view>

#include "platform/com/com.h"

namespace opc::detail {

// Creates the object of `clsid` on `machine` and hands out its IUnknown. An empty machine name:
// CoCreateInstance in the in-process or local-server context. A named machine:
// CoCreateInstanceEx with only that name and one request for IUnknown, in the remote-server
// context, or in every server context when the name is this computer's (any letter case).
// E_INVALIDARG, without any creation, for a machine name longer than kMaxMachineNameLength or
// one holding a NUL. `object` is empty on failure.
HRESULT CreateServerObject(std::u16string_view machine, REFCLSID clsid, ComPtr<IUnknown>& object);

// The runtime calls behind CreateServerObject. Tests replace them to see which path a creation
// takes and with which context flags; install before the calls to observe, not concurrently.
struct ActivationCalls {
    HRESULT (*createInstance)(REFCLSID, IUnknown*, DWORD, REFIID, void**) = nullptr;
    HRESULT(*createInstanceEx)
    (REFCLSID, IUnknown*, DWORD, COSERVERINFO*, DWORD, MULTI_QI*) = nullptr;
};
// Installs `calls` (null members: the runtime's own); answers the previous ones.
ActivationCalls SetActivationCalls(ActivationCalls calls);

// True when `machine` is this computer's name (its full host name, or the part before the first
// dot; "localhost"; each also behind "\\"), compared without regard to case.
bool IsThisComputer(std::u16string_view machine);

}  // namespace opc::detail

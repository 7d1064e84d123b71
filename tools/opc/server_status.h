// The whole status record of a server, for `opc status` (the access helpers hand out the state
// alone).
#pragma once

#include <string>

#include "opc/opc_da.h"

namespace opctool {

struct ServerStatus {
    OPCSERVERSTATE state{};
    FILETIME startTime{};
    FILETIME currentTime{};
    FILETIME lastUpdateTime{};
    DWORD groupCount = 0;
    DWORD bandWidth = 0;
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    WORD buildNumber = 0;
    std::u16string vendorInfo;
};

// Calls GetStatus and copies the record; the record and its text are freed on every path.
// E_FAIL for a missing server or a success without a record.
HRESULT ReadServerStatus(IOPCServer* server, ServerStatus& status);

// "RUNNING", "FAILED", "NOCONFIG", "SUSPENDED", "TEST", "COMM_FAULT" or "UNKNOWN".
const char* ServerStateName(DWORD state);

}  // namespace opctool

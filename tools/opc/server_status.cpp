#include "tools/opc/server_status.h"

namespace opctool {

HRESULT ReadServerStatus(IOPCServer* server, ServerStatus& status) {
    if (!server)
        return E_FAIL;
    OPCSERVERSTATUS* record = nullptr;
    HRESULT hr = server->GetStatus(&record);
    if (SUCCEEDED(hr) && !record)
        hr = E_FAIL;
    if (SUCCEEDED(hr)) {
        status.state = record->dwServerState;
        status.startTime = record->ftStartTime;
        status.currentTime = record->ftCurrentTime;
        status.lastUpdateTime = record->ftLastUpdateTime;
        status.groupCount = record->dwGroupCount;
        status.bandWidth = record->dwBandWidth;
        status.majorVersion = record->wMajorVersion;
        status.minorVersion = record->wMinorVersion;
        status.buildNumber = record->wBuildNumber;
        status.vendorInfo = record->szVendorInfo ? record->szVendorInfo : u"";
    }
    if (record) {
        CoTaskMemFree(record->szVendorInfo);
        CoTaskMemFree(record);
    }
    return hr;
}

const char* ServerStateName(DWORD state) {
    switch (state) {
        case OPC_STATUS_RUNNING:
            return "RUNNING";
        case OPC_STATUS_FAILED:
            return "FAILED";
        case OPC_STATUS_NOCONFIG:
            return "NOCONFIG";
        case OPC_STATUS_SUSPENDED:
            return "SUSPENDED";
        case OPC_STATUS_TEST:
            return "TEST";
        case OPC_STATUS_COMM_FAULT:
            return "COMM_FAULT";
        default:
            return "UNKNOWN";
    }
}

}  // namespace opctool

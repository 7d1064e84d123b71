#include "opc/opc_types.h"

#include <mutex>

namespace {

struct QualityName {
    WORD bits;  // status and sub-status (the limit bits 0x03 left out)
    const char* text;
};

constexpr QualityName kQualityNames[] = {
    {OPC_QUALITY_BAD, "BAD"},
    {OPC_QUALITY_BAD | OPC_QUALITY_CONFIG_ERROR, "BAD (configuration error)"},
    {OPC_QUALITY_BAD | OPC_QUALITY_NOT_CONNECTED, "BAD (not connected)"},
    {OPC_QUALITY_BAD | OPC_QUALITY_DEVICE_FAILURE, "BAD (device failure)"},
    {OPC_QUALITY_BAD | OPC_QUALITY_SENSOR_FAILURE, "BAD (sensor failure)"},
    {OPC_QUALITY_BAD | OPC_QUALITY_LAST_KNOWN, "BAD (last known value)"},
    {OPC_QUALITY_BAD | OPC_QUALITY_COMM_FAILURE, "BAD (communication failure)"},
    {OPC_QUALITY_BAD | OPC_QUALITY_OUT_OF_SERVICE, "BAD (out of service)"},
    {OPC_QUALITY_BAD | OPC_QUALITY_WAITING_FOR_INITIAL_DATA, "BAD (waiting for initial data)"},
    {OPC_QUALITY_UNCERTAIN, "UNCERTAIN"},
    {OPC_QUALITY_LAST_USABLE, "UNCERTAIN (last usable value)"},
    {OPC_QUALITY_SENSOR_CAL, "UNCERTAIN (sensor not accurate)"},
    {OPC_QUALITY_EGU_EXCEEDED, "UNCERTAIN (engineering units exceeded)"},
    {OPC_QUALITY_SUB_NORMAL, "UNCERTAIN (sub-normal)"},
    {OPC_QUALITY_GOOD, "GOOD"},
    {OPC_QUALITY_LOCAL_OVERRIDE, "GOOD (local override)"},
};

constexpr HResultInfo kOpcCodes[] = {
    {OPC_E_INVALIDHANDLE, "OPC_E_INVALIDHANDLE", "The handle is not valid"},
    {OPC_E_BADTYPE, "OPC_E_BADTYPE",
     "The server cannot convert between the requested and the canonical data type"},
    {OPC_E_PUBLIC, "OPC_E_PUBLIC", "The operation cannot be done on a public group"},
    {OPC_E_BADRIGHTS, "OPC_E_BADRIGHTS", "The item's access rights do not allow the operation"},
    {OPC_E_UNKNOWNITEMID, "OPC_E_UNKNOWNITEMID",
     "The item is not (or no longer) in the server's address space"},
    {OPC_E_INVALIDITEMID, "OPC_E_INVALIDITEMID",
     "The item identifier does not follow the server's syntax"},
    {OPC_E_INVALIDFILTER, "OPC_E_INVALIDFILTER", "The filter text is not valid"},
    {OPC_E_UNKNOWNPATH, "OPC_E_UNKNOWNPATH", "The server does not know the item's access path"},
    {OPC_E_RANGE, "OPC_E_RANGE", "The value is out of range"},
    {OPC_E_DUPLICATENAME, "OPC_E_DUPLICATENAME", "The name is already in use"},
    {OPC_S_UNSUPPORTEDRATE, "OPC_S_UNSUPPORTEDRATE",
     "The server uses the closest update rate it supports"},
    {OPC_S_CLAMP, "OPC_S_CLAMP", "The value was accepted but clamped"},
    {OPC_S_INUSE, "OPC_S_INUSE", "The object is still referenced"},
    {OPC_E_INVALIDCONFIGFILE, "OPC_E_INVALIDCONFIGFILE",
     "The server's configuration file has an invalid format"},
    {OPC_E_NOTFOUND, "OPC_E_NOTFOUND", "The requested object was not found"},
};

}  // namespace

const char* OpcQualityText(WORD quality) {
    // The limit bits (low, high, constant) do not change what the quality means to a reader.
    const WORD bits = quality & 0xFC;
    for (const QualityName& name : kQualityNames)
        if (name.bits == bits)
            return name.text;
    switch (bits & OPC_QUALITY_MASK) {
        case OPC_QUALITY_GOOD:
            return "GOOD";
        case OPC_QUALITY_UNCERTAIN:
            return "UNCERTAIN";
        case OPC_QUALITY_BAD:
            return "BAD";
        default:
            return "UNKNOWN";  // status 0x80 is not defined for data access
    }
}

void RegisterOpcResultNames() {
    static std::once_flag once;
    std::call_once(once, [] { RegisterHResultNames(kOpcCodes, std::size(kOpcCodes)); });
}

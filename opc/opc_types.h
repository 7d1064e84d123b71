// OPC DA data types, records and constants.
#pragma once

#include "platform/com/com.h"

using OPCHANDLE = DWORD;

enum OPCDATASOURCE : DWORD { OPC_DS_CACHE = 1, OPC_DS_DEVICE = 2 };
enum OPCBROWSETYPE : DWORD { OPC_BRANCH = 1, OPC_LEAF = 2, OPC_FLAT = 3 };
enum OPCNAMESPACETYPE : DWORD { OPC_NS_HIERARCHIAL = 1, OPC_NS_FLAT = 2 };
enum OPCBROWSEDIRECTION : DWORD { OPC_BROWSE_UP = 1, OPC_BROWSE_DOWN = 2, OPC_BROWSE_TO = 3 };
enum OPCENUMSCOPE : DWORD {
    OPC_ENUM_PRIVATE_CONNECTIONS = 1,
    OPC_ENUM_PUBLIC_CONNECTIONS = 2,
    OPC_ENUM_ALL_CONNECTIONS = 3,
    OPC_ENUM_PRIVATE = 4,
    OPC_ENUM_PUBLIC = 5,
    OPC_ENUM_ALL = 6,
};
enum OPCSERVERSTATE : DWORD {
    OPC_STATUS_RUNNING = 1,
    OPC_STATUS_FAILED = 2,
    OPC_STATUS_NOCONFIG = 3,
    OPC_STATUS_SUSPENDED = 4,
    OPC_STATUS_TEST = 5,
    OPC_STATUS_COMM_FAULT = 6,
};

// Access rights of an item.
constexpr DWORD OPC_READABLE = 1;
constexpr DWORD OPC_WRITEABLE = 2;

// Quality word: status bits (mask 0xC0) and their sub-status.
constexpr WORD OPC_QUALITY_MASK = 0xC0;
constexpr WORD OPC_QUALITY_BAD = 0x00;
constexpr WORD OPC_QUALITY_UNCERTAIN = 0x40;
constexpr WORD OPC_QUALITY_GOOD = 0xC0;
constexpr WORD OPC_QUALITY_CONFIG_ERROR = 0x04;
constexpr WORD OPC_QUALITY_NOT_CONNECTED = 0x08;
constexpr WORD OPC_QUALITY_DEVICE_FAILURE = 0x0C;
constexpr WORD OPC_QUALITY_SENSOR_FAILURE = 0x10;
constexpr WORD OPC_QUALITY_LAST_KNOWN = 0x14;
constexpr WORD OPC_QUALITY_COMM_FAILURE = 0x18;
constexpr WORD OPC_QUALITY_OUT_OF_SERVICE = 0x1C;
constexpr WORD OPC_QUALITY_WAITING_FOR_INITIAL_DATA = 0x20;
constexpr WORD OPC_QUALITY_LAST_USABLE = 0x44;
constexpr WORD OPC_QUALITY_SENSOR_CAL = 0x50;
constexpr WORD OPC_QUALITY_EGU_EXCEEDED = 0x54;
constexpr WORD OPC_QUALITY_SUB_NORMAL = 0x58;
constexpr WORD OPC_QUALITY_LOCAL_OVERRIDE = 0xD8;

// "GOOD", "BAD", "UNCERTAIN" with the sub-status where there is one ("BAD (not connected)").
const char* OpcQualityText(WORD quality);

// Adds the names and texts of the OPC_E_* and OPC_S_* codes to HResultName/DescribeHResult.
// Idempotent and thread-safe; the access helpers call it themselves, programs may call it early.
void RegisterOpcResultNames();

struct OPCITEMDEF {
    LPWSTR szAccessPath;
    LPWSTR szItemID;
    BOOL bActive;
    OPCHANDLE hClient;
    DWORD dwBlobSize;
    BYTE* pBlob;
    VARTYPE vtRequestedDataType;
    WORD wReserved;
};

struct OPCITEMRESULT {
    OPCHANDLE hServer;
    VARTYPE vtCanonicalDataType;
    WORD wReserved;
    DWORD dwAccessRights;
    DWORD dwBlobSize;
    BYTE* pBlob;  // task memory or null
};

struct OPCITEMSTATE {
    OPCHANDLE hClient;
    FILETIME ftTimeStamp;
    WORD wQuality;
    WORD wReserved;
    VARIANT vDataValue;
};

struct OPCSERVERSTATUS {
    FILETIME ftStartTime;
    FILETIME ftCurrentTime;
    FILETIME ftLastUpdateTime;
    OPCSERVERSTATE dwServerState;
    DWORD dwGroupCount;
    DWORD dwBandWidth;
    WORD wMajorVersion;
    WORD wMinorVersion;
    WORD wBuildNumber;
    WORD wReserved;
    LPWSTR szVendorInfo;  // task memory
};

// Per-item and call results of OPC servers.
constexpr HRESULT OPC_E_INVALIDHANDLE = MakeHResult(0xC0040001);
constexpr HRESULT OPC_E_BADTYPE = MakeHResult(0xC0040004);
constexpr HRESULT OPC_E_PUBLIC = MakeHResult(0xC0040005);
constexpr HRESULT OPC_E_BADRIGHTS = MakeHResult(0xC0040006);
constexpr HRESULT OPC_E_UNKNOWNITEMID = MakeHResult(0xC0040007);
constexpr HRESULT OPC_E_INVALIDITEMID = MakeHResult(0xC0040008);
constexpr HRESULT OPC_E_INVALIDID = OPC_E_INVALIDITEMID;  // the malformed-identifier answer
constexpr HRESULT OPC_E_INVALIDFILTER = MakeHResult(0xC0040009);
constexpr HRESULT OPC_E_UNKNOWNPATH = MakeHResult(0xC004000A);
constexpr HRESULT OPC_E_RANGE = MakeHResult(0xC004000B);
constexpr HRESULT OPC_E_DUPLICATENAME = MakeHResult(0xC004000C);
constexpr HRESULT OPC_S_UNSUPPORTEDRATE = MakeHResult(0x0004000D);
constexpr HRESULT OPC_S_CLAMP = MakeHResult(0x0004000E);
constexpr HRESULT OPC_S_INUSE = MakeHResult(0x0004000F);
constexpr HRESULT OPC_E_INVALIDCONFIGFILE = MakeHResult(0xC0040010);
constexpr HRESULT OPC_E_NOTFOUND = MakeHResult(0xC0040011);

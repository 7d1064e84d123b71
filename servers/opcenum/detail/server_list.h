// The server list component: which OPC servers this computer has registered, by component
// category, and their names.
#pragma once

#include "opc/opc_common.h"

namespace opcenum {

// Both interfaces of the component over this computer's class registration. Holds no state:
// every call reads the registry, so any thread may call it.
class ServerList : public ComObject<IOPCServerList2, IOPCServerList> {
  public:
    // `implemented`: classes with any one of these categories ((ULONG)-1 or 0 entries: any
    // class); `required`: only classes that also have all of these ((ULONG)-1 or 0: none
    // required). The enumerator lists the classes found at the time of the call.
    HRESULT EnumClassesOfCategories(ULONG implementedCount, CATID* implemented, ULONG requiredCount,
                                    CATID* required, IEnumGUID** classes) override;
    // ProgID, user type name (and version-independent ProgID) as task memory texts. The user
    // type and the version-independent ProgID are empty texts when not registered.
    // REGDB_E_CLASSNOTREG for an unknown class, REGDB_E_READREGDB for a class without ProgID;
    // nothing is handed out then.
    HRESULT GetClassDetails(REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType) override;
    HRESULT GetClassDetails(REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType,
                            LPOLESTR* versionIndependentProgId) override;
    HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) override;
};

}  // namespace opcenum

// Registration of an in-process server class in HKEY_CLASSES_ROOT, as a module's
// DllRegisterServer/DllUnregisterServer write and remove it.
//
// RegisterServerClass writes:
//   <ProgID>                           default: user type name
//   <ProgID>\CLSID                     default: {clsid}
//   <ProgID>\OPC\Vendor                default: vendor            (OPC servers only)
//   <VersionIndependentProgID>         default: user type name    (when one is given)
//   <VersionIndependentProgID>\CLSID   default: {clsid}
//   <VersionIndependentProgID>\CurVer  default: <ProgID>
//   <VersionIndependentProgID>\OPC\Vendor                         (OPC servers only)
//   CLSID\{clsid}                      default: user type name
//   CLSID\{clsid}\InprocServer32       default: module path; "ThreadingModel"
//   CLSID\{clsid}\ProgID               default: <ProgID>
//   CLSID\{clsid}\VersionIndependentProgID                        (when one is given)
//   CLSID\{clsid}\Implemented Categories\{catid}                  (one key per category)
// UnregisterServerClass removes exactly these keys again, so that register + unregister leaves
// the registry as it was.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/com/com.h"

namespace korva::servers {

struct ServerClassInfo {
    CLSID clsid{};
    std::string progId;                    // "OPCSim.Server.1"
    std::string versionIndependentProgId;  // "OPCSim.Server"; empty: none
    std::string userType;                  // "OPC Simulation Server"
    // Set for OPC servers: the ProgID keys get the "OPC" sub-key with this "Vendor" text, which is
    // how a registry scan recognises an OPC server.
    std::optional<std::string> opcVendor;
    std::string modulePath;  // absolute path of the shared library (ModulePathOf)
    std::string threadingModel = "Both";
    std::vector<CATID> implementedCategories;
};

// Writes the keys above (UTF-8 texts). On failure whatever was written is removed again and the
// answer is E_ACCESSDENIED (a key could not be created or written) or E_INVALIDARG (no ProgID or
// module path).
HRESULT RegisterServerClass(const ServerClassInfo& info);

// Removes the keys RegisterServerClass writes. A ProgID key is removed only while its CLSID
// names this class, so a ProgID that another class has taken over since is left alone; keys that
// are already gone are no error. The "CLSID" key itself is removed when this class's key was
// its last content (registration created it then). E_ACCESSDENIED when a key could not be
// removed.
HRESULT UnregisterServerClass(const ServerClassInfo& info);

// Absolute path of the shared library that holds `address` (a function of the calling module);
// empty when it cannot be told.
std::string ModulePathOf(const void* address);

}  // namespace korva::servers

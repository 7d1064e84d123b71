// What the server list component reads from this computer's class registration
// (HKEY_CLASSES_ROOT\CLSID).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/com/guid.h"

namespace opcenum {

// The classes under CLSID, in the registry's key order, whose "Implemented Categories" hold at
// least one of `implemented` and every one of `required`. An empty `implemented` does not
// restrict; an empty `required` asks for nothing. Keys whose names are not class identifiers
// are passed over.
std::vector<CLSID> ClassesOfCategories(const std::vector<CATID>& implemented,
                                       const std::vector<CATID>& required);

struct ClassDetails {
    std::string progId;                    // CLSID\{..}\ProgID
    std::string userType;                  // default value of CLSID\{..}; "" when missing
    std::string versionIndependentProgId;  // CLSID\{..}\VersionIndependentProgID; "" when missing
};

// Nothing when the class is not registered or has no ProgID: a class that cannot be named
// cannot be offered as a server.
enum class DetailsError { None, NotRegistered, NoProgId };
DetailsError ReadClassDetails(REFCLSID clsid, ClassDetails* details);

}  // namespace opcenum

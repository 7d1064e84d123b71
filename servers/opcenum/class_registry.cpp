#include "servers/opcenum/detail/class_registry.h"

#include <algorithm>

#include "platform/registry/registry.h"

namespace opcenum {
namespace {

std::string ClassKey(REFCLSID clsid) {
    return "\\CLSID\\" + GuidToAnsi(clsid);
}

// The categories a class implements, as its "Implemented Categories" sub-keys name them (any
// letter case).
std::vector<CATID> ImplementedCategories(TRegistry& reg, const std::string& classKey) {
    std::vector<CATID> categories;
    if (!reg.OpenKeyReadOnly(classKey + "\\Implemented Categories"))
        return categories;
    for (const std::string& name : reg.GetKeyNames()) {
        if (auto catid = GuidFromAnsi(name))
            categories.push_back(*catid);
    }
    reg.CloseKey();
    return categories;
}

bool Contains(const std::vector<CATID>& set, const CATID& catid) {
    return std::find(set.begin(), set.end(), catid) != set.end();
}

}  // namespace

std::vector<CLSID> ClassesOfCategories(const std::vector<CATID>& implemented,
                                       const std::vector<CATID>& required) {
    std::vector<CLSID> found;
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    if (!reg.OpenKeyReadOnly("\\CLSID"))
        return found;
    const std::vector<std::string> names = reg.GetKeyNames();
    reg.CloseKey();
    for (const std::string& name : names) {
        std::optional<CLSID> clsid = GuidFromAnsi(name);
        if (!clsid)
            continue;
        if (implemented.empty() && required.empty()) {
            found.push_back(*clsid);
            continue;
        }
        const std::vector<CATID> has = ImplementedCategories(reg, "\\CLSID\\" + name);
        const bool anyImplemented =
            implemented.empty() || std::any_of(implemented.begin(), implemented.end(),
                                               [&](const CATID& c) { return Contains(has, c); });
        const bool allRequired = std::all_of(required.begin(), required.end(),
                                             [&](const CATID& c) { return Contains(has, c); });
        if (anyImplemented && allRequired)
            found.push_back(*clsid);
    }
    return found;
}

DetailsError ReadClassDetails(REFCLSID clsid, ClassDetails* details) {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    const std::string key = ClassKey(clsid);
    if (!reg.OpenKeyReadOnly(key))
        return DetailsError::NotRegistered;
    ClassDetails out;
    out.userType = reg.ReadString("").value_or("");
    reg.CloseKey();
    if (!reg.OpenKeyReadOnly(key + "\\ProgID"))
        return DetailsError::NoProgId;
    out.progId = reg.ReadString("").value_or("");
    reg.CloseKey();
    if (out.progId.empty())
        return DetailsError::NoProgId;
    if (reg.OpenKeyReadOnly(key + "\\VersionIndependentProgID")) {
        out.versionIndependentProgId = reg.ReadString("").value_or("");
        reg.CloseKey();
    }
    *details = std::move(out);
    return DetailsError::None;
}

}  // namespace opcenum

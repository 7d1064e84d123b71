#include "servers/common/registration.h"

#include <filesystem>

#include "platform/kernel/kernel.h"
#include "platform/registry/registry.h"

namespace korva::servers {
namespace {

// Writes the default value (and optionally one named value) of `path` below HKEY_CLASSES_ROOT,
// creating the key.
bool WriteKey(const std::string& path, const std::string& text, const std::string& valueName = {},
              const std::string& value = {}) {
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    if (!reg.OpenKey("\\" + path, true))
        return false;
    if (!reg.WriteString("", text))
        return false;
    if (!valueName.empty() && !reg.WriteString(valueName, value))
        return false;
    return true;
}

// Creates `path` below HKEY_CLASSES_ROOT without values (a category marker).
bool CreateKey(const std::string& path) {
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    return reg.OpenKey("\\" + path, true);
}

bool KeyExists(const std::string& path) {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    return reg.KeyExists("\\" + path);
}

// Deletes `path` with its sub-keys; a key that is already gone counts as deleted.
bool DeleteTree(const std::string& path) {
    if (!KeyExists(path))
        return true;
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    return reg.DeleteKey("\\" + path) && !KeyExists(path);
}

std::optional<std::string> ReadDefault(const std::string& path) {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    if (!reg.OpenKeyReadOnly("\\" + path))
        return std::nullopt;
    return reg.ReadString("");
}

bool WriteProgId(const ServerClassInfo& info, const std::string& progId, const std::string& clsid,
                 bool versionIndependent) {
    if (!WriteKey(progId, info.userType))
        return false;
    if (!WriteKey(progId + "\\CLSID", clsid))
        return false;
    if (versionIndependent && !WriteKey(progId + "\\CurVer", info.progId))
        return false;
    if (info.opcVendor && !WriteKey(progId + "\\OPC\\Vendor", *info.opcVendor))
        return false;
    return true;
}

// A ProgID key is ours only while it points at our class. A registration that failed half-way
// may have left one without its CLSID; rolling back removes that too.
bool RemoveProgId(const std::string& progId, const std::string& clsid, bool rollingBack) {
    if (progId.empty() || !KeyExists(progId))
        return true;
    std::optional<std::string> current = ReadDefault(progId + "\\CLSID");
    const bool ours = current ? GuidFromAnsi(*current) == GuidFromAnsi(clsid) : rollingBack;
    return !ours || DeleteTree(progId);
}

HRESULT Unregister(const ServerClassInfo& info, bool rollingBack) {
    const std::string clsid = GuidToAnsi(info.clsid);
    bool ok = RemoveProgId(info.progId, clsid, rollingBack);
    ok = RemoveProgId(info.versionIndependentProgId, clsid, rollingBack) && ok;
    ok = DeleteTree("CLSID\\" + clsid) && ok;

    // Registration creates "CLSID" when it is missing; an empty one left behind would make the
    // registry differ from before.
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    if (reg.OpenKeyReadOnly("\\CLSID") && reg.GetKeyNames().empty() &&
        reg.GetValueNames().empty()) {
        reg.CloseKey();
        ok = DeleteTree("CLSID") && ok;
    }
    return ok ? S_OK : E_ACCESSDENIED;
}

}  // namespace

HRESULT RegisterServerClass(const ServerClassInfo& info) {
    if (info.progId.empty() || info.modulePath.empty())
        return E_INVALIDARG;
    const std::string clsid = GuidToAnsi(info.clsid);
    const std::string classKey = "CLSID\\" + clsid;

    bool ok = WriteProgId(info, info.progId, clsid, false);
    if (ok && !info.versionIndependentProgId.empty())
        ok = WriteProgId(info, info.versionIndependentProgId, clsid, true);
    ok = ok && WriteKey(classKey, info.userType);
    ok = ok && WriteKey(classKey + "\\InprocServer32", info.modulePath, "ThreadingModel",
                        info.threadingModel);
    ok = ok && WriteKey(classKey + "\\ProgID", info.progId);
    if (ok && !info.versionIndependentProgId.empty())
        ok = WriteKey(classKey + "\\VersionIndependentProgID", info.versionIndependentProgId);
    for (const CATID& category : info.implementedCategories) {
        if (!ok)
            break;
        ok = CreateKey(classKey + "\\Implemented Categories\\" + GuidToAnsi(category));
    }
    if (!ok) {
        // Half a registration is worse than none: a scan would list a class that cannot load.
        Unregister(info, true);
        return E_ACCESSDENIED;
    }
    return S_OK;
}

HRESULT UnregisterServerClass(const ServerClassInfo& info) {
    return Unregister(info, false);
}

std::string ModulePathOf(const void* address) {
    const std::string path = GetModuleFileName(address);
    if (path.empty())
        return path;
    // A module opened by a relative path must still be found from any working directory.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : absolute.string();
}

}  // namespace korva::servers

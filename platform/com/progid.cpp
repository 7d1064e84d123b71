#include "platform/com/runtime.h"
#include "platform/registry/registry.h"
#include "platform/text/text.h"

namespace {

// The default value of a key below HKEY_CLASSES_ROOT.
std::optional<std::string> ReadClassesDefault(const std::string& path) {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    if (!reg.OpenKeyReadOnly("\\" + path))
        return std::nullopt;
    return reg.ReadString("");
}

}  // namespace

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
    if (!progId || !clsid)
        return E_INVALIDARG;
    *clsid = GUID_NULL;
    const std::string name = Utf16ToUtf8(progId);
    // A ProgID is one key name: a "\" would reach into other keys of the hive.
    if (name.empty() || name.find('\\') != std::string::npos)
        return CO_E_CLASSSTRING;
    std::optional<std::string> text = ReadClassesDefault(name + "\\CLSID");
    if (!text)
        return CO_E_CLASSSTRING;
    std::optional<GUID> parsed = GuidFromAnsi(*text);
    if (!parsed)
        return CO_E_CLASSSTRING;
    *clsid = *parsed;
    return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) {
    if (!progId)
        return E_INVALIDARG;
    *progId = nullptr;
    std::optional<std::string> text =
        ReadClassesDefault("CLSID\\" + GuidToAnsi(clsid) + "\\ProgID");
    if (!text || text->empty())
        return REGDB_E_CLASSNOTREG;
    const std::u16string wide = Utf8ToUtf16(*text);
    *progId = CoTaskMemNew<OLECHAR>(wide.size() + 1);
    if (!*progId)
        return E_OUTOFMEMORY;
    std::copy(wide.begin(), wide.end(), *progId);
    (*progId)[wide.size()] = u'\0';
    return S_OK;
}

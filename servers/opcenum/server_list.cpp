#include "servers/opcenum/detail/server_list.h"

#include "platform/com/enum_guid.h"
#include "platform/text/text.h"
#include "servers/opcenum/detail/class_registry.h"

namespace opcenum {
namespace {

constexpr ULONG kAnyCount = static_cast<ULONG>(-1);

LPOLESTR TaskText(const std::string& utf8) {
    std::u16string text = Utf8ToUtf16(utf8);
    auto* out = CoTaskMemNew<char16_t>(text.size() + 1);
    if (!out)
        return nullptr;
    std::copy(text.begin(), text.end(), out);
    out[text.size()] = u'\0';
    return out;
}

// The categories of one argument pair; false when the pointer is missing for a real count.
bool Categories(ULONG count, const CATID* ids, std::vector<CATID>* out) {
    if (count == kAnyCount || count == 0)
        return true;
    if (!ids)
        return false;
    out->assign(ids, ids + count);
    return true;
}

}  // namespace

HRESULT ServerList::EnumClassesOfCategories(ULONG implementedCount, CATID* implemented,
                                            ULONG requiredCount, CATID* required,
                                            IEnumGUID** classes) {
    if (!classes)
        return E_INVALIDARG;
    *classes = nullptr;
    std::vector<CATID> anyOf, allOf;
    if (!Categories(implementedCount, implemented, &anyOf) ||
        !Categories(requiredCount, required, &allOf))
        return E_INVALIDARG;
    ComPtr<IEnumGUID> found = MakeEnumGuid(ClassesOfCategories(anyOf, allOf));
    if (!found)
        return E_OUTOFMEMORY;
    *classes = found.Detach();
    return S_OK;
}

HRESULT ServerList::GetClassDetails(REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType) {
    return GetClassDetails(clsid, progId, userType, nullptr);
}

// Also serves the older interface's call, which asks for no version-independent ProgID.
HRESULT ServerList::GetClassDetails(REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType,
                                    LPOLESTR* versionIndependentProgId) {
    if (progId)
        *progId = nullptr;
    if (userType)
        *userType = nullptr;
    if (versionIndependentProgId)
        *versionIndependentProgId = nullptr;
    if (!progId || !userType)
        return E_INVALIDARG;

    ClassDetails details;
    switch (ReadClassDetails(clsid, &details)) {
        case DetailsError::None:
            break;
        case DetailsError::NotRegistered:
            return REGDB_E_CLASSNOTREG;
        case DetailsError::NoProgId:
            return REGDB_E_READREGDB;
    }
    LPOLESTR texts[3] = {
        TaskText(details.progId), TaskText(details.userType),
        versionIndependentProgId ? TaskText(details.versionIndependentProgId) : nullptr};
    if (!texts[0] || !texts[1] || (versionIndependentProgId && !texts[2])) {
        for (LPOLESTR text : texts)
            CoTaskMemFree(text);
        return E_OUTOFMEMORY;
    }
    *progId = texts[0];
    *userType = texts[1];
    if (versionIndependentProgId)
        *versionIndependentProgId = texts[2];
    return S_OK;
}

HRESULT ServerList::CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
    if (!progId || !clsid)
        return E_INVALIDARG;
    return ::CLSIDFromProgID(progId, clsid);
}

}  // namespace opcenum

#include <algorithm>

#include "platform/com/detail/vector_enum.h"
#include "platform/com/enum_guid.h"
#include "platform/com/enum_string.h"
#include "platform/com/runtime.h"

namespace {

struct TextTraits {
    static bool Copy(const std::u16string& text, LPOLESTR* out) {
        *out = CoTaskMemNew<OLECHAR>(text.size() + 1);
        if (!*out)
            return false;
        std::copy(text.begin(), text.end(), *out);
        (*out)[text.size()] = u'\0';
        return true;
    }
    static void Free(LPOLESTR text) { CoTaskMemFree(text); }
};

struct GuidTraits {
    static bool Copy(const GUID& guid, GUID* out) {
        *out = guid;
        return true;
    }
    static void Free(const GUID&) {}
};

using EnumString =
    korva::com::detail::VectorEnum<IEnumString, std::u16string, LPOLESTR, TextTraits>;
using EnumGuid = korva::com::detail::VectorEnum<IEnumGUID, GUID, GUID, GuidTraits>;

}  // namespace

ComPtr<IEnumString> MakeEnumString(std::vector<std::u16string> texts) {
    auto items = std::make_shared<const std::vector<std::u16string>>(std::move(texts));
    ComPtr<EnumString> e = MakeComObject<EnumString>(std::move(items), 0);
    return ComPtr<IEnumString>(e.Get());
}

ComPtr<IEnumGUID> MakeEnumGuid(std::vector<GUID> guids) {
    auto items = std::make_shared<const std::vector<GUID>>(std::move(guids));
    ComPtr<EnumGuid> e = MakeComObject<EnumGuid>(std::move(items), 0);
    return ComPtr<IEnumGUID>(e.Get());
}

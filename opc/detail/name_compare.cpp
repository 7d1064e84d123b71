#include "opc/detail/name_compare.h"

#include <cwchar>
#include <cwctype>

namespace opc::detail {

namespace {

// UTF-16 to the C library's wide characters (UTF-32 on Linux); a lone surrogate stays as it is.
std::wstring ToWide(std::u16string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        wide.push_back(static_cast<wchar_t>(c));
    }
    return wide;
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(c));
    }
}

}  // namespace

std::u16string FoldCase(std::u16string_view text) {
    std::u16string folded;
    folded.reserve(text.size());
    for (wchar_t c : ToWide(text)) {
        // ASCII needs no locale; the rest follows the locale's case mapping.
        if (c < 0x80)
            AppendUtf16(folded, static_cast<char32_t>(c >= L'A' && c <= L'Z' ? c + 32 : c));
        else
            AppendUtf16(folded, static_cast<char32_t>(std::towlower(static_cast<wint_t>(c))));
    }
    return folded;
}

bool EqualNamesIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return FoldCase(a) == FoldCase(b);
}

int CompareNamesIgnoringCase(std::u16string_view a, std::u16string_view b) {
    const std::u16string foldedA = FoldCase(a);
    const std::u16string foldedB = FoldCase(b);
    if (foldedA == foldedB)
        return 0;
    const int collated = std::wcscoll(ToWide(foldedA).c_str(), ToWide(foldedB).c_str());
    if (collated != 0)
        return collated;
    return foldedA < foldedB ? -1 : 1;
}

}  // namespace opc::detail

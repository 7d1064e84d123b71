// GUIDs and their registry text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/hresult.h"

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    friend constexpr bool operator==(const GUID&, const GUID&) = default;
    friend constexpr auto operator<=>(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;
using CATID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr GUID GUID_NULL{};

namespace detail {
constexpr uint32_t HexDigit(char c) {
    return c >= '0' && c <= '9'   ? uint32_t(c - '0')
           : c >= 'a' && c <= 'f' ? uint32_t(c - 'a' + 10)
           : c >= 'A' && c <= 'F' ? uint32_t(c - 'A' + 10)
                                  : throw "not a hexadecimal digit";
}
constexpr uint32_t HexField(const char* s, int digits) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i)
        v = v * 16 + HexDigit(s[i]);
    return v;
}
}  // namespace detail

// Compile-time GUID from "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (no braces), for the
// identifiers the system declares.
consteval GUID MakeGuid(const char (&s)[37]) {
    GUID g{};
    g.Data1 = detail::HexField(s, 8);
    g.Data2 = static_cast<uint16_t>(detail::HexField(s + 9, 4));
    g.Data3 = static_cast<uint16_t>(detail::HexField(s + 14, 4));
    g.Data4[0] = static_cast<uint8_t>(detail::HexField(s + 19, 2));
    g.Data4[1] = static_cast<uint8_t>(detail::HexField(s + 21, 2));
    for (int i = 0; i < 6; ++i)
        g.Data4[2 + i] = static_cast<uint8_t>(detail::HexField(s + 24 + 2 * i, 2));
    return g;
}

// Registry text form with braces and upper-case digits.
std::u16string GuidToString(REFGUID guid);
std::string GuidToAnsi(REFGUID guid);
// Parses the registry text form; braces required, either letter case accepted. Anything else
// (missing braces, wrong length, stray characters) gives nothing.
std::optional<GUID> GuidFromString(std::u16string_view text);
std::optional<GUID> GuidFromAnsi(std::string_view text);

using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using LPWSTR = char16_t*;
using LPCWSTR = const char16_t*;

// As the platform calls: the text is task memory the caller frees with CoTaskMemFree.
HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text);
// CO_E_CLASSSTRING for a malformed text, E_INVALIDARG for null pointers.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);

#include "platform/com/guid.h"

#include <cstring>

#include "platform/com/runtime.h"

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" as bytes, NUL-terminated.
void Format(REFGUID g, char (&out)[39]) {
    char* p = out;
    auto put = [&p](uint64_t value, int digits) {
        for (int i = digits - 1; i >= 0; --i)
            *p++ = kHex[(value >> (4 * i)) & 0xF];
    };
    *p++ = '{';
    put(g.Data1, 8);
    *p++ = '-';
    put(g.Data2, 4);
    *p++ = '-';
    put(g.Data3, 4);
    *p++ = '-';
    put(g.Data4[0], 2);
    put(g.Data4[1], 2);
    *p++ = '-';
    for (int i = 2; i < 8; ++i)
        put(g.Data4[i], 2);
    *p++ = '}';
    *p = '\0';
}

int HexValue(char32_t c) {
    if (c >= '0' && c <= '9')
        return int(c - '0');
    if (c >= 'a' && c <= 'f')
        return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return int(c - 'A' + 10);
    return -1;
}

// Works on any character type so that the UTF-16 and the 8-bit forms share one parser; a
// character outside ASCII never matches a digit or a separator.
template <class Char>
std::optional<GUID> Parse(std::basic_string_view<Char> text) {
    constexpr size_t kLength = 38;
    if (text.size() != kLength || text.front() != Char('{') || text.back() != Char('}'))
        return std::nullopt;
    uint8_t bytes[16];
    size_t byte = 0;
    for (size_t i = 1; i < kLength - 1;) {
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (text[i] != Char('-'))
                return std::nullopt;
            ++i;
            continue;
        }
        const int high = HexValue(static_cast<char32_t>(text[i]));
        const int low = HexValue(static_cast<char32_t>(text[i + 1]));
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[byte++] = static_cast<uint8_t>(high * 16 + low);
        i += 2;
    }
    GUID g{};
    g.Data1 =
        uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
    g.Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
    g.Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
    std::memcpy(g.Data4, bytes + 8, 8);
    return g;
}

}  // namespace

std::u16string GuidToString(REFGUID guid) {
    char text[39];
    Format(guid, text);
    return std::u16string(text, text + 38);
}

std::string GuidToAnsi(REFGUID guid) {
    char text[39];
    Format(guid, text);
    return std::string(text, 38);
}

std::optional<GUID> GuidFromString(std::u16string_view text) {
    return Parse(text);
}

std::optional<GUID> GuidFromAnsi(std::string_view text) {
    return Parse(text);
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) {
    if (!text)
        return E_INVALIDARG;
    char ansi[39];
    Format(clsid, ansi);
    *text = CoTaskMemNew<OLECHAR>(39);
    if (!*text)
        return E_OUTOFMEMORY;
    for (int i = 0; i < 39; ++i)
        (*text)[i] = static_cast<OLECHAR>(ansi[i]);
    return S_OK;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
    if (!text || !clsid)
        return E_INVALIDARG;
    std::optional<GUID> parsed = GuidFromString(std::u16string_view(text));
    *clsid = parsed.value_or(GUID_NULL);
    return parsed ? S_OK : CO_E_CLASSSTRING;
}

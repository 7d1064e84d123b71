#include "platform/registry/detail/key_name.h"

#include <cstdint>

namespace korva::registry {
namespace {

// One code point decoded from UTF-8; `length` 0 means the byte at the start is not the start
// of a valid sequence.
struct Decoded {
    char32_t code = 0;
    size_t length = 0;
};

Decoded DecodeUtf8(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    size_t length = 0;
    char32_t code = 0;
    if (lead < 0x80)
        return {lead, 1};
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
    } else {
        return {};
    }
    if (at + length > text.size())
        return {};
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return {};
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms and surrogates are not valid UTF-8; keep their bytes as they are.
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {};
    return {code, length};
}

void EncodeUtf8(char32_t code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

constexpr bool Even(char32_t c) {
    return (c & 1) == 0;
}

char32_t FoldCodePoint(char32_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 32;
    if (c == 0x178)
        return 0xFF;
    // Latin Extended-A pairs capital/small at even/odd, except 0x139-0x148 and 0x179-0x17E.
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return Even(c) ? c + 1 : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return Even(c) ? c : c + 1;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2)
        return c + 32;
    if (c == 0x386)
        return 0x3AC;
    if (c >= 0x388 && c <= 0x38A)
        return c + 37;
    if (c == 0x38C)
        return 0x3CC;
    if (c == 0x38E || c == 0x38F)
        return c + 63;
    if (c == 0x3C2)
        return 0x3C3;
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF))
        return Even(c) ? c + 1 : c;
    if (c >= 0x531 && c <= 0x556)
        return c + 48;
    if ((c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF))
        return Even(c) ? c + 1 : c;
    if (c >= 0xFF21 && c <= 0xFF3A)
        return c + 32;
    return c;
}

}  // namespace

std::string FoldName(std::string_view name) {
    std::string folded;
    folded.reserve(name.size());
    for (size_t at = 0; at < name.size();) {
        const unsigned char lead = static_cast<unsigned char>(name[at]);
        if (lead < 0x80) {
            folded += static_cast<char>((lead >= 'A' && lead <= 'Z') ? lead + 32 : lead);
            ++at;
            continue;
        }
        const Decoded decoded = DecodeUtf8(name, at);
        if (decoded.length == 0) {
            folded += name[at++];
            continue;
        }
        EncodeUtf8(FoldCodePoint(decoded.code), folded);
        at += decoded.length;
    }
    return folded;
}

bool SplitKeyPath(std::string_view path, std::vector<std::string_view>& names) {
    names.clear();
    if (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    if (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    if (path.empty())
        return true;
    while (true) {
        const size_t end = path.find('\\');
        const std::string_view name = path.substr(0, end);
        if (name.empty() || name.find('\0') != std::string_view::npos)
            return false;
        size_t characters = 0;
        for (const char byte : name)
            if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80)
                ++characters;
        if (characters > kMaxKeyNameLength)
            return false;
        names.push_back(name);
        if (end == std::string_view::npos)
            return true;
        path.remove_prefix(end + 1);
    }
}

}  // namespace korva::registry

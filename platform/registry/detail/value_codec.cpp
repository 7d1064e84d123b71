#include "platform/registry/detail/value_codec.h"

namespace korva::registry {
namespace {

void AppendLittleEndian(std::vector<uint8_t>& out, uint64_t number, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(number >> (8 * i)));
}

uint64_t ReadLittleEndian(const std::vector<uint8_t>& data, size_t bytes) {
    uint64_t number = 0;
    for (size_t i = 0; i < bytes && i < data.size(); ++i)
        number |= static_cast<uint64_t>(data[i]) << (8 * i);
    return number;
}

void AppendUtf8(char32_t code, std::string& out) {
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

void AppendUtf16Le(char32_t code, std::vector<uint8_t>& out) {
    const auto unit = [&](uint32_t value) {
        out.push_back(static_cast<uint8_t>(value & 0xFF));
        out.push_back(static_cast<uint8_t>(value >> 8));
    };
    if (code < 0x10000) {
        unit(code);
    } else {
        code -= 0x10000;
        unit(0xD800 | (code >> 10));
        unit(0xDC00 | (code & 0x3FF));
    }
}

}  // namespace

std::optional<std::vector<uint8_t>> EncodeValue(const RegValue& value) {
    std::vector<uint8_t> bytes;
    switch (value.type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            bytes.assign(value.text.begin(), value.text.end());
            break;
        case REG_DWORD:
            if (value.number > 0xFFFFFFFFu)
                return std::nullopt;
            AppendLittleEndian(bytes, value.number, 4);
            break;
        case REG_QWORD:
            AppendLittleEndian(bytes, value.number, 8);
            break;
        default:
            bytes = value.data;
            break;
    }
    return bytes;
}

RegValue DecodeValue(DWORD type, const std::vector<uint8_t>& data) {
    RegValue value;
    value.type = static_cast<RegType>(type);
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            value.text.assign(data.begin(), data.end());
            break;
        case REG_DWORD:
            value.number = ReadLittleEndian(data, 4);
            break;
        case REG_QWORD:
            value.number = ReadLittleEndian(data, 8);
            break;
        default:
            value.data = data;
            break;
    }
    return value;
}

bool Utf16LeToUtf8(const uint8_t* data, size_t size, std::string& out) {
    if (size % 2 != 0)
        return false;
    out.clear();
    for (size_t at = 0; at < size; at += 2) {
        char32_t unit = static_cast<char32_t>(data[at] | (data[at + 1] << 8));
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            return false;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (at + 3 >= size)
                return false;
            const char32_t low = static_cast<char32_t>(data[at + 2] | (data[at + 3] << 8));
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            at += 2;
        }
        AppendUtf8(unit, out);
    }
    return true;
}

std::vector<uint8_t> Utf8ToUtf16Le(std::string_view text) {
    std::vector<uint8_t> out;
    out.reserve(text.size() * 2);
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    for (size_t at = 0; at < text.size();) {
        const uint8_t lead = byte(at);
        size_t length = lead < 0x80             ? 1
                        : (lead & 0xE0) == 0xC0 ? 2
                        : (lead & 0xF0) == 0xE0 ? 3
                        : (lead & 0xF8) == 0xF0 ? 4
                                                : 0;
        char32_t code = length == 1   ? lead
                        : length == 2 ? lead & 0x1F
                        : length == 3 ? lead & 0x0F
                                      : lead & 0x07;
        bool valid = length != 0 && at + length <= text.size();
        for (size_t i = 1; valid && i < length; ++i) {
            valid = (byte(at + i) & 0xC0) == 0x80;
            code = (code << 6) | (byte(at + i) & 0x3F);
        }
        static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (valid &&
            (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
            valid = false;
        if (!valid) {
            AppendUtf16Le(0xFFFD, out);
            ++at;
            continue;
        }
        AppendUtf16Le(code, out);
        at += length;
    }
    return out;
}

}  // namespace korva::registry

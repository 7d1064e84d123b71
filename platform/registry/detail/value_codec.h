// Stored form of typed values, and UTF-16 little-endian text as .reg files and the platform's
// own value data carry it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

namespace korva::registry {

// The bytes stored for `value`: UTF-8 text for REG_SZ/REG_EXPAND_SZ, 4 or 8 little-endian bytes
// for REG_DWORD/REG_QWORD, `data` for every other type. Nothing when a REG_DWORD number does
// not fit in 32 bits.
std::optional<std::vector<uint8_t>> EncodeValue(const RegValue& value);
// The value of stored bytes; numbers shorter than their type are padded with zero bytes.
RegValue DecodeValue(DWORD type, const std::vector<uint8_t>& data);

// UTF-16LE bytes to UTF-8; fails on an odd number of bytes or an unpaired surrogate.
bool Utf16LeToUtf8(const uint8_t* data, size_t size, std::string& out);
// UTF-8 to UTF-16LE bytes; invalid UTF-8 bytes become U+FFFD.
std::vector<uint8_t> Utf8ToUtf16Le(std::string_view text);

}  // namespace korva::registry

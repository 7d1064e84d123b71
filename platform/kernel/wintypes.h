// The platform's scalar types, as its interfaces spell them.
#pragma once

#include <cstdint>

using ULONG = uint32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using BYTE = uint8_t;
using LONG = int32_t;
using BOOL = int32_t;
using LCID = uint32_t;
using FLOAT = float;
using UINT = uint32_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// 100-nanosecond intervals since 1 January 1601 (UTC).
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

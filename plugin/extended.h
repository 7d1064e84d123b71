// 80-bit extended-precision values as the host exchanges them: 10 bytes in the x87 layout
// (64-bit significand with explicit integer bit, then 16 bits of sign and biased exponent).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>

#include "host/block_abi.h"

namespace virelon {

// On x86-64 `long double` is the x87 type itself; its first 10 bytes are the value.
static_assert(std::numeric_limits<long double>::digits == 64 &&
                  std::numeric_limits<long double>::max_exponent == 16384,
              "the block library needs the x87 80-bit long double");

using Extended80 = std::array<uint8_t, korva::abi::kOutputSlotSize>;

inline Extended80 ToExtended80(long double value) {
    Extended80 bytes;
    std::memcpy(bytes.data(), &value, bytes.size());
    return bytes;
}

inline long double FromExtended80(const uint8_t* bytes) {
    long double value = 0.0L;  // the 6 padding bytes stay zero
    std::memcpy(&value, bytes, korva::abi::kOutputSlotSize);
    return value;
}
inline long double FromExtended80(const Extended80& bytes) {
    return FromExtended80(bytes.data());
}

// The fixed values of the value table.
constexpr long double ReadFailedValue = -99999.0L;
constexpr long double ConversionFailedValue = -77777.0L;
constexpr long double BoolTrueValue = 5.0L;

}  // namespace virelon

// The block library's own number format: the full stop as decimal separator for every number it
// parses or writes, whatever the user's locale. It is the library's alone: the host process's
// locale is neither read nor changed (parsing goes through a private "C" locale object).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace virelon {

// Sets up the library's number format; called when the library is loaded (and again harmlessly).
void StartNumberFormat();

// Strict decimal syntax: optional spaces, optional sign, digits with at most one full stop (at
// least one digit), optional exponent "E" or "e" with optional sign and at least one digit,
// optional spaces. No thousands separators, no hexadecimal, no words such as INF or NAN. A number
// too large for the 80-bit type is refused too. The value is rounded to extended precision.
bool ParseDecimal(std::string_view text, long double& value);

// Decimal integer lines of the parameter record: optional leading spaces, optional sign, digits;
// nothing after them. False when the text is not such a number or does not fit 32 bits.
bool ParseInteger(std::string_view text, int32_t& value);

std::string FormatInteger(int64_t value);

}  // namespace virelon

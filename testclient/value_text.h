// The texts of item values in the test client's list: the number a read text stands for, and
// the text a value is shown with. Both use the full stop whatever the user's locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The value a failed read, or a text that is no number, is shown as.
inline constexpr double kNoValue = -99999.0;

// The number of an item's value text as the server's variant-to-text conversion wrote it: the
// first comma (the decimal separator of a comma locale) is taken for a full stop, then the text
// must be a decimal number with the full stop. Nothing for any other text (empty text, words,
// "1,234.5" with a thousands separator) and for a number beyond the range of a double.
std::optional<double> ReadItemNumber(std::string_view text);

// A value in general format with at most 15 significant digits: trailing zeros and a bare
// decimal point removed, the full stop as separator, exponent notation only for very large or
// very small magnitudes ("3.5", "0", "-99999", "1e+20").
std::string ItemValueText(double value);

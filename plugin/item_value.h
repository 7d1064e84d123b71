// How the acquisition thread turns an item's value text into a block value.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/variant.h"

namespace virelon {

// The first comma (only that one) becomes a full stop, for servers whose texts follow a locale
// with the decimal comma: "3,14" -> "3.14", "1,234,5" -> "1.234,5".
std::u16string ApplyCommaRule(std::u16string text);

// Converts a text (after the comma rule) of an item of canonical type `type`. A boolean item
// (VT_BOOL) gives BoolTrueValue for "TRUE" and 0.0 for "FALSE" in any case; any other item is
// parsed as a strict decimal number (ParseDecimal). False on a conversion failure, with `value`
// untouched.
bool ConvertItemText(std::u16string_view text, VARTYPE type, long double& value);

}  // namespace virelon

// Values and times as `opc` shows them, and values as it reads them from the command line.
// Numbers always use the full stop, whatever the user's locale, so scripts can parse them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/com/variant.h"
#include "platform/kernel/wintypes.h"

namespace opctool {

// The value as text (UTF-8): numbers in decimal with a full stop and as few digits as give the
// value back, booleans "true"/"false", dates "YYYY-MM-DDTHH:MM:SS", empty and null "".
std::string ValueText(const VARIANT& value);
// The value as a JSON value: numbers and booleans bare, null for empty and null (and for numbers
// JSON cannot hold), everything else a JSON string.
std::string ValueJson(const VARIANT& value);

// "VT_R8", "r8", "BSTR", ... (the VT_ prefix optional, any letter case) or the type's number.
std::optional<VARTYPE> ParseVarType(std::string_view text);
// "VT_R8" for VT_R8; the number for a type without a name.
std::string VarTypeName(VARTYPE type);

// Turns `text` into a value of `type` into `value`. False with `error` saying why when the text
// is no such value (or out of its range).
bool ParseValue(std::string_view text, VARTYPE type, Variant& value, std::string& error);

// A FILETIME as local time "YYYY-MM-DD HH:MM:SS.mmm", or as UTC "YYYY-MM-DDTHH:MM:SS.mmmZ";
// "" for the zero time.
std::string LocalTimeText(const FILETIME& time);
std::string UtcTimeText(const FILETIME& time);

}  // namespace opctool

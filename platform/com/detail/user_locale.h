// The user's locale as the variant-to-text conversion follows it, read from the environment
// (LC_ALL, then LC_NUMERIC or LC_TIME, then LANG) through newlocale, never through setlocale:
// the process's own formatting keeps the full stop whatever the user's locale says.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace korva::com::detail {

// The decimal separator of the user's LC_NUMERIC ("." when the locale is unknown or not
// installed). Re-read when the environment changes; cheap otherwise.
const std::u16string& UserDecimalSeparator();

// The user's LC_TIME short date (D_FMT), long time (T_FMT) or both separated by a blank, of a
// broken-down time (UTF-16).
enum class DateParts { Date, Time, DateAndTime };
std::u16string FormatUserDateTime(const std::tm& when, DateParts parts);

// Reads a date and/or time written in the user's LC_TIME formats (the forms FormatUserDateTime
// writes) or as ISO "YYYY-MM-DD[ HH:MM[:SS]]"; the whole text must match. A time alone gives
// day 30 December 1899 (`*parts` tells which parts were present).
std::optional<std::tm> ParseUserDateTime(std::string_view text, DateParts* parts);

}  // namespace korva::com::detail

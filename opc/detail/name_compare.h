// Comparing names the way the platform compares them for people: without regard to letter case,
// in the order of the user's locale.
#pragma once

#include <string>
#include <string_view>

namespace opc::detail {

// `text` with every letter in lower case (the C library's case mapping of the current locale).
std::u16string FoldCase(std::u16string_view text);

// True when the two names differ at most in letter case.
bool EqualNamesIgnoringCase(std::u16string_view a, std::u16string_view b);

// Negative, 0 or positive as `a` sorts before, with or after `b`: the locale's collation of the
// case-folded names; names that collate alike but are not equal ignoring case are ordered by
// their code units, so 0 means EqualNamesIgnoringCase.
int CompareNamesIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace opc::detail

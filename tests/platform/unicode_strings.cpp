// A string-resource library for the platform tests: texts beyond ASCII and beyond the default
// code page, and a character that takes two UTF-16 units.
#include "platform/kernel/string_table.h"

// clang-format off
KORVA_STRING_TABLE(
    {1, u"Grüße"},
    {2, u"5 €"},
    {3, u"Ωmega"},
    {4, u"ab😀cd"},
    {65535, u"last"},
)
// clang-format on

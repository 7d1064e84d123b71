// Defining a string-resource library. The library's one source file lists its strings:
//
//     #include "platform/kernel/string_table.h"
//
//     // clang-format off          (keeps one string a line)
//     KORVA_STRING_TABLE(
//         {1002, u"Error"},
//         {1553, u"Wrong number format"},
//     )
//     // clang-format on
//
// and is built with korva_add_string_library (cmake/korva.cmake). The macro defines the export
// that LoadStringW and LoadStringA look up, KorvaResourceString, answering the text of a number
// or null for a number the table lacks. A number listed twice fails to compile.
#pragma once

#include <cstddef>

struct KorvaStringEntry {
    unsigned id;
    const char16_t* text;  // NUL-terminated, never null
};

namespace korva::string_table {

template <std::size_t N>
consteval bool WellFormed(const KorvaStringEntry (&table)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        if (!table[i].text)
            return false;
        for (std::size_t k = i + 1; k < N; ++k)
            if (table[i].id == table[k].id)
                return false;
    }
    return true;
}

template <std::size_t N>
constexpr const char16_t* Find(const KorvaStringEntry (&table)[N], unsigned id) {
    for (const KorvaStringEntry& entry : table)
        if (entry.id == id)
            return entry.text;
    return nullptr;
}

}  // namespace korva::string_table

#define KORVA_STRING_TABLE(...)                                                            \
    namespace {                                                                            \
    constexpr KorvaStringEntry korvaStringTable[] = {__VA_ARGS__};                         \
    }                                                                                      \
    static_assert(korva::string_table::WellFormed(korvaStringTable),                       \
                  "each string number appears once and has a text");                       \
    extern "C" __attribute__((visibility("default"))) const char16_t* KorvaResourceString( \
        unsigned id) {                                                                     \
        return korva::string_table::Find(korvaStringTable, id);                            \
    }

// GUID text parsing on arbitrary bytes, read both as 8-bit text and as UTF-16: it must never
// crash, both forms must agree, and whatever it accepts must be the registry form of what it
// parsed, up to letter case.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/com/com.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view ansi(reinterpret_cast<const char*>(data), size);
    const std::optional<GUID> parsed = GuidFromAnsi(ansi);

    // The same bytes widened unit by unit must give the same answer.
    std::u16string widened;
    for (unsigned char c : ansi) widened += char16_t(c);
    if (GuidFromString(widened) != parsed)
        std::abort();

    if (parsed) {
        std::string upper(ansi);
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (GuidToAnsi(*parsed) != upper || GuidFromAnsi(GuidToAnsi(*parsed)) != parsed)
            std::abort();
    }

    // The bytes as UTF-16 units: never accepted unless every unit is ASCII.
    std::u16string units(size / 2, u'\0');
    if (!units.empty())
        std::memcpy(units.data(), data, units.size() * 2);
    if (const std::optional<GUID> wide = GuidFromString(units)) {
        for (char16_t u : units)
            if (u > 0x7F)
                std::abort();
        if (GuidToString(*wide).size() != units.size())
            std::abort();
    }
    return 0;
}

#include "testclient/value_text.h"

#include <charconv>
#include <cmath>

#include "components/numeric_text.h"

std::optional<double> ReadItemNumber(std::string_view text) {
    std::string number(text);
    if (const size_t comma = number.find(','); comma != std::string::npos)
        number[comma] = '.';
    const std::optional<long double> read = ReadDecimalNumber(number);
    if (!read)
        return std::nullopt;
    const double value = static_cast<double>(*read);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string ItemValueText(double value) {
    // Negative zero is shown as 0, as the platform's general format does.
    if (value == 0)
        value = 0;
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    if (error != std::errc())
        return {};
    return std::string(buffer, end);
}

#include "plugin/number_format.h"

#include <locale.h>
#include <stdlib.h>

#include <cerrno>
#include <charconv>
#include <cmath>

namespace virelon {
namespace {

locale_t NumberLocale() {
    // Created once and never freed: conversions may run on the acquisition thread until the
    // library is unloaded.
    static locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

void StartNumberFormat() {
    (void)NumberLocale();
}

bool ParseDecimal(std::string_view text, long double& value) {
    size_t begin = 0, end = text.size();
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    const std::string_view number = text.substr(begin, end - begin);

    size_t i = 0;
    if (i < number.size() && (number[i] == '+' || number[i] == '-'))
        ++i;
    size_t digits = 0, stops = 0;
    for (; i < number.size(); ++i) {
        if (IsDigit(number[i])) {
            ++digits;
        } else if (number[i] == '.' && stops == 0) {
            ++stops;
        } else {
            break;
        }
    }
    if (digits == 0)
        return false;
    if (i < number.size() && (number[i] == 'E' || number[i] == 'e')) {
        ++i;
        if (i < number.size() && (number[i] == '+' || number[i] == '-'))
            ++i;
        size_t exponentDigits = 0;
        while (i < number.size() && IsDigit(number[i]))
            ++i, ++exponentDigits;
        if (exponentDigits == 0)
            return false;
    }
    if (i != number.size())
        return false;

    const locale_t locale = NumberLocale();
    if (locale == static_cast<locale_t>(nullptr))
        return false;
    const std::string copy(number);  // strtold needs a terminated text
    char* stop = nullptr;
    errno = 0;
    const long double parsed = strtold_l(copy.c_str(), &stop, locale);
    if (stop != copy.c_str() + copy.size())
        return false;
    if (std::isinf(parsed))
        return false;  // overflow
    value = parsed;
    return true;
}

bool ParseInteger(std::string_view text, int32_t& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return false;
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i]))
            return false;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > int64_t{1} << 31)
            return false;
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT32_MAX || signedValue < INT32_MIN)
        return false;
    value = static_cast<int32_t>(signedValue);
    return true;
}

std::string FormatInteger(int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}  // namespace virelon

#include "tools/opc/value_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <string>

#include "platform/text/text.h"
#include "tools/opc/output.h"

namespace opctool {

namespace {

struct TypeName {
    VARTYPE type;
    const char* name;  // without "VT_"
};

constexpr TypeName kTypeNames[] = {
    {VT_EMPTY, "EMPTY"}, {VT_NULL, "NULL"},   {VT_I2, "I2"},     {VT_I4, "I4"},
    {VT_R4, "R4"},       {VT_R8, "R8"},       {VT_CY, "CY"},     {VT_DATE, "DATE"},
    {VT_BSTR, "BSTR"},   {VT_ERROR, "ERROR"}, {VT_BOOL, "BOOL"}, {VT_I1, "I1"},
    {VT_UI1, "UI1"},     {VT_UI2, "UI2"},     {VT_UI4, "UI4"},   {VT_I8, "I8"},
    {VT_UI8, "UI8"},     {VT_INT, "INT"},     {VT_UINT, "UINT"},
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

template <class T>
std::string Number(T value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string FloatingText(double value) {
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    return Number(value);
}

std::string CurrencyText(int64_t scaled) {
    // Currency is a whole number of ten-thousandths: print it exactly.
    const bool negative = scaled < 0;
    const uint64_t magnitude =
        negative ? uint64_t(0) - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    std::string text = (negative ? "-" : "") + Number(magnitude / 10000);
    uint64_t fraction = magnitude % 10000;
    if (fraction != 0) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04u", static_cast<unsigned>(fraction));
        std::string tail(digits);
        while (tail.back() == '0')
            tail.pop_back();
        text += "." + tail;
    }
    return text;
}

// Days since 30 December 1899 to a civil date and time (the proleptic Gregorian calendar).
std::string DateText(DATE date) {
    if (!std::isfinite(date) || std::fabs(date) > 3.0e6)
        return FloatingText(date);
    // The whole part counts days; the fraction is the time of that day, also for negative days.
    double day = std::floor(date);
    double fraction = std::fabs(date - std::trunc(date));
    if (date < 0)
        day = std::trunc(date);
    long long seconds = std::llround(fraction * 86400.0);
    if (seconds >= 86400) {  // rounded up to midnight: the next day
        seconds -= 86400;
        day += 1;
    }
    // Days from 1970-01-01 (25569 days after the epoch of DATE), then the civil calendar.
    long long z = static_cast<long long>(day) - 25569 + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long year = yoe + era * 400;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2)
        ++year;
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02d-%02dT%02d:%02d:%02d", year, int(m), int(d),
                  int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60));
    return buffer;
}

// Parses a whole text as a number of type T (the full stop as decimal separator).
template <class T>
bool ParseNumber(std::string_view text, T& value) {
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

template <class T>
bool ParseInteger(std::string_view text, Variant& value, VARTYPE type, T VARIANT::*member) {
    T number{};
    if (!ParseNumber(text, number))
        return false;
    VariantClear(value.ptr());
    value.get().vt = type;
    value.get().*member = number;
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool ParseDate(std::string_view text, DATE& date) {
    if (ParseNumber(text, date))
        return std::isfinite(date);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char separator = 0;
    int used = 0;
    const std::string copy(text);
    const int fields = std::sscanf(copy.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &year, &month, &day,
                                   &separator, &hour, &minute, &second, &used);
    if (fields == 3) {
        used = 0;
        std::sscanf(copy.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used);
    } else if (fields != 7 || (separator != 'T' && separator != ' ')) {
        return false;
    }
    if (used != static_cast<int>(copy.size()) || month < 1 || month > 12 || day < 1 || day > 31 ||
        hour > 23 || minute > 59 || second > 59 || hour < 0 || minute < 0 || second < 0)
        return false;
    // Days from the civil date (the inverse of DateText's calendar).
    const long long y = month <= 2 ? year - 1 : year;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long daysFrom1970 = era * 146097 + doe - 719468;
    // Before the epoch the sign covers the time as well: -1.25 is 29 December 1899, 06:00.
    const double days = static_cast<double>(daysFrom1970 + 25569);
    const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
    date = days >= 0 ? days + time : days - time;
    return true;
}

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr int64_t kUnixEpochAsFileTime = 116444736000000000LL;

bool SplitFileTime(const FILETIME& time, time_t& seconds, int& milliseconds) {
    const uint64_t ticks = (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    if (ticks == 0)
        return false;
    const int64_t sinceUnix = static_cast<int64_t>(ticks) - kUnixEpochAsFileTime;
    int64_t wholeSeconds = sinceUnix / 10000000;
    int64_t rest = sinceUnix % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --wholeSeconds;
    }
    seconds = static_cast<time_t>(wholeSeconds);
    milliseconds = static_cast<int>(rest / 10000);
    return true;
}

}  // namespace

std::string ValueText(const VARIANT& value) {
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return {};
        case VT_I1:
            return Number(int(value.cVal));
        case VT_UI1:
            return Number(unsigned(value.bVal));
        case VT_I2:
            return Number(value.iVal);
        case VT_UI2:
            return Number(value.uiVal);
        case VT_I4:
            return Number(value.lVal);
        case VT_UI4:
            return Number(value.ulVal);
        case VT_INT:
            return Number(value.intVal);
        case VT_UINT:
            return Number(value.uintVal);
        case VT_I8:
            return Number(value.llVal);
        case VT_UI8:
            return Number(value.ullVal);
        case VT_R4:
            return std::isfinite(value.fltVal) ? Number(value.fltVal) : FloatingText(value.fltVal);
        case VT_R8:
            return FloatingText(value.dblVal);
        case VT_CY:
            return CurrencyText(value.cyVal);
        case VT_DATE:
            return DateText(value.date);
        case VT_BOOL:
            return value.boolVal ? "true" : "false";
        case VT_BSTR:
            return value.bstrVal ? Utf16ToUtf8(std::u16string_view(value.bstrVal,
                                                                   SysStringLen(value.bstrVal)))
                                 : std::string();
        default:
            return Utf16ToUtf8(VariantToText(value));
    }
}

std::string ValueJson(const VARIANT& value) {
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return "null";
        case VT_BOOL:
            return value.boolVal ? "true" : "false";
        case VT_R4:
            return std::isfinite(value.fltVal) ? ValueText(value) : "null";
        case VT_R8:
            return std::isfinite(value.dblVal) ? ValueText(value) : "null";
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8:
        case VT_UI8:
        case VT_CY:
            return ValueText(value);
        default:
            return JsonString(ValueText(value));
    }
}

std::optional<VARTYPE> ParseVarType(std::string_view text) {
    unsigned number = 0;
    if (ParseNumber(text, number))
        return number <= 0xFFFF ? std::optional<VARTYPE>(static_cast<VARTYPE>(number))
                                : std::nullopt;
    if (text.size() > 3 && EqualsIgnoringCase(text.substr(0, 3), "VT_"))
        text.remove_prefix(3);
    for (const TypeName& name : kTypeNames)
        if (EqualsIgnoringCase(text, name.name))
            return name.type;
    return std::nullopt;
}

std::string VarTypeName(VARTYPE type) {
    for (const TypeName& name : kTypeNames)
        if (name.type == type)
            return std::string("VT_") + name.name;
    return Number(unsigned(type));
}

bool ParseValue(std::string_view text, VARTYPE type, Variant& value, std::string& error) {
    const std::string_view trimmed = Trim(text);
    bool ok = false;
    VARIANT& v = value.get();
    switch (type) {
        case VT_BSTR: {
            VariantClear(&v);
            v.vt = VT_BSTR;
            v.bstrVal = SysAllocStringView(Utf8ToUtf16(text));
            ok = true;
            break;
        }
        case VT_BOOL: {
            bool flag = false;
            if (EqualsIgnoringCase(trimmed, "true") || trimmed == "1" || trimmed == "-1") {
                flag = true;
                ok = true;
            } else if (EqualsIgnoringCase(trimmed, "false") || trimmed == "0") {
                ok = true;
            }
            if (ok) {
                VariantClear(&v);
                v.vt = VT_BOOL;
                v.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
            }
            break;
        }
        case VT_I1:
            ok = ParseInteger(trimmed, value, VT_I1, &VARIANT::cVal);
            break;
        case VT_UI1:
            ok = ParseInteger(trimmed, value, VT_UI1, &VARIANT::bVal);
            break;
        case VT_I2:
            ok = ParseInteger(trimmed, value, VT_I2, &VARIANT::iVal);
            break;
        case VT_UI2:
            ok = ParseInteger(trimmed, value, VT_UI2, &VARIANT::uiVal);
            break;
        case VT_I4:
            ok = ParseInteger(trimmed, value, VT_I4, &VARIANT::lVal);
            break;
        case VT_UI4:
            ok = ParseInteger(trimmed, value, VT_UI4, &VARIANT::ulVal);
            break;
        case VT_INT:
            ok = ParseInteger(trimmed, value, VT_INT, &VARIANT::intVal);
            break;
        case VT_UINT:
            ok = ParseInteger(trimmed, value, VT_UINT, &VARIANT::uintVal);
            break;
        case VT_I8:
            ok = ParseInteger(trimmed, value, VT_I8, &VARIANT::llVal);
            break;
        case VT_UI8:
            ok = ParseInteger(trimmed, value, VT_UI8, &VARIANT::ullVal);
            break;
        case VT_R4: {
            float number = 0;
            ok = ParseNumber(trimmed, number);
            if (ok) {
                VariantClear(&v);
                v.vt = VT_R4;
                v.fltVal = number;
            }
            break;
        }
        case VT_R8: {
            double number = 0;
            ok = ParseNumber(trimmed, number);
            if (ok) {
                VariantClear(&v);
                v.vt = VT_R8;
                v.dblVal = number;
            }
            break;
        }
        case VT_CY: {
            double number = 0;
            // Currency holds ten-thousandths in 64 bits.
            ok =
                ParseNumber(trimmed, number) && std::isfinite(number) && std::fabs(number) < 9.2e14;
            if (ok) {
                VariantClear(&v);
                v.vt = VT_CY;
                v.cyVal = std::llround(number * 10000.0);
            }
            break;
        }
        case VT_DATE: {
            DATE date = 0;
            ok = ParseDate(trimmed, date);
            if (ok) {
                VariantClear(&v);
                v.vt = VT_DATE;
                v.date = date;
            }
            break;
        }
        default:
            error = "values of type " + VarTypeName(type) + " cannot be written";
            return false;
    }
    if (!ok)
        error = "\"" + std::string(text) + "\" is not a " + VarTypeName(type) + " value";
    return ok;
}

std::string LocalTimeText(const FILETIME& time) {
    time_t seconds = 0;
    int milliseconds = 0;
    std::tm parts{};
    if (!SplitFileTime(time, seconds, milliseconds) || !localtime_r(&seconds, &parts))
        return {};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  milliseconds);
    return buffer;
}

std::string UtcTimeText(const FILETIME& time) {
    time_t seconds = 0;
    int milliseconds = 0;
    std::tm parts{};
    if (!SplitFileTime(time, seconds, milliseconds) || !gmtime_r(&seconds, &parts))
        return {};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ",
                  parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                  parts.tm_min, parts.tm_sec, milliseconds);
    return buffer;
}

}  // namespace opctool

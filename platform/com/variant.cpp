// VARIANT handling. Conversions go through a small number model: integers (as 128-bit values, so
// that every 64-bit source fits), reals and currency; text is read into an exact decimal first so
// that "9223372036854775807" reaches VT_I8 without passing through a double.
#include "platform/com/variant.h"

#include <locale.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/com/detail/user_locale.h"
#include "platform/com/runtime.h"
#include "platform/text/text.h"

namespace {

using korva::com::detail::DateParts;
using Int = __int128;

bool IsSupported(VARTYPE vt) {
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_BOOL:
        case VT_ERROR:
            return true;
        default:
            return false;
    }
}

bool IsInteger(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

struct Range {
    Int min;
    Int max;
};

Range IntegerRange(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
            return {INT8_MIN, INT8_MAX};
        case VT_UI1:
            return {0, UINT8_MAX};
        case VT_I2:
            return {INT16_MIN, INT16_MAX};
        case VT_UI2:
            return {0, UINT16_MAX};
        case VT_I4:
        case VT_INT:
            return {INT32_MIN, INT32_MAX};
        case VT_UI4:
        case VT_UINT:
            return {0, UINT32_MAX};
        case VT_I8:
            return {INT64_MIN, INT64_MAX};
        default:
            return {0, UINT64_MAX};
    }
}

void StoreInteger(VARIANT* v, VARTYPE vt, Int value) {
    v->vt = vt;
    switch (vt) {
        case VT_I1:
            v->cVal = static_cast<int8_t>(value);
            break;
        case VT_UI1:
            v->bVal = static_cast<uint8_t>(value);
            break;
        case VT_I2:
            v->iVal = static_cast<int16_t>(value);
            break;
        case VT_UI2:
            v->uiVal = static_cast<uint16_t>(value);
            break;
        case VT_I4:
            v->lVal = static_cast<int32_t>(value);
            break;
        case VT_INT:
            v->intVal = static_cast<int32_t>(value);
            break;
        case VT_UI4:
            v->ulVal = static_cast<uint32_t>(value);
            break;
        case VT_UINT:
            v->uintVal = static_cast<uint32_t>(value);
            break;
        case VT_I8:
            v->llVal = static_cast<int64_t>(value);
            break;
        default:
            v->ullVal = static_cast<uint64_t>(value);
            break;
    }
}

Int LoadInteger(const VARIANT& v) {
    switch (v.vt) {
        case VT_I1:
            return v.cVal;
        case VT_UI1:
            return v.bVal;
        case VT_I2:
            return v.iVal;
        case VT_UI2:
            return v.uiVal;
        case VT_I4:
            return v.lVal;
        case VT_INT:
            return v.intVal;
        case VT_UI4:
            return v.ulVal;
        case VT_UINT:
            return v.uintVal;
        case VT_I8:
            return v.llVal;
        default:
            return v.ullVal;
    }
}

// Ties go to the even neighbour, as the platform rounds reals to integers.
double RoundHalfEven(double d) {
    const double low = std::floor(d);
    const double diff = d - low;
    if (diff > 0.5)
        return low + 1;
    if (diff < 0.5)
        return low;
    return std::fmod(low, 2.0) == 0 ? low : low + 1;
}

// Currency (scaled by 10,000) to a whole number, ties to even.
Int CurrencyToInteger(int64_t cy) {
    Int q = cy / 10000;
    const int64_t r = cy % 10000;
    if (r > 5000 || (r == 5000 && (q & 1)))
        ++q;
    if (r < -5000 || (r == -5000 && (q & 1)))
        --q;
    return q;
}

// A real to a whole number within `range`; nothing when it does not fit (NaN never fits).
std::optional<Int> RealToInteger(double d, Range range) {
    if (std::isnan(d))
        return std::nullopt;
    const double r = RoundHalfEven(d);
    // max + 1 is a power of two (or small) for every range, so both bounds are exact doubles.
    if (r < static_cast<double>(range.min) || r >= static_cast<double>(range.max + 1))
        return std::nullopt;
    return static_cast<Int>(r);
}

// The OLE date range: 1 January 100 to 31 December 9999.
constexpr double kMinDate = -657434.0;
constexpr double kMaxDateExclusive = 2958466.0;

bool DateInRange(double d) {
    return d >= kMinDate && d < kMaxDateExclusive;
}

// ---- Numbers --------------------------------------------------------------------------------

struct Number {
    enum Kind { Integer, Real, Currency } kind = Integer;
    Int integer = 0;
    double real = 0;
    int64_t currency = 0;
    bool fromBool = false;
};

double ToReal(const Number& n) {
    switch (n.kind) {
        case Number::Integer:
            return static_cast<double>(n.integer);
        case Number::Real:
            return n.real;
        default:
            return static_cast<double>(n.currency) / 10000.0;
    }
}

HRESULT StoreNumber(const Number& n, VARTYPE vt, VARIANT* out) {
    if (IsInteger(vt)) {
        const Range range = IntegerRange(vt);
        std::optional<Int> value;
        if (n.kind == Number::Integer)
            value = n.integer;
        else if (n.kind == Number::Currency)
            value = CurrencyToInteger(n.currency);
        else
            value = RealToInteger(n.real, range);
        // True is all bits set, which an unsigned type holds as its largest value.
        if (value && n.fromBool && *value == -1 && range.min == 0)
            value = range.max;
        if (!value || *value < range.min || *value > range.max)
            return DISP_E_OVERFLOW;
        StoreInteger(out, vt, *value);
        return S_OK;
    }
    switch (vt) {
        case VT_BOOL: {
            const bool set = n.kind == Number::Integer ? n.integer != 0
                             : n.kind == Number::Real  ? n.real != 0
                                                       : n.currency != 0;
            out->vt = VT_BOOL;
            out->boolVal = set ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        }
        case VT_R4: {
            const double d = ToReal(n);
            if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max())
                return DISP_E_OVERFLOW;
            out->vt = VT_R4;
            out->fltVal = static_cast<float>(d);
            return S_OK;
        }
        case VT_R8:
            out->vt = VT_R8;
            out->dblVal = ToReal(n);
            return S_OK;
        case VT_DATE: {
            const double d = ToReal(n);
            if (!DateInRange(d))
                return DISP_E_OVERFLOW;
            out->vt = VT_DATE;
            out->date = d;
            return S_OK;
        }
        case VT_CY: {
            std::optional<Int> scaled;
            if (n.kind == Number::Currency)
                scaled = n.currency;
            else if (n.kind == Number::Integer)
                scaled = n.integer * 10000;
            else
                scaled = RealToInteger(n.real * 10000.0, {INT64_MIN, INT64_MAX});
            if (!scaled || *scaled < INT64_MIN || *scaled > INT64_MAX)
                return DISP_E_OVERFLOW;
            out->vt = VT_CY;
            out->cyVal = static_cast<int64_t>(*scaled);
            return S_OK;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

std::optional<Number> LoadNumber(const VARIANT& v) {
    Number n;
    if (IsInteger(v.vt)) {
        n.integer = LoadInteger(v);
        return n;
    }
    switch (v.vt) {
        case VT_EMPTY:
            return n;
        case VT_BOOL:
            n.integer = v.boolVal ? -1 : 0;
            n.fromBool = true;
            return n;
        case VT_R4:
            n.kind = Number::Real;
            n.real = v.fltVal;
            return n;
        case VT_R8:
            n.kind = Number::Real;
            n.real = v.dblVal;
            return n;
        case VT_DATE:
            n.kind = Number::Real;
            n.real = v.date;
            return n;
        case VT_CY:
            n.kind = Number::Currency;
            n.currency = v.cyVal;
            return n;
        default:
            return std::nullopt;
    }
}

// ---- Text to numbers ------------------------------------------------------------------------

// value = (negative ? -1 : 1) * digits * 10^exponent; digits has no leading zeros ("" is 0).
struct Decimal {
    bool negative = false;
    std::string digits;
    long exponent = 0;
};

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

std::u16string_view Trim(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Blanks, an optional sign, digits with at most one decimal separator (the user's, or a full
// stop), at least one digit, an optional exponent. No thousands separators: in a locale whose
// decimal separator is a comma, "1.000" is one, not a thousand.
std::optional<Decimal> ParseDecimal(std::u16string_view text) {
    text = Trim(text);
    const std::u16string& separator = korva::com::detail::UserDecimalSeparator();
    Decimal d;
    size_t i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        d.negative = text[i++] == u'-';
    bool anyDigit = false;
    bool seenSeparator = false;
    long fractionDigits = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c >= u'0' && c <= u'9') {
            anyDigit = true;
            if (!(d.digits.empty() && c == u'0'))
                d.digits += static_cast<char>(c);
            if (seenSeparator)
                ++fractionDigits;
            ++i;
        } else if (!seenSeparator && c == u'.') {
            seenSeparator = true;
            ++i;
        } else if (!seenSeparator && text.substr(i).starts_with(separator)) {
            seenSeparator = true;
            i += separator.size();
        } else {
            break;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    long exponent = 0;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
            negative = text[i++] == u'-';
        bool expDigit = false;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
            // Saturates far beyond any representable value; the text length bounds the rest.
            if (exponent < 100000000)
                exponent = exponent * 10 + (text[i] - u'0');
            expDigit = true;
            ++i;
        }
        if (!expDigit)
            return std::nullopt;
        if (negative)
            exponent = -exponent;
    }
    if (i != text.size())
        return std::nullopt;
    // Leading zeros were skipped; trailing ones move into the exponent.
    d.exponent = exponent - fractionDigits;
    while (!d.digits.empty() && d.digits.back() == '0') {
        d.digits.pop_back();
        ++d.exponent;
    }
    if (d.digits.empty())
        d.exponent = 0;
    return d;
}

// The decimal times 10^scale, rounded to a whole number (ties to even); nothing when it is
// beyond any 64-bit range.
std::optional<Int> DecimalToInteger(const Decimal& d, long scale) {
    if (d.digits.empty())
        return Int(0);
    const long e = d.exponent + scale;
    const long size = static_cast<long>(d.digits.size());
    Int value = 0;
    if (e >= 0) {
        if (size + e > 30)
            return std::nullopt;
        for (char c : d.digits)
            value = value * 10 + (c - '0');
        for (long k = 0; k < e; ++k)
            value *= 10;
    } else {
        const long keep = size + e;  // digits before the decimal point
        if (keep > 30)
            return std::nullopt;
        for (long k = 0; k < keep; ++k)
            value = value * 10 + (d.digits[k] - '0');
        // The first dropped digit decides; a 5 with nothing after it is a tie.
        const int first = keep >= 0 ? d.digits[keep] - '0' : 0;
        bool rest = false;
        for (long k = std::max(keep + 1, 0L); k < size && !rest; ++k)
            rest = d.digits[k] != '0';
        if (keep < 0)
            rest = true;  // the whole number lies below 0.1: digits follow the 0
        if (first > 5 || (first == 5 && (rest || (value & 1))))
            ++value;
    }
    return d.negative ? -value : value;
}

// The decimal as the nearest double; nothing when it overflows (an underflow gives 0).
std::optional<double> DecimalToReal(const Decimal& d) {
    if (d.digits.empty())
        return d.negative ? -0.0 : 0.0;
    std::string text = (d.negative ? "-" : "") + d.digits + "e" + std::to_string(d.exponent);
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    errno = 0;
    char* end = nullptr;
    const double value = strtod_l(text.c_str(), &end, cLocale);
    if (errno == ERANGE && std::isinf(value))
        return std::nullopt;
    return value;
}

bool EqualsIgnoringCase(std::u16string_view text, std::u16string_view word) {
    if (text.size() != word.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t a = text[i];
        char16_t b = word[i];
        if (a >= u'a' && a <= u'z')
            a = char16_t(a - u'a' + u'A');
        if (b >= u'a' && b <= u'z')
            b = char16_t(b - u'a' + u'A');
        if (a != b)
            return false;
    }
    return true;
}

// ---- Dates ----------------------------------------------------------------------------------

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year_month_day;

constexpr sys_days kDateEpoch = sys_days(std::chrono::year(1899) / 12 / 30);

// A DATE's calendar day and time of day, to the second (rounded).
std::tm DateToTm(double date) {
    double whole = std::trunc(date);
    long seconds = std::lround(std::fabs(date - whole) * 86400.0);
    long dayNumber = static_cast<long>(whole);
    if (seconds >= 86400) {  // rounded up to midnight of the next calendar day
        seconds = 0;
        ++dayNumber;
    }
    const sys_days day = kDateEpoch + days(dayNumber);
    const year_month_day ymd(day);
    std::tm tm{};
    tm.tm_year = int(ymd.year()) - 1900;
    tm.tm_mon = int(unsigned(ymd.month())) - 1;
    tm.tm_mday = int(unsigned(ymd.day()));
    tm.tm_hour = int(seconds / 3600);
    tm.tm_min = int(seconds / 60 % 60);
    tm.tm_sec = int(seconds % 60);
    tm.tm_wday = int(std::chrono::weekday(day).c_encoding());
    const sys_days newYear = sys_days(ymd.year() / 1 / 1);
    tm.tm_yday = int((day - newYear).count());
    return tm;
}

// DISP_E_TYPEMISMATCH for a day the calendar lacks (30 February), DISP_E_OVERFLOW outside the
// years 100 to 9999.
HRESULT TmToDate(const std::tm& tm, double* out) {
    const year_month_day ymd(std::chrono::year(tm.tm_year + 1900),
                             std::chrono::month(unsigned(tm.tm_mon + 1)),
                             std::chrono::day(unsigned(tm.tm_mday)));
    if (!ymd.ok())
        return DISP_E_TYPEMISMATCH;
    const double dayNumber = static_cast<double>((sys_days(ymd) - kDateEpoch).count());
    const double time = (tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec) / 86400.0;
    // Before the epoch the time counts away from zero: -1.25 is 29 December 1899, 06:00.
    const double date = dayNumber < 0 ? dayNumber - time : dayNumber + time;
    if (!DateInRange(date))
        return DISP_E_OVERFLOW;
    *out = date;
    return S_OK;
}

// ---- Text -----------------------------------------------------------------------------------

// Locale-independent shortest-form text of a real with `precision` significant digits, the
// platform's general format ("3.5", "1E+15", "1.5E-05"), then given the user's separator.
std::u16string RealText(double value, int precision, bool single) {
    if (std::isnan(value))
        return u"NaN";
    if (std::isinf(value))
        return value < 0 ? u"-INF" : u"INF";
    if (value == 0)
        return u"0";  // also for -0
    char buffer[64];
    const std::to_chars_result r =
        single ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value),
                               std::chars_format::general, precision)
               : std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general,
                               precision);
    const std::u16string& separator = korva::com::detail::UserDecimalSeparator();
    std::u16string text;
    for (const char* p = buffer; p != r.ptr; ++p) {
        if (*p == '.')
            text += separator;
        else
            text += *p == 'e' ? u'E' : char16_t(*p);
    }
    return text;
}

template <class T>
std::u16string IntegerText(T value) {
    char buffer[32];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::u16string(buffer, r.ptr);
}

std::u16string CurrencyText(int64_t cy) {
    const bool negative = cy < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(cy) : static_cast<uint64_t>(cy);
    std::u16string text = (negative ? u"-" : u"") + IntegerText(magnitude / 10000);
    uint64_t fraction = magnitude % 10000;
    if (fraction == 0)
        return text;
    int digits = 4;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --digits;
    }
    std::u16string tail = IntegerText(fraction);
    tail.insert(0, size_t(digits) - tail.size(), u'0');
    return text + korva::com::detail::UserDecimalSeparator() + tail;
}

// The text form of `v`, as VariantChangeType to VT_BSTR gives it.
HRESULT FormatText(const VARIANT& v, std::u16string* text) {
    switch (v.vt) {
        case VT_EMPTY:
        case VT_NULL:
            text->clear();
            return S_OK;
        case VT_BSTR:
            text->assign(v.bstrVal ? v.bstrVal : u"", SysStringLen(v.bstrVal));
            return S_OK;
        case VT_BOOL:
            *text = v.boolVal ? u"True" : u"False";
            return S_OK;
        case VT_R4:
            *text = RealText(v.fltVal, 7, true);
            return S_OK;
        case VT_R8:
            *text = RealText(v.dblVal, 15, false);
            return S_OK;
        case VT_CY:
            *text = CurrencyText(v.cyVal);
            return S_OK;
        case VT_DATE: {
            if (!DateInRange(v.date))
                return DISP_E_OVERFLOW;
            const std::tm tm = DateToTm(v.date);
            const bool midnight = tm.tm_hour == 0 && tm.tm_min == 0 && tm.tm_sec == 0;
            const bool epochDay = tm.tm_year == -1 && tm.tm_mon == 11 && tm.tm_mday == 30;
            // As the platform writes dates: the time alone on day 0, the date alone at midnight.
            const DateParts parts = epochDay   ? DateParts::Time
                                    : midnight ? DateParts::Date
                                               : DateParts::DateAndTime;
            *text = korva::com::detail::FormatUserDateTime(tm, parts);
            return S_OK;
        }
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_INT:
        case VT_I8:
            *text = IntegerText(static_cast<int64_t>(LoadInteger(v)));
            return S_OK;
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UINT:
        case VT_UI8:
            *text = IntegerText(static_cast<uint64_t>(LoadInteger(v)));
            return S_OK;
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

HRESULT TextToValue(std::u16string_view text, VARTYPE vt, VARIANT* out) {
    if (vt == VT_BOOL) {
        const std::u16string_view word = Trim(text);
        if (EqualsIgnoringCase(word, u"True") || EqualsIgnoringCase(word, u"False")) {
            out->vt = VT_BOOL;
            out->boolVal = EqualsIgnoringCase(word, u"True") ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        }
    }
    if (vt == VT_DATE) {
        DateParts parts;
        std::optional<std::tm> tm =
            korva::com::detail::ParseUserDateTime(Utf16ToUtf8(Trim(text)), &parts);
        if (!tm)
            return DISP_E_TYPEMISMATCH;
        double date;
        const HRESULT hr = TmToDate(*tm, &date);
        if (FAILED(hr))
            return hr;
        out->vt = VT_DATE;
        out->date = date;
        return S_OK;
    }
    std::optional<Decimal> decimal = ParseDecimal(text);
    if (!decimal)
        return DISP_E_TYPEMISMATCH;
    Number n;
    if (IsInteger(vt) || vt == VT_CY) {
        std::optional<Int> value = DecimalToInteger(*decimal, vt == VT_CY ? 4 : 0);
        if (!value)
            return DISP_E_OVERFLOW;
        if (vt == VT_CY) {
            n.kind = Number::Currency;
            if (*value < INT64_MIN || *value > INT64_MAX)
                return DISP_E_OVERFLOW;
            n.currency = static_cast<int64_t>(*value);
        } else {
            n.integer = *value;
        }
    } else if (vt == VT_BOOL) {
        n.integer = decimal->digits.empty() ? 0 : 1;
    } else {
        std::optional<double> real = DecimalToReal(*decimal);
        if (!real)
            return DISP_E_OVERFLOW;
        n.kind = Number::Real;
        n.real = *real;
    }
    return StoreNumber(n, vt, out);
}

// Converts into `out` (VT_EMPTY on entry), leaving `src` alone.
HRESULT Convert(const VARIANT& src, VARTYPE vt, VARIANT* out) {
    if (vt == VT_EMPTY)
        return S_OK;
    if (src.vt == vt)
        return VariantCopy(out, &src);
    if (vt == VT_BSTR) {
        std::u16string text;
        HRESULT hr = FormatText(src, &text);
        if (FAILED(hr))
            return hr;
        BSTR b = SysAllocStringView(text);
        if (!b)
            return E_OUTOFMEMORY;
        out->vt = VT_BSTR;
        out->bstrVal = b;
        return S_OK;
    }
    if (vt == VT_NULL || vt == VT_ERROR || src.vt == VT_NULL || src.vt == VT_ERROR)
        return DISP_E_TYPEMISMATCH;
    if (src.vt == VT_BSTR)
        return TextToValue(
            std::u16string_view(src.bstrVal ? src.bstrVal : u"", SysStringLen(src.bstrVal)), vt,
            out);
    std::optional<Number> n = LoadNumber(src);
    if (!n)
        return DISP_E_TYPEMISMATCH;
    return StoreNumber(*n, vt, out);
}

}  // namespace

void VariantInit(VARIANT* v) {
    if (!v)
        return;
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v)
        return E_INVALIDARG;
    if (!IsSupported(v->vt))
        return DISP_E_BADVARTYPE;
    if (v->vt == VT_BSTR)
        SysFreeString(v->bstrVal);
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src)
        return E_INVALIDARG;
    if (!IsSupported(src->vt))
        return DISP_E_BADVARTYPE;
    if (dest == src)
        return S_OK;
    VARIANT copy = *src;
    if (src->vt == VT_BSTR && src->bstrVal) {
        copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
        if (!copy.bstrVal)
            return E_OUTOFMEMORY;
    }
    HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        if (copy.vt == VT_BSTR)
            SysFreeString(copy.bstrVal);
        return hr;
    }
    *dest = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, uint16_t /*flags*/, VARTYPE vt) {
    // VARIANT_ALPHABOOL is implied (booleans always become "True"/"False") and
    // VARIANT_NOVALUEPROP has nothing to act on: there are no object variants.
    if (!dest || !src)
        return E_INVALIDARG;
    if (!IsSupported(src->vt) || !IsSupported(vt))
        return DISP_E_BADVARTYPE;
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = Convert(*src, vt, &result);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    if (dest != src || vt != src->vt) {
        // `src` is no longer needed, so clearing `dest` is safe even when they are the same.
        hr = VariantClear(dest);
        if (FAILED(hr)) {
            VariantClear(&result);
            return hr;
        }
        *dest = result;
    } else {
        VariantClear(&result);
    }
    return S_OK;
}

std::u16string VariantToText(const VARIANT& v) {
    std::u16string text;
    if (FAILED(FormatText(v, &text)))
        return {};
    return text;
}

Variant Variant::FromDouble(double d) {
    Variant v;
    v.v_.vt = VT_R8;
    v.v_.dblVal = d;
    return v;
}

Variant Variant::FromText(std::u16string_view text) {
    Variant v;
    v.v_.bstrVal = SysAllocStringView(text);
    // Out of memory leaves the variant empty rather than a BSTR variant without text.
    if (v.v_.bstrVal)
        v.v_.vt = VT_BSTR;
    return v;
}

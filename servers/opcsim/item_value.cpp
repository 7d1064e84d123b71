#include "servers/opcsim/item_value.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace opcsim {
namespace {

struct TypeInfo {
    VARTYPE vt;
    const char* name;
};
constexpr TypeInfo kTypes[] = {
    {VT_I1, "I1"},   {VT_UI1, "UI1"},   {VT_I2, "I2"},     {VT_UI2, "UI2"},
    {VT_I4, "I4"},   {VT_UI4, "UI4"},   {VT_I8, "I8"},     {VT_UI8, "UI8"},
    {VT_INT, "INT"}, {VT_UINT, "UINT"}, {VT_R4, "R4"},     {VT_R8, "R8"},
    {VT_CY, "CY"},   {VT_DATE, "DATE"}, {VT_BSTR, "BSTR"}, {VT_BOOL, "BOOL"},
};

HRESULT MapConversionError(HRESULT hr) {
    if (SUCCEEDED(hr))
        return S_OK;
    return hr == DISP_E_OVERFLOW ? OPC_E_RANGE : OPC_E_BADTYPE;
}

// Holds `x` to the range of T and rounds to the nearest integer; NaN becomes 0.
template <class T>
T RoundInto(double x) {
    if (std::isnan(x))
        return 0;
    const double lo = static_cast<double>(std::numeric_limits<T>::min());
    // For 64-bit types the maximum is not a double; the largest double below 2^bits is.
    const double hi = sizeof(T) == 8
                          ? std::nextafter(static_cast<double>(std::numeric_limits<T>::max()), 0.0)
                          : static_cast<double>(std::numeric_limits<T>::max());
    if (x <= lo)
        return std::numeric_limits<T>::min();
    if (x >= hi)
        return static_cast<T>(hi);
    return static_cast<T>(std::round(x));
}

std::optional<std::string> Ascii(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c >= 0x80)
            return std::nullopt;
        out.push_back(static_cast<char>(c));
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
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
std::optional<T> ParseInteger(std::string_view s) {
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    T v{};
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty())
        return std::nullopt;
    return v;
}

std::optional<double> ParseReal(std::string_view s) {
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// Currency: an integer part and at most four decimals, kept exact.
std::optional<int64_t> ParseCurrency(std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    size_t dot = s.find('.');
    std::string_view whole = s.substr(0, dot);
    std::string_view frac = dot == std::string_view::npos ? std::string_view{} : s.substr(dot + 1);
    if (whole.empty() && frac.empty())
        return std::nullopt;
    if (frac.size() > 4 || (dot != std::string_view::npos && frac.empty()))
        return std::nullopt;
    __int128 units = 0;
    for (char c : whole) {
        if (c < '0' || c > '9')
            return std::nullopt;
        units = units * 10 + (c - '0');
        if (units > (__int128{1} << 63))
            return std::nullopt;
    }
    for (size_t i = 0; i < 4; ++i) {
        char c = i < frac.size() ? frac[i] : '0';
        if (c < '0' || c > '9')
            return std::nullopt;
        units = units * 10 + (c - '0');
    }
    if (negative)
        units = -units;
    if (units < std::numeric_limits<int64_t>::min() || units > std::numeric_limits<int64_t>::max())
        return std::nullopt;
    return static_cast<int64_t>(units);
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

std::optional<int> Digits(std::string_view s, size_t pos, size_t count) {
    if (pos + count > s.size())
        return std::nullopt;
    int v = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return std::nullopt;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

// "YYYY-MM-DD" with an optional "Thh:mm" or "Thh:mm:ss" (a blank may stand for the "T").
std::optional<double> ParseIsoDate(std::string_view s) {
    auto y = Digits(s, 0, 4), m = Digits(s, 5, 2), d = Digits(s, 8, 2);
    if (!y || !m || !d || s[4] != '-' || s[7] != '-')
        return std::nullopt;
    static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (*m < 1 || *m > 12 || *d < 1)
        return std::nullopt;
    if (*d > kMonthDays[*m - 1] + (*m == 2 && IsLeap(*y) ? 1 : 0))
        return std::nullopt;
    int hh = 0, mm = 0, ss = 0;
    if (s.size() > 10) {
        if ((s[10] != 'T' && s[10] != ' ') || (s.size() != 16 && s.size() != 19))
            return std::nullopt;
        auto h = Digits(s, 11, 2), mi = Digits(s, 14, 2);
        if (!h || !mi || s[13] != ':' || *h > 23 || *mi > 59)
            return std::nullopt;
        hh = *h;
        mm = *mi;
        if (s.size() == 19) {
            auto se = Digits(s, 17, 2);
            if (!se || s[16] != ':' || *se > 59)
                return std::nullopt;
            ss = *se;
        }
    } else if (s.size() != 10) {
        return std::nullopt;
    }
    // The platform counts days from 30 December 1899.
    const int64_t days = DaysFromCivil(*y, static_cast<unsigned>(*m), static_cast<unsigned>(*d)) -
                         DaysFromCivil(1899, 12, 30);
    return static_cast<double>(days) + (hh * 3600 + mm * 60 + ss) / 86400.0;
}

template <class T>
std::optional<Value> IntegerValue(std::string_view s, VARTYPE vt) {
    auto v = ParseInteger<T>(s);
    if (!v)
        return std::nullopt;
    Value out;
    VARIANT* p = out.ptr();
    p->vt = vt;
    p->ullVal = 0;
    std::memcpy(&p->ullVal, &*v, sizeof(T));
    return out;
}

}  // namespace

bool IsItemType(VARTYPE vt) {
    for (const TypeInfo& t : kTypes)
        if (t.vt == vt)
            return true;
    return false;
}

bool IsRequestableType(VARTYPE vt) {
    return vt == VT_EMPTY || IsItemType(vt);
}

Value ZeroValue(VARTYPE vt) {
    Value out;
    VARIANT* p = out.ptr();
    p->ullVal = 0;
    p->vt = vt;
    return out;
}

void GiveTextStorage(VARIANT* v) {
    if (v->vt == VT_BSTR && !v->bstrVal)
        v->bstrVal = SysAllocStringLen(u"", 0);
}

HRESULT ConvertForWrite(const VARIANT& value, VARTYPE type, VARIANT* out) {
    if (value.vt == VT_EMPTY || value.vt == VT_NULL)
        return OPC_E_BADTYPE;
    const HRESULT hr = MapConversionError(VariantChangeType(out, &value, 0, type));
    if (SUCCEEDED(hr))
        GiveTextStorage(out);
    return hr;
}

HRESULT ConvertForRead(const VARIANT& value, VARTYPE requested, VARIANT* out) {
    const HRESULT hr = requested == VT_EMPTY || requested == value.vt
                           ? VariantCopy(out, &value)
                           : MapConversionError(VariantChangeType(out, &value, 0, requested));
    if (SUCCEEDED(hr))
        GiveTextStorage(out);
    return hr;
}

Value NumberValue(double x, VARTYPE type) {
    Value out = ZeroValue(type);
    VARIANT* p = out.ptr();
    switch (type) {
        case VT_I1:
            p->cVal = RoundInto<int8_t>(x);
            break;
        case VT_UI1:
            p->bVal = RoundInto<uint8_t>(x);
            break;
        case VT_I2:
            p->iVal = RoundInto<int16_t>(x);
            break;
        case VT_UI2:
            p->uiVal = RoundInto<uint16_t>(x);
            break;
        case VT_I4:
        case VT_INT:
            p->lVal = RoundInto<int32_t>(x);
            break;
        case VT_UI4:
        case VT_UINT:
            p->ulVal = RoundInto<uint32_t>(x);
            break;
        case VT_I8:
            p->llVal = RoundInto<int64_t>(x);
            break;
        case VT_UI8:
            p->ullVal = RoundInto<uint64_t>(x);
            break;
        case VT_R4:
            p->fltVal = static_cast<float>(x);
            break;
        case VT_R8:
            p->dblVal = x;
            break;
        case VT_DATE:
            p->date = x;
            break;
        case VT_CY:
            p->cyVal = RoundInto<int64_t>(x * 10000.0);
            break;
        case VT_BOOL:
            p->boolVal = x != 0.0 ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        default:
            break;
    }
    return out;
}

Value CounterValue(uint64_t count, VARTYPE type) {
    Value out = ZeroValue(type);
    VARIANT* p = out.ptr();
    switch (type) {
        case VT_I1:
            p->cVal = static_cast<int8_t>(count);
            break;
        case VT_UI1:
            p->bVal = static_cast<uint8_t>(count);
            break;
        case VT_I2:
            p->iVal = static_cast<int16_t>(count);
            break;
        case VT_UI2:
            p->uiVal = static_cast<uint16_t>(count);
            break;
        case VT_I4:
        case VT_INT:
            p->lVal = static_cast<int32_t>(count);
            break;
        case VT_UI4:
        case VT_UINT:
            p->ulVal = static_cast<uint32_t>(count);
            break;
        case VT_I8:
            p->llVal = static_cast<int64_t>(count);
            break;
        case VT_UI8:
            p->ullVal = count;
            break;
        case VT_CY:
            p->cyVal = static_cast<int64_t>(count * 10000u);
            break;
        case VT_BOOL:
            p->boolVal = (count & 1) ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        default:
            return NumberValue(static_cast<double>(count), type);
    }
    return out;
}

std::optional<VARTYPE> ParseTypeName(std::string_view name) {
    if (name.size() > 3 && EqualsNoCase(name.substr(0, 3), "VT_"))
        name.remove_prefix(3);
    for (const TypeInfo& t : kTypes)
        if (EqualsNoCase(name, t.name))
            return t.vt;
    return std::nullopt;
}

const char* TypeName(VARTYPE vt) {
    for (const TypeInfo& t : kTypes)
        if (t.vt == vt)
            return t.name;
    return "?";
}

std::optional<Value> ParseInitialValue(std::u16string_view text, VARTYPE type) {
    if (type == VT_BSTR) {
        Value out = ZeroValue(VT_BSTR);
        if (!text.empty())
            out.ptr()->bstrVal = SysAllocStringView(text);
        return out;
    }
    std::optional<std::string> ascii = Ascii(text);
    if (!ascii)
        return std::nullopt;
    const std::string_view s = *ascii;
    switch (type) {
        case VT_I1:
            return IntegerValue<int8_t>(s, type);
        case VT_UI1:
            return IntegerValue<uint8_t>(s, type);
        case VT_I2:
            return IntegerValue<int16_t>(s, type);
        case VT_UI2:
            return IntegerValue<uint16_t>(s, type);
        case VT_I4:
        case VT_INT:
            return IntegerValue<int32_t>(s, type);
        case VT_UI4:
        case VT_UINT:
            return IntegerValue<uint32_t>(s, type);
        case VT_I8:
            return IntegerValue<int64_t>(s, type);
        case VT_UI8:
            return IntegerValue<uint64_t>(s, type);
        case VT_R4: {
            auto v = ParseReal(s);
            if (!v || std::fabs(*v) > std::numeric_limits<float>::max())
                return std::nullopt;
            return NumberValue(*v, type);
        }
        case VT_R8: {
            auto v = ParseReal(s);
            if (!v)
                return std::nullopt;
            return NumberValue(*v, type);
        }
        case VT_CY: {
            auto v = ParseCurrency(s);
            if (!v)
                return std::nullopt;
            Value out = ZeroValue(VT_CY);
            out.ptr()->cyVal = *v;
            return out;
        }
        case VT_DATE: {
            auto v = s.size() >= 10 && s[4] == '-' ? ParseIsoDate(s) : ParseReal(s);
            if (!v)
                return std::nullopt;
            return NumberValue(*v, type);
        }
        case VT_BOOL: {
            if (EqualsNoCase(s, "true") || s == "1" || s == "-1")
                return NumberValue(1, type);
            if (EqualsNoCase(s, "false") || s == "0")
                return NumberValue(0, type);
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

}  // namespace opcsim

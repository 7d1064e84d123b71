#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/platform/com_test_support.h"
#include "tests/platform/scoped_env.h"

namespace korva::test {
namespace {

VARIANT Make(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}
VARIANT Int(VARTYPE vt, int64_t value) {
    VARIANT v = Make(vt);
    switch (vt) {
        case VT_I1:
            v.cVal = int8_t(value);
            break;
        case VT_UI1:
            v.bVal = uint8_t(value);
            break;
        case VT_I2:
            v.iVal = int16_t(value);
            break;
        case VT_UI2:
            v.uiVal = uint16_t(value);
            break;
        case VT_I4:
            v.lVal = int32_t(value);
            break;
        case VT_UI4:
            v.ulVal = uint32_t(value);
            break;
        case VT_INT:
            v.intVal = int32_t(value);
            break;
        case VT_UINT:
            v.uintVal = uint32_t(value);
            break;
        case VT_ERROR:
            v.scode = HRESULT(value);
            break;
        default:
            v.llVal = value;
            break;
    }
    return v;
}
VARIANT UI8(uint64_t value) {
    VARIANT v = Make(VT_UI8);
    v.ullVal = value;
    return v;
}
VARIANT R4(float value) {
    VARIANT v = Make(VT_R4);
    v.fltVal = value;
    return v;
}
VARIANT R8(double value) {
    VARIANT v = Make(VT_R8);
    v.dblVal = value;
    return v;
}
VARIANT Date(double value) {
    VARIANT v = Make(VT_DATE);
    v.date = value;
    return v;
}
VARIANT Cy(int64_t scaled) {
    VARIANT v = Make(VT_CY);
    v.cyVal = scaled;
    return v;
}
VARIANT Bool(bool value) {
    VARIANT v = Make(VT_BOOL);
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

// The value of `v` for messages and comparisons, type and all.
std::string Show(const VARIANT& v) {
    std::string value;
    switch (v.vt) {
        case VT_R4:
            value = std::to_string(v.fltVal);
            break;
        case VT_R8:
            value = std::to_string(v.dblVal);
            break;
        case VT_DATE:
            value = std::to_string(v.date);
            break;
        case VT_BSTR:
            value = Narrow(VariantToText(v));
            break;
        case VT_BOOL:
            value = std::to_string(v.boolVal);
            break;
        case VT_CY:
            value = std::to_string(v.cyVal);
            break;
        case VT_UI8:
            value = std::to_string(v.ullVal);
            break;
        case VT_I1:
            value = std::to_string(v.cVal);
            break;
        case VT_UI1:
            value = std::to_string(v.bVal);
            break;
        case VT_I2:
            value = std::to_string(v.iVal);
            break;
        case VT_UI2:
            value = std::to_string(v.uiVal);
            break;
        case VT_I4:
            value = std::to_string(v.lVal);
            break;
        case VT_UI4:
            value = std::to_string(v.ulVal);
            break;
        case VT_INT:
            value = std::to_string(v.intVal);
            break;
        case VT_UINT:
            value = std::to_string(v.uintVal);
            break;
        case VT_I8:
            value = std::to_string(v.llVal);
            break;
        default:
            break;
    }
    return "vt " + std::to_string(v.vt) + " " + value;
}

std::u16string ChangeToText(const VARIANT& v, HRESULT* hr) {
    VARIANT text;
    VariantInit(&text);
    *hr = VariantChangeType(&text, &v, 0, VT_BSTR);
    std::u16string out;
    if (SUCCEEDED(*hr)) {
        EXPECT_EQ(text.vt, VT_BSTR);
        out.assign(text.bstrVal ? text.bstrVal : u"", SysStringLen(text.bstrVal));
    }
    VariantClear(&text);
    return out;
}

// ---- To text, in a full-stop and a comma locale -------------------------------------------

struct TextCase {
    const char* name;
    VARIANT value;
    std::u16string english;  // en_US.UTF-8
    std::u16string german;   // de_DE.UTF-8
};

struct LocaleCase {
    const char* locale;
    bool german;
};

class VariantToTextTest : public TaskMemoryCheck,
                          public ::testing::WithParamInterface<LocaleCase> {};

TEST_P(VariantToTextTest, EveryTypeFollowsTheUserLocale) {
    ScopedEnv all("LC_ALL", std::string(GetParam().locale));
    const TextCase cases[] = {
        {"empty", Make(VT_EMPTY), u"", u""},
        {"null", Make(VT_NULL), u"", u""},
        {"I1", Int(VT_I1, -128), u"-128", u"-128"},
        {"UI1", Int(VT_UI1, 255), u"255", u"255"},
        {"I2", Int(VT_I2, -32768), u"-32768", u"-32768"},
        {"UI2", Int(VT_UI2, 65535), u"65535", u"65535"},
        {"I4", Int(VT_I4, INT32_MIN), u"-2147483648", u"-2147483648"},
        {"UI4", Int(VT_UI4, UINT32_MAX), u"4294967295", u"4294967295"},
        {"I8", Int(VT_I8, INT64_MIN), u"-9223372036854775808", u"-9223372036854775808"},
        {"UI8", UI8(UINT64_MAX), u"18446744073709551615", u"18446744073709551615"},
        {"INT", Int(VT_INT, -5), u"-5", u"-5"},
        {"UINT", Int(VT_UINT, 7), u"7", u"7"},
        {"R4", R4(3.5f), u"3.5", u"3,5"},
        {"R4 tenth", R4(0.1f), u"0.1", u"0,1"},
        {"R4 seven digits", R4(123456789.0f), u"1.234568E+08", u"1,234568E+08"},
        {"R4 exponent at seven", R4(1e7f), u"1E+07", u"1E+07"},
        {"R4 whole below seven digits", R4(1234567.0f), u"1234567", u"1234567"},
        {"R8", R8(3.5), u"3.5", u"3,5"},
        {"R8 negative", R8(-2.25), u"-2.25", u"-2,25"},
        {"R8 fifteen digits", R8(1.0 / 3), u"0.333333333333333", u"0,333333333333333"},
        {"R8 exponent at fifteen", R8(1e15), u"1E+15", u"1E+15"},
        {"R8 whole below fifteen", R8(1e14), u"100000000000000", u"100000000000000"},
        {"R8 small", R8(1.5e-5), u"1.5E-05", u"1,5E-05"},
        {"R8 small without exponent", R8(0.0001), u"0.0001", u"0,0001"},
        {"R8 negative zero", R8(-0.0), u"0", u"0"},
        {"R8 not a number", R8(std::nan("")), u"NaN", u"NaN"},
        {"CY", Cy(12345), u"1.2345", u"1,2345"},
        {"CY whole", Cy(10000), u"1", u"1"},
        {"CY negative", Cy(-15000), u"-1.5", u"-1,5"},
        {"CY smallest", Cy(INT64_MIN), u"-922337203685477.5808", u"-922337203685477,5808"},
        {"BOOL true", Bool(true), u"True", u"True"},
        {"BOOL false", Bool(false), u"False", u"False"},
        {"DATE and time", Date(45000.75), u"03/15/2023 06:00:00 PM", u"15.03.2023 18:00:00"},
        {"DATE at midnight", Date(45000.0), u"03/15/2023", u"15.03.2023"},
        {"DATE time alone", Date(0.5), u"12:00:00 PM", u"12:00:00"},
        {"DATE before 1900", Date(-1.25), u"12/29/1899 06:00:00 AM", u"29.12.1899 06:00:00"},
        {"DATE second rounds to the next day", Date(1.0 - 1e-9), u"12/31/1899", u"31.12.1899"},
    };
    for (const TextCase& c : cases) {
        const std::u16string& expected = GetParam().german ? c.german : c.english;
        HRESULT hr;
        EXPECT_EQ(ChangeToText(c.value, &hr), expected) << c.name;
        EXPECT_EQ(hr, S_OK) << c.name;
        EXPECT_EQ(VariantToText(c.value), expected) << c.name;
    }
    Variant text = Variant::FromText(u"as it is");
    EXPECT_EQ(VariantToText(text.get()), u"as it is");
}

TEST_P(VariantToTextTest, NumbersReadBackAsTheyWereWritten) {
    ScopedEnv all("LC_ALL", std::string(GetParam().locale));
    const VARIANT values[] = {
        R8(3.5),    R8(-1234.0625),        R8(1.5e-5),     R8(1e300),   R4(0.1f),
        Cy(-15000), Int(VT_I8, INT64_MAX), Date(45000.75), Date(-1.25), Bool(true)};
    for (const VARIANT& v : values) {
        Variant text;
        ASSERT_EQ(VariantChangeType(text.ptr(), &v, 0, VT_BSTR), S_OK) << Show(v);
        Variant back;
        ASSERT_EQ(VariantChangeType(back.ptr(), text.ptr(), 0, v.vt), S_OK)
            << Show(v) << " from " << Narrow(VariantToText(text.get()));
        EXPECT_EQ(Show(back.get()), Show(v));
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, VariantToTextTest,
                         ::testing::Values(LocaleCase{"en_US.UTF-8", false},
                                           LocaleCase{"de_DE.UTF-8", true}),
                         [](const auto& info) { return info.param.german ? "German" : "English"; });

TEST(VariantToTextLocale, FollowsLcNumericAndFallsBackToFullStop) {
    ScopedEnv all("LC_ALL", std::nullopt);
    ScopedEnv lang("LANG", std::string("en_US.UTF-8"));
    {
        ScopedEnv numeric("LC_NUMERIC", std::string("de_DE.UTF-8"));
        EXPECT_EQ(VariantToText(R8(2.5)), u"2,5");
    }
    EXPECT_EQ(VariantToText(R8(2.5)), u"2.5");
    ScopedEnv missing("LC_NUMERIC", std::string("xx_NOWHERE.UTF-8"));
    EXPECT_EQ(VariantToText(R8(2.5)), u"2.5");
}

TEST(VariantToTextErrors, ErrorCodesHaveNoText) {
    VARIANT error = Int(VT_ERROR, DISP_E_OVERFLOW);
    HRESULT hr;
    ChangeToText(error, &hr);
    EXPECT_EQ(hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantToText(error), u"");
    VARIANT farDate = Date(3e6);
    ChangeToText(farDate, &hr);
    EXPECT_EQ(hr, DISP_E_OVERFLOW);
    EXPECT_EQ(VariantToText(farDate), u"");
}

// ---- Conversions between types -------------------------------------------------------------

struct ChangeCase {
    const char* name;
    VARIANT from;
    VARTYPE to;
    HRESULT hr;
    VARIANT expected;  // when hr succeeds
};

VARIANT Text(const char16_t* text) {
    VARIANT v = Make(VT_BSTR);
    v.bstrVal = SysAllocString(text);
    return v;
}

void RunChangeCases(const ChangeCase* begin, const ChangeCase* end) {
    for (const ChangeCase* c = begin; c != end; ++c) {
        VARIANT out;
        VariantInit(&out);
        const HRESULT hr = VariantChangeType(&out, &c->from, 0, c->to);
        EXPECT_EQ(hr, c->hr) << c->name << ": " << DescribeHResult(hr);
        if (SUCCEEDED(hr) && SUCCEEDED(c->hr)) {
            EXPECT_EQ(Show(out), Show(c->expected)) << c->name;
        }
        if (FAILED(hr)) {
            EXPECT_EQ(out.vt, VT_EMPTY) << c->name << ": a failed conversion changed its target";
        }
        VariantClear(&out);
    }
}

class VariantChange : public TaskMemoryCheck {};

TEST_F(VariantChange, BetweenNumbersWithRangeChecksAndHalfEvenRounding) {
    const double nan = std::nan("");
    const ChangeCase cases[] = {
        {"R8 2.5 to I4", R8(2.5), VT_I4, S_OK, Int(VT_I4, 2)},
        {"R8 3.5 to I4", R8(3.5), VT_I4, S_OK, Int(VT_I4, 4)},
        {"R8 -2.5 to I4", R8(-2.5), VT_I4, S_OK, Int(VT_I4, -2)},
        {"R8 -3.5 to I4", R8(-3.5), VT_I4, S_OK, Int(VT_I4, -4)},
        {"R8 2.51 to I2", R8(2.51), VT_I2, S_OK, Int(VT_I2, 3)},
        {"R8 just below I4 limit", R8(2147483647.4), VT_I4, S_OK, Int(VT_I4, INT32_MAX)},
        {"R8 rounding past I4 limit", R8(2147483647.5), VT_I4, DISP_E_OVERFLOW, {}},
        {"R8 tie at I4 minimum", R8(-2147483648.5), VT_I4, S_OK, Int(VT_I4, INT32_MIN)},
        {"R8 2^63 to I8", R8(9223372036854775808.0), VT_I8, DISP_E_OVERFLOW, {}},
        {"R8 -2^63 to I8", R8(-9223372036854775808.0), VT_I8, S_OK, Int(VT_I8, INT64_MIN)},
        {"R8 NaN to I4", R8(nan), VT_I4, DISP_E_OVERFLOW, {}},
        {"R8 -0.5 to UI1", R8(-0.5), VT_UI1, S_OK, Int(VT_UI1, 0)},
        {"R8 -0.6 to UI1", R8(-0.6), VT_UI1, DISP_E_OVERFLOW, {}},
        {"R8 1e300 to R4", R8(1e300), VT_R4, DISP_E_OVERFLOW, {}},
        {"R8 infinity to R4", R8(INFINITY), VT_R4, S_OK, R4(INFINITY)},
        {"R4 to R8", R4(0.5f), VT_R8, S_OK, R8(0.5)},
        {"I4 300 to UI1", Int(VT_I4, 300), VT_UI1, DISP_E_OVERFLOW, {}},
        {"I4 -1 to UI4", Int(VT_I4, -1), VT_UI4, DISP_E_OVERFLOW, {}},
        {"I4 -129 to I1", Int(VT_I4, -129), VT_I1, DISP_E_OVERFLOW, {}},
        {"I4 -128 to I1", Int(VT_I4, -128), VT_I1, S_OK, Int(VT_I1, -128)},
        {"UI8 max to I8", UI8(UINT64_MAX), VT_I8, DISP_E_OVERFLOW, {}},
        {"UI8 max to R8", UI8(UINT64_MAX), VT_R8, S_OK, R8(18446744073709551616.0)},
        {"I8 -1 to UI8", Int(VT_I8, -1), VT_UI8, DISP_E_OVERFLOW, {}},
        {"UI4 max to INT", Int(VT_UI4, UINT32_MAX), VT_INT, DISP_E_OVERFLOW, {}},
        {"UINT to I8", Int(VT_UINT, UINT32_MAX), VT_I8, S_OK, Int(VT_I8, UINT32_MAX)},
        {"BOOL true to I4", Bool(true), VT_I4, S_OK, Int(VT_I4, -1)},
        {"BOOL true to UI1", Bool(true), VT_UI1, S_OK, Int(VT_UI1, 255)},
        {"BOOL true to UI8", Bool(true), VT_UI8, S_OK, UI8(UINT64_MAX)},
        {"BOOL true to R8", Bool(true), VT_R8, S_OK, R8(-1)},
        {"BOOL false to R8", Bool(false), VT_R8, S_OK, R8(0)},
        {"I4 5 to BOOL", Int(VT_I4, 5), VT_BOOL, S_OK, Bool(true)},
        {"R8 0 to BOOL", R8(0), VT_BOOL, S_OK, Bool(false)},
        {"CY 2.5 to I4", Cy(25000), VT_I4, S_OK, Int(VT_I4, 2)},
        {"CY 3.5 to I4", Cy(35000), VT_I4, S_OK, Int(VT_I4, 4)},
        {"CY -2.5 to I4", Cy(-25000), VT_I4, S_OK, Int(VT_I4, -2)},
        {"CY -2.5001 to I4", Cy(-25001), VT_I4, S_OK, Int(VT_I4, -3)},
        {"CY to R8", Cy(-15000), VT_R8, S_OK, R8(-1.5)},
        {"R8 to CY", R8(1.5), VT_CY, S_OK, Cy(15000)},
        {"R8 1e20 to CY", R8(1e20), VT_CY, DISP_E_OVERFLOW, {}},
        {"I8 max to CY", Int(VT_I8, INT64_MAX), VT_CY, DISP_E_OVERFLOW, {}},
        {"I4 to DATE", Int(VT_I4, 7), VT_DATE, S_OK, Date(7)},
        {"R8 beyond 9999 to DATE", R8(1e7), VT_DATE, DISP_E_OVERFLOW, {}},
        {"DATE to R8", Date(45000.75), VT_R8, S_OK, R8(45000.75)},
        {"EMPTY to I4", Make(VT_EMPTY), VT_I4, S_OK, Int(VT_I4, 0)},
        {"EMPTY to BOOL", Make(VT_EMPTY), VT_BOOL, S_OK, Bool(false)},
        {"NULL to I4", Make(VT_NULL), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {"ERROR to I4", Int(VT_ERROR, E_FAIL), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {"I4 to ERROR", Int(VT_I4, 1), VT_ERROR, DISP_E_TYPEMISMATCH, {}},
        {"I4 to NULL", Int(VT_I4, 1), VT_NULL, DISP_E_TYPEMISMATCH, {}},
        {"I4 to EMPTY", Int(VT_I4, 1), VT_EMPTY, S_OK, Make(VT_EMPTY)},
    };
    RunChangeCases(std::begin(cases), std::end(cases));
}

TEST_F(VariantChange, FromTextInAFullStopLocale) {
    ScopedEnv all("LC_ALL", std::string("en_US.UTF-8"));
    ChangeCase cases[] = {
        {"integer", Text(u"42"), VT_I4, S_OK, Int(VT_I4, 42)},
        {"blanks and sign", Text(u" \t-7  "), VT_I2, S_OK, Int(VT_I2, -7)},
        {"plus sign", Text(u"+7"), VT_I2, S_OK, Int(VT_I2, 7)},
        {"tie to even down", Text(u"2.5"), VT_I4, S_OK, Int(VT_I4, 2)},
        {"tie to even up", Text(u"3.5"), VT_I4, S_OK, Int(VT_I4, 4)},
        {"negative tie", Text(u"-2.5"), VT_I4, S_OK, Int(VT_I4, -2)},
        {"above the tie", Text(u"2.5000001"), VT_I4, S_OK, Int(VT_I4, 3)},
        {"half", Text(u"0.5"), VT_I4, S_OK, Int(VT_I4, 0)},
        {"below a tenth", Text(u"0.09"), VT_I4, S_OK, Int(VT_I4, 0)},
        {"exponent", Text(u"1e3"), VT_I4, S_OK, Int(VT_I4, 1000)},
        {"negative exponent", Text(u"25E-1"), VT_I4, S_OK, Int(VT_I4, 2)},
        {"I8 maximum exactly", Text(u"9223372036854775807"), VT_I8, S_OK, Int(VT_I8, INT64_MAX)},
        {"I8 one beyond", Text(u"9223372036854775808"), VT_I8, DISP_E_OVERFLOW, {}},
        {"UI8 maximum", Text(u"18446744073709551615"), VT_UI8, S_OK, UI8(UINT64_MAX)},
        {"UI1 beyond", Text(u"256"), VT_UI1, DISP_E_OVERFLOW, {}},
        {"UI1 negative", Text(u"-1"), VT_UI1, DISP_E_OVERFLOW, {}},
        {"huge integer", Text(u"1e400"), VT_I4, DISP_E_OVERFLOW, {}},
        {"R8", Text(u"3.25"), VT_R8, S_OK, R8(3.25)},
        {"R8 without integer part", Text(u".5"), VT_R8, S_OK, R8(0.5)},
        {"R8 overflow", Text(u"1e400"), VT_R8, DISP_E_OVERFLOW, {}},
        {"R8 underflow is zero", Text(u"1e-400"), VT_R8, S_OK, R8(0)},
        {"R4 overflow", Text(u"3.5e38"), VT_R4, DISP_E_OVERFLOW, {}},
        {"R4", Text(u"0.1"), VT_R4, S_OK, R4(0.1f)},
        {"CY rounds at the fifth decimal", Text(u"1.23456"), VT_CY, S_OK, Cy(12346)},
        {"CY tie to even", Text(u"0.00005"), VT_CY, S_OK, Cy(0)},
        {"CY tie to even up", Text(u"0.00015"), VT_CY, S_OK, Cy(2)},
        {"CY overflow", Text(u"1e15"), VT_CY, DISP_E_OVERFLOW, {}},
        {"BOOL word", Text(u"True"), VT_BOOL, S_OK, Bool(true)},
        {"BOOL word any case", Text(u" fALSE "), VT_BOOL, S_OK, Bool(false)},
        {"BOOL zero", Text(u"0.0"), VT_BOOL, S_OK, Bool(false)},
        {"BOOL number", Text(u"2"), VT_BOOL, S_OK, Bool(true)},
        {"BOOL other word", Text(u"yes"), VT_BOOL, DISP_E_TYPEMISMATCH, {}},
        {"empty", Text(u""), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {"null BSTR", Make(VT_BSTR), VT_R8, DISP_E_TYPEMISMATCH, {}},
        {"blanks only", Text(u"   "), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {"word", Text(u"abc"), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {"two separators", Text(u"1.2.3"), VT_R8, DISP_E_TYPEMISMATCH, {}},
        {"comma in a full-stop locale", Text(u"1,5"), VT_R8, DISP_E_TYPEMISMATCH, {}},
        {"exponent without digits", Text(u"1e"), VT_R8, DISP_E_TYPEMISMATCH, {}},
        {"two signs", Text(u"--1"), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {"hexadecimal", Text(u"0x10"), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {"infinity word", Text(u"INF"), VT_R8, DISP_E_TYPEMISMATCH, {}},
        {"not a number word", Text(u"nan"), VT_R8, DISP_E_TYPEMISMATCH, {}},
        {"inner blank", Text(u"1 000"), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {"separator alone", Text(u"."), VT_R8, DISP_E_TYPEMISMATCH, {}},
        {"text to ERROR", Text(u"1"), VT_ERROR, DISP_E_TYPEMISMATCH, {}},
        {"DATE ISO", Text(u"2023-03-15 18:00"), VT_DATE, S_OK, Date(45000.75)},
        {"DATE in the locale's form", Text(u"03/15/2023"), VT_DATE, S_OK, Date(45000)},
        {"DATE impossible day", Text(u"2023-02-30"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
        {"DATE before year 100", Text(u"0099-12-31"), VT_DATE, DISP_E_OVERFLOW, {}},
        {"DATE word", Text(u"tomorrow"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
    };
    RunChangeCases(std::begin(cases), std::end(cases));
    for (ChangeCase& c : cases)
        VariantClear(&c.from);
}

TEST_F(VariantChange, FromTextInACommaLocaleAcceptsBothSeparators) {
    ScopedEnv all("LC_ALL", std::string("de_DE.UTF-8"));
    ChangeCase cases[] = {
        {"comma", Text(u"1,5"), VT_R8, S_OK, R8(1.5)},
        {"full stop", Text(u"1.5"), VT_R8, S_OK, R8(1.5)},
        {"comma tie", Text(u"2,5"), VT_I4, S_OK, Int(VT_I4, 2)},
        {"no thousands separator", Text(u"1.000,5"), VT_R8, DISP_E_TYPEMISMATCH, {}},
        {"DATE in the locale's form", Text(u"15.03.2023 18:00:00"), VT_DATE, S_OK, Date(45000.75)},
    };
    RunChangeCases(std::begin(cases), std::end(cases));
    for (ChangeCase& c : cases)
        VariantClear(&c.from);
}

TEST_F(VariantChange, InPlaceFreesTheOldTextAndFailureLeavesTheSourceAlone) {
    VARIANT v = Text(u"17");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 17);

    VARIANT bad = Text(u"seventeen");
    EXPECT_EQ(VariantChangeType(&bad, &bad, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantToText(bad), u"seventeen");

    VARIANT dest = Text(u"old");
    EXPECT_EQ(VariantChangeType(&dest, &bad, 0, VT_R8), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantToText(dest), u"old");
    ASSERT_EQ(VariantChangeType(&dest, &bad, 0, VT_BSTR), S_OK);  // replaces "old"
    EXPECT_EQ(VariantToText(dest), u"seventeen");
    VariantClear(&dest);
    VariantClear(&bad);
}

TEST_F(VariantChange, UnsupportedTypesAndNullArguments) {
    VARIANT array = Make(0x2003);  // an array of I4: not supported
    VARIANT out;
    VariantInit(&out);
    VARIANT number = Int(VT_I4, 1);
    EXPECT_EQ(VariantChangeType(&out, &array, 0, VT_I4), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(&out, &number, 0, 13 /* object */), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantCopy(&out, &array), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(&array), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantToText(array), u"");
    EXPECT_EQ(VariantChangeType(nullptr, &number, 0, VT_I4), E_INVALIDARG);
    EXPECT_EQ(VariantChangeType(&out, nullptr, 0, VT_I4), E_INVALIDARG);
    EXPECT_EQ(VariantCopy(nullptr, &number), E_INVALIDARG);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

// ---- Copy, clear, BSTR, task memory --------------------------------------------------------

class VariantMemory : public TaskMemoryCheck {};

TEST_F(VariantMemory, CopyIsDeepAndKeepsEmbeddedNuls) {
    const char16_t raw[] = {u'a', u'\0', u'b'};
    VARIANT src = Make(VT_BSTR);
    src.bstrVal = SysAllocStringLen(raw, 3);
    VARIANT dest = Text(u"replaced");
    ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
    ASSERT_EQ(dest.vt, VT_BSTR);
    EXPECT_NE(dest.bstrVal, src.bstrVal);
    EXPECT_EQ(SysStringLen(dest.bstrVal), 3u);
    EXPECT_EQ(VariantToText(dest), std::u16string(raw, 3));
    EXPECT_EQ(VariantCopy(&dest, &dest), S_OK);
    EXPECT_EQ(VariantClear(&src), S_OK);
    EXPECT_EQ(src.vt, VT_EMPTY);
    EXPECT_EQ(VariantToText(dest), std::u16string(raw, 3));  // the copy outlives its source
    VariantClear(&dest);

    VARIANT nullText = Make(VT_BSTR);  // a null BSTR is the empty text
    ASSERT_EQ(VariantCopy(&dest, &nullText), S_OK);
    EXPECT_EQ(VariantToText(dest), u"");
    VariantClear(&dest);
}

TEST_F(VariantMemory, VariantHolderClearsAndCopies) {
    const size_t before = CoTaskMemLiveBlocks();
    {
        Variant a = Variant::FromText(u"one");
        Variant b = a;
        Variant c = Variant::FromDouble(2);
        c = b;
        EXPECT_EQ(CoTaskMemLiveBlocks(), before + 3);
        EXPECT_EQ(VariantToText(c.get()), u"one");
        EXPECT_NE(c.get().bstrVal, a.get().bstrVal);
    }
    EXPECT_EQ(CoTaskMemLiveBlocks(), before);
}

TEST_F(VariantMemory, BstrLayout) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);

    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], u'\0');

    BSTR zeroed = SysAllocStringLen(nullptr, 3);
    ASSERT_NE(zeroed, nullptr);
    EXPECT_EQ(SysStringLen(zeroed), 3u);
    EXPECT_EQ(std::u16string(zeroed, 4), std::u16string(4, u'\0'));

    BSTR text = SysAllocStringView(u"Zähler");
    EXPECT_EQ(SysStringLen(text), 6u);
    EXPECT_EQ(std::u16string(text), u"Zähler");  // NUL-terminated as well

    EXPECT_EQ(SysAllocStringLen(u"x", 0xFFFFFFFFu), nullptr);  // beyond the length prefix
    for (BSTR b : {empty, zeroed, text})
        SysFreeString(b);
}

TEST_F(VariantMemory, TaskMemoryCountsLiveBlocks) {
    const size_t before = CoTaskMemLiveBlocks();
    void* a = CoTaskMemAlloc(16);
    void* zero = CoTaskMemAlloc(0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(zero, nullptr);
    EXPECT_NE(a, zero);
    EXPECT_EQ(CoTaskMemLiveBlocks(), before + 2);

    a = CoTaskMemRealloc(a, 4096);  // growing keeps one block
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(CoTaskMemLiveBlocks(), before + 2);
    void* fresh = CoTaskMemRealloc(nullptr, 8);  // allocates
    EXPECT_EQ(CoTaskMemLiveBlocks(), before + 3);
    EXPECT_EQ(CoTaskMemRealloc(fresh, 0), nullptr);  // frees
    EXPECT_EQ(CoTaskMemLiveBlocks(), before + 2);

    CoTaskMemFree(a);
    CoTaskMemFree(zero);
    CoTaskMemFree(nullptr);
    EXPECT_EQ(CoTaskMemLiveBlocks(), before);
}

}  // namespace
}  // namespace korva::test

// How item texts become block values, and how a step's time value becomes the thread's pause.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

#include "plugin/extended.h"
#include "plugin/item_value.h"
#include "plugin/number_format.h"
#include "plugin/simulation.h"
#include "plugin/value_table.h"

namespace virelon {
namespace {

struct DecimalCase {
    const char* text;
    bool ok;
    long double value;
};

class ParseDecimalTest : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(ParseDecimalTest, FollowsTheStrictSyntax) {
    const DecimalCase& c = GetParam();
    long double value = 12345.0L;
    EXPECT_EQ(ParseDecimal(c.text, value), c.ok) << '"' << c.text << '"';
    if (c.ok)
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    else
        EXPECT_EQ(value, 12345.0L) << "a refused text leaves the value alone";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseDecimalTest,
    ::testing::Values(
        DecimalCase{"3.14", true, 3.14L}, DecimalCase{"  -2.5  ", true, -2.5L},
        DecimalCase{"+7", true, 7.0L}, DecimalCase{".5", true, 0.5L}, DecimalCase{"5.", true, 5.0L},
        DecimalCase{"1e3", true, 1000.0L}, DecimalCase{"1E-2", true, 0.01L},
        DecimalCase{"2.5e+2", true, 250.0L}, DecimalCase{"0", true, 0.0L},
        // 80-bit precision, not double: 0.1 as the extended type rounds it
        DecimalCase{"0.1", true, 0.1L}, DecimalCase{"1.234.5", false, 0},
        DecimalCase{"1,5", false, 0}, DecimalCase{"", false, 0}, DecimalCase{"   ", false, 0},
        DecimalCase{".", false, 0}, DecimalCase{"-", false, 0}, DecimalCase{"1e", false, 0},
        DecimalCase{"1e+", false, 0}, DecimalCase{"0x10", false, 0}, DecimalCase{"INF", false, 0},
        DecimalCase{"nan", false, 0}, DecimalCase{"1 000", false, 0},
        DecimalCase{"12abc", false, 0}, DecimalCase{"\t1", false, 0},
        DecimalCase{"1e99999", false, 0}, DecimalCase{"--1", false, 0}));

struct ItemCase {
    const char16_t* text;
    VARTYPE type;
    bool ok;
    long double value;
};

class ConvertItemTextTest : public ::testing::TestWithParam<ItemCase> {};

TEST_P(ConvertItemTextTest, AppliesTheCommaAndBooleanRules) {
    const ItemCase& c = GetParam();
    long double value = 0.0L;
    const bool ok = ConvertItemText(ApplyCommaRule(c.text), c.type, value);
    EXPECT_EQ(ok, c.ok);
    if (ok) {
        EXPECT_EQ(value, c.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ConvertItemTextTest,
    ::testing::Values(ItemCase{u"True", VT_BOOL, true, BoolTrueValue},
                      ItemCase{u"TRUE", VT_BOOL, true, BoolTrueValue},
                      ItemCase{u"false", VT_BOOL, true, 0.0L}, ItemCase{u"-1", VT_BOOL, false, 0},
                      ItemCase{u"1", VT_BOOL, false, 0}, ItemCase{u" true", VT_BOOL, false, 0},
                      ItemCase{u"True", VT_R8, false, 0},  // a word is no number
                      ItemCase{u"3,14", VT_BSTR, true, 3.14L},
                      ItemCase{u"3,14", VT_R8, true, 3.14L},
                      ItemCase{u"1,234,5", VT_BSTR, false, 0},
                      ItemCase{u"1,234.5", VT_BSTR, false, 0}, ItemCase{u"", VT_BSTR, false, 0},
                      ItemCase{u"", VT_BOOL, false, 0}, ItemCase{u"42", VT_I4, true, 42.0L},
                      ItemCase{u"-7,5e1", VT_R4, true, -75.0L},
                      ItemCase{u"\u00BD", VT_R8, false, 0}));

TEST(CommaRule, ChangesOnlyTheFirstComma) {
    EXPECT_EQ(ApplyCommaRule(u"1,234,5"), u"1.234,5");
    EXPECT_EQ(ApplyCommaRule(u"3.5"), u"3.5");
    EXPECT_EQ(ApplyCommaRule(u""), u"");
}

TEST(NumberFormat, IgnoresTheProcessLocale) {
    // A host process may run with a decimal comma; the block's numbers keep the full stop.
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "no de_DE.UTF-8 locale";
    long double value = 0.0L;
    EXPECT_TRUE(ParseDecimal("3.25", value));
    EXPECT_EQ(value, 3.25L);
    EXPECT_FALSE(ParseDecimal("3,25", value));
    EXPECT_EQ(FormatInteger(-1234567), "-1234567");
    std::setlocale(LC_NUMERIC, previous.c_str());
}

struct IntegerCase {
    const char* text;
    bool ok;
    int32_t value;
};

TEST(ParseInteger, AcceptsLeadingSpacesAndASignOnly) {
    const IntegerCase cases[] = {{"0", true, 0},
                                 {"801265", true, 801265},
                                 {"  -5", true, -5},
                                 {"+12", true, 12},
                                 {"2147483647", true, INT32_MAX},
                                 {"-2147483648", true, INT32_MIN},
                                 {"2147483648", false, 0},
                                 {"-2147483649", false, 0},
                                 {"99999999999999999999", false, 0},
                                 {"5 ", false, 0},
                                 {"", false, 0},
                                 {"-", false, 0},
                                 {"1.0", false, 0},
                                 {"$FF", false, 0},
                                 {"0x10", false, 0}};
    for (const IntegerCase& c : cases) {
        int32_t value = -99;
        EXPECT_EQ(ParseInteger(c.text, value), c.ok) << '"' << c.text << '"';
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

struct DelayCase {
    long double time2;
    int32_t delay;
};

TEST(AutomaticDelay, IsHalfTheTimeInMillisecondsRoundedToEven) {
    const long double inf = std::numeric_limits<long double>::infinity();
    const DelayCase cases[] = {
        {0.1L, 50},
        {0.5L, 250},
        {static_cast<long double>(0.1), 50},  // a double time value, widened
        {0.0L, 0},
        // Exact ties in binary: 62.5, 187.5 and 312.5 go to the even neighbour.
        {0.125L, 62},
        {0.375L, 188},
        {0.625L, 312},
        {0.0031L, 2},        // 1.55 -> 2
        {0.0029L, 1},        // 1.45 -> 1
        {-0.1L, -50},        // negative: the thread treats it as 0
        {1e30L, INT32_MAX},  // saturated, never undefined
        {-1e30L, INT32_MIN},
        {inf, INT32_MAX},
        {-inf, INT32_MIN},
        {std::numeric_limits<long double>::quiet_NaN(), 0},
        {4294967.294L, INT32_MAX},  // 2147483647 exactly
    };
    for (const DelayCase& c : cases)
        EXPECT_EQ(AutomaticDelay(c.time2), c.delay) << static_cast<double>(c.time2);
}

TEST(Extended80, KeepsTheX87LayoutAndTheFixedValues) {
    const Extended80 bytes = ToExtended80(-99999.0L);
    // -99999 = -1.52586... x 2^16: biased exponent 16383 + 16 with the sign bit set.
    EXPECT_EQ(bytes[9], 0xC0);
    EXPECT_EQ(bytes[8], 0x0F);
    EXPECT_EQ(bytes[7] & 0x80, 0x80) << "explicit integer bit";
    EXPECT_EQ(FromExtended80(bytes), ReadFailedValue);
    ValueSlot slot;
    for (long double value : {ConversionFailedValue, BoolTrueValue, 0.0L, 3.14L, -1e-4000L}) {
        slot.Store(value);
        EXPECT_EQ(slot.Load(), value);
    }
}

}  // namespace
}  // namespace virelon

#include "components/numeric_text.h"

#include <gtest/gtest.h>

#include <ostream>

#include <locale.h>

#include <cmath>
#include <optional>
#include <string>

#include "components/message_flags.h"
#include "components/suite_options.h"

namespace {

// ---- Reading ----------------------------------------------------------------------------------

struct DecimalCase {
    const char* text;
    std::optional<long double> value;
};

void PrintTo(const DecimalCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class DecimalReading : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalReading, FollowsTheNumberGrammar) {
    const DecimalCase& c = GetParam();
    const std::optional<long double> read = ReadDecimalNumber(c.text);
    ASSERT_EQ(read.has_value(), c.value.has_value()) << '"' << c.text << '"';
    if (c.value) {
        EXPECT_EQ(*read, *c.value) << '"' << c.text << '"';
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecimalReading,
    ::testing::Values(DecimalCase{"", std::nullopt}, DecimalCase{"   ", std::nullopt},
                      DecimalCase{"+", std::nullopt}, DecimalCase{"-", std::nullopt},
                      DecimalCase{" -", std::nullopt}, DecimalCase{".", 0.0L},
                      DecimalCase{"E5", 0.0L}, DecimalCase{"-.", 0.0L},
                      DecimalCase{"e", std::nullopt}, DecimalCase{"1e", std::nullopt},
                      DecimalCase{"1e+", std::nullopt}, DecimalCase{"1 ", std::nullopt},
                      DecimalCase{"  -1.5", -1.5L}, DecimalCase{"\t1", std::nullopt},
                      DecimalCase{"1,5", std::nullopt}, DecimalCase{"+.5e-1", 0.05L},
                      DecimalCase{"1.5E3", 1500.0L}, DecimalCase{"7.", 7.0L},
                      DecimalCase{"- 1", std::nullopt}, DecimalCase{"0x10", std::nullopt},
                      DecimalCase{"1e5000", std::nullopt}, DecimalCase{"1e-5000", 0.0L},
                      DecimalCase{"1e4000", 1e4000L}, DecimalCase{"0.1", 0.1L},
                      DecimalCase{"1.2.3", std::nullopt}, DecimalCase{"inf", std::nullopt},
                      DecimalCase{"nan", std::nullopt}));

struct IntegerCase {
    const char* text;
    std::optional<int32_t> value;
};

void PrintTo(const IntegerCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class IntegerReading : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerReading, TakesDecimalAndHexadecimalWithin32Bits) {
    const IntegerCase& c = GetParam();
    EXPECT_EQ(ReadInteger(c.text), c.value) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Table, IntegerReading,
    ::testing::Values(IntegerCase{"42", 42}, IntegerCase{"  -42", -42}, IntegerCase{"+7", 7},
                      IntegerCase{"$1F", 31}, IntegerCase{"x1f", 31}, IntegerCase{"X1F", 31},
                      IntegerCase{"0x1F", 31}, IntegerCase{"0X1f", 31}, IntegerCase{"-$10", -16},
                      IntegerCase{"2147483647", INT32_MAX}, IntegerCase{"2147483648", std::nullopt},
                      IntegerCase{"-2147483648", INT32_MIN},
                      IntegerCase{"-2147483649", std::nullopt}, IntegerCase{"$7FFFFFFF", INT32_MAX},
                      IntegerCase{"$80000000", std::nullopt}, IntegerCase{"-$80000000", INT32_MIN},
                      IntegerCase{"99999999999999999999", std::nullopt},
                      IntegerCase{"0x", std::nullopt}, IntegerCase{"$", std::nullopt},
                      IntegerCase{"1.0", std::nullopt}, IntegerCase{"", std::nullopt},
                      IntegerCase{"-", std::nullopt}, IntegerCase{"12 ", std::nullopt},
                      IntegerCase{"00x1", std::nullopt}, IntegerCase{"0", 0},
                      IntegerCase{"$G", std::nullopt}));

// ---- The exit check ---------------------------------------------------------------------------

struct CheckCase {
    const char* label;
    bool integer;
    const char* text;
    long double minValue;
    long double maxValue;
    bool zeroAllowed;
    int code;
};

void PrintTo(const CheckCase& c, std::ostream* os) {
    *os << '"' << c.label << '"';
}

class ExitCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(ExitCheck, ReportsTheFirstFailingCheck) {
    const CheckCase& c = GetParam();
    const int code = c.integer ? CheckIntegerText(c.text, static_cast<int32_t>(c.minValue),
                                                  static_cast<int32_t>(c.maxValue), c.zeroAllowed)
                               : CheckRealText(c.text, c.minValue, c.maxValue, c.zeroAllowed);
    EXPECT_EQ(code, c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExitCheck,
    ::testing::Values(CheckCase{"EmptyIsBadFormat", false, "", 0, 0, true, 1},
                      CheckCase{"LoneMinusIsBadFormat", false, "-", 0, 0, true, 1},
                      CheckCase{"CommaIsBadFormat", false, "1,5", 0, 0, true, 1},
                      CheckCase{"NoRangeTakesAnyNumber", false, "-1e300", 0, 0, true, 0},
                      CheckCase{"ZeroBannedWithoutRange", false, "0", 0, 0, false, 4},
                      CheckCase{"ZeroPointZeroBanned", false, "0.0", 0, 0, false, 4},
                      CheckCase{"MinusZeroBanned", false, "-0", 0, 0, false, 4},
                      CheckCase{"RangeBeforeZero", false, "0", 1, 10, false, 3},
                      CheckCase{"InsideRange", false, "5", 0, 10, true, 0},
                      CheckCase{"UpperBoundIncluded", false, "10", 0, 10, true, 0},
                      CheckCase{"LowerBoundIncluded", false, "-2.5", -2.5L, 10, true, 0},
                      CheckCase{"JustAbove", false, "10.000001", 0, 10, true, 2},
                      CheckCase{"Below", false, "-3", -2.5L, 10, true, 3},
                      CheckCase{"OnlyMaxSetMakesARange", false, "-1", 0, 5, true, 3},
                      CheckCase{"OnlyMinSetMakesARange", false, "1", -5, 0, true, 2},
                      CheckCase{"InvertedBetweenGivesTooSmall", false, "7", 10, 5, true, 3},
                      CheckCase{"InvertedAboveBoth", false, "11", 10, 5, true, 2},
                      CheckCase{"InvertedBelowBoth", false, "3", 10, 5, true, 3},
                      CheckCase{"IntegerInvertedBetween", true, "7", 10, 5, true, 3},
                      CheckCase{"IntegerEmpty", true, "", 0, 0, true, 1},
                      CheckCase{"IntegerZeroBanned", true, "0", 0, 0, false, 4},
                      CheckCase{"IntegerAboveRange", true, "1001", 0, 1000, true, 2},
                      CheckCase{"IntegerLargest", true, "2147483647", 0, 0, true, 0},
                      CheckCase{"IntegerBeyond32BitsIsTooLarge", true, "9999999999", 0, 0, true, 2},
                      CheckCase{"IntegerBelow32BitsIsTooSmall", true, "-9999999999", 0, 0, true, 3},
                      CheckCase{"IntegerFractionIsBadFormat", true, "1.5", 0, 0, true, 1},
                      CheckCase{"IntegerExponentIsBadFormat", true, "1e3", 0, 0, true, 1},
                      CheckCase{"IntegerHexIsNotDecimal", true, "$10", 0, 0, true, 1}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- The value read ---------------------------------------------------------------------------

TEST(ValueRead, TakesOnlyANumberWithinAnActiveRange) {
    struct Case {
        const char* text;
        long double minValue, maxValue, expected;
    };
    const long double stored = 5;
    for (const Case& c : {Case{"7", 0, 10, 7}, Case{"11", 0, 10, stored}, Case{"10", 0, 10, 10},
                          Case{"0", 0, 10, 0}, Case{"abc", 0, 10, stored}, Case{"", 0, 0, stored},
                          Case{"-1e30", 0, 0, -1e30L}, Case{"7", 10, 5, stored}})
        EXPECT_EQ(ReadRealValue(c.text, stored, c.minValue, c.maxValue), c.expected) << c.text;

    struct IntCase {
        const char* text;
        int32_t minValue, maxValue, expected;
    };
    for (const IntCase& c : {IntCase{"7", 0, 10, 7}, IntCase{"11", 0, 10, 5},
                             IntCase{"$A", 0, 10, 10}, IntCase{"9999999999", 0, 0, 5},
                             IntCase{"1.5", 0, 0, 5}, IntCase{"-2147483648", 0, 0, INT32_MIN}})
        EXPECT_EQ(ReadIntegerValue(c.text, 5, c.minValue, c.maxValue), c.expected) << c.text;
}

// ---- Formats ----------------------------------------------------------------------------------

struct IntegerFormatCase {
    const char* format;
    int32_t value;
    bool noBlanks;
    const char* text;
};

void PrintTo(const IntegerFormatCase& c, std::ostream* os) {
    *os << '"' << c.format << '"';
}

class IntegerFormat : public ::testing::TestWithParam<IntegerFormatCase> {};

TEST_P(IntegerFormat, AppliesThePrintfFormatOrTheDefault) {
    const IntegerFormatCase& c = GetParam();
    EXPECT_EQ(IntegerValueText(c.format, c.value, c.noBlanks), c.text) << c.format;
}

INSTANTIATE_TEST_SUITE_P(
    Table, IntegerFormat,
    ::testing::Values(
        IntegerFormatCase{"%3d", 5, true, "5"}, IntegerFormatCase{"%3d", 5, false, "  5"},
        IntegerFormatCase{"%d", -7, true, "-7"}, IntegerFormatCase{"%05d", 42, true, "00042"},
        IntegerFormatCase{"%x", 255, true, "ff"}, IntegerFormatCase{"%-4d|", 3, false, "3   |"},
        IntegerFormatCase{"Wert %d ms", 5, true, "Wert 5 ms"},
        IntegerFormatCase{"%d%%", 50, true, "50%"}, IntegerFormatCase{"abc", 5, true, "abc"},
        // Unusable formats fall back to "%3d" instead of reading a missing argument.
        IntegerFormatCase{"%s", 5, false, "  5"}, IntegerFormatCase{"%n", 5, false, "  5"},
        IntegerFormatCase{"%d %d", 5, false, "  5"}, IntegerFormatCase{"%*d", 5, false, "  5"},
        IntegerFormatCase{"%", 5, false, "  5"}, IntegerFormatCase{"%2000d", 5, false, "  5"},
        IntegerFormatCase{"%f", 5, false, "  5"}));

TEST(RealFormat, AppliesTheFormatToTheExtendedValue) {
    const TQNOptions defaults;
    EXPECT_EQ(RealValueText("%16.10g", 1.5L, false, defaults), "             1.5");
    EXPECT_EQ(RealValueText("%16.10g", 1.5L, true, defaults), "1.5");
    EXPECT_EQ(RealValueText("%.3f", 2.0L / 3, true, defaults), "0.667");
    EXPECT_EQ(RealValueText("%e", 1234.5L, true, defaults), "1.234500e+03");
    EXPECT_EQ(RealValueText("%lg", 0.25L, true, defaults), "0.25");
    EXPECT_EQ(RealValueText("%Lg", 0.25L, true, defaults), "0.25");
    EXPECT_EQ(RealValueText("%5.1f V", 3.14L, false, defaults), "  3.1 V");
    // The x87 value, not a double: 19 significant digits of 1/3.
    EXPECT_EQ(RealValueText("%.19g", 1.0L / 3, true, defaults), "0.3333333333333333333");
    // Unusable formats fall back to "%16.10g".
    EXPECT_EQ(RealValueText("%d", 1.5L, true, defaults), "1.5");
    EXPECT_EQ(RealValueText("%s%s", 1.5L, true, defaults), "1.5");
}

TEST(RealFormat, DefaultInAnyCaseUsesTheSuiteFormat) {
    TQNOptions options;
    for (const char* format : {"DEFAULT", "default", "Default"})
        EXPECT_EQ(RealValueText(format, 1.5L, false, options), "1.5") << format;
    options.DefaultFloatNotation = 1;
    EXPECT_EQ(RealValueText("default", 1.5L, false, options), "1.500000000000e+00");
    options.DefaultFloatNotation = 2;
    options.DefaultFloatPrecision = 3;
    EXPECT_EQ(RealValueText("default", 1.5L, false, options), "1.500");
    options.DefaultFloatNotation = 3;
    EXPECT_EQ(RealValueText("default", 1.5L, false, options), "");
    EXPECT_EQ(FormatDefaultFloat(1.5L, options), "");
}

TEST(RealFormat, DefaultFloatUsesWidthAndPrecision) {
    TQNOptions options;
    options.DefaultFloatWidth = 44;  // "Default Float Width" 300
    options.DefaultFloatPrecision = 4;
    EXPECT_EQ(FormatDefaultFloat(3.14159265L, options), "3.142");
    options.DefaultFloatPrecision = 255;
    options.DefaultFloatNotation = 2;
    EXPECT_EQ(FormatDefaultFloat(0.5L, options).size(), 2u + 255u);
}

// A German LC_NUMERIC on this thread must not change the system's own number texts.
TEST(NumberTexts, UseTheFullStopWhateverTheLocale) {
    locale_t german = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(nullptr));
    if (!german)
        GTEST_SKIP() << "de_DE.UTF-8 is not installed (scripts/korva.sh locales)";
    const locale_t previous = uselocale(german);
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5");  // the locale is in effect
    EXPECT_EQ(ReadDecimalNumber("1.5"), 1.5L);
    EXPECT_FALSE(ReadDecimalNumber("1,5").has_value());
    EXPECT_EQ(RealValueText("%.2f", 1.5L, true, TQNOptions()), "1.50");
    EXPECT_EQ(FormatDefaultFloat(2.25L, TQNOptions()), "2.25");
    // The thread's locale is given back.
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5");
    uselocale(previous);
    freelocale(german);
}

// ---- Messages without the string-resource library ---------------------------------------------

TEST(Messages, RangeTextWithoutTheStringLibraryByteForByte) {
    const NumericMessage m = RangeMessage(true, "0", "1000", false);
    EXPECT_EQ(m.text,
              "Zul\xC3\xA4ssiger Wertebereich:\n\rvon: 0\n\rbis: 1000\r\n(Wert 0 nicht erlaubt)");
    EXPECT_EQ(m.caption, "Zul\xC3\xA4ssiger Wertebereich");
    EXPECT_EQ(m.flags, MB_ICONWARNING | MB_TASKMODAL);
    EXPECT_EQ(m.owner, MessageOwner::None);

    EXPECT_EQ(RangeMessage(false, "0", "0", true).text,
              "Zul\xC3\xA4ssiger Wertebereich:\n\rkeine Einschr\xC3\xA4nkungen");
    EXPECT_EQ(RangeMessage(false, "0", "0", false).text,
              "Zul\xC3\xA4ssiger Wertebereich:\n\rkeine Einschr\xC3\xA4nkungen\r\n(Wert 0 nicht "
              "erlaubt)");
}

TEST(Messages, RangeTextHoldsAtMost255Characters) {
    const std::string longBound(300, '9');
    const NumericMessage m = RangeMessage(true, "1", longBound, true);
    // 255 characters: "ä" is one character (two UTF-8 bytes).
    EXPECT_EQ(m.text.size(), 256u);
    EXPECT_EQ(m.text.substr(0, 44), "Zul\xC3\xA4ssiger Wertebereich:\n\rvon: 1\n\rbis: 9999");
}

TEST(Messages, ValueErrorsWithoutTheStringLibrary) {
    const char* texts[] = {"Falsches Zahlenformat", "Zahlenwert zu gro\xC3\x9F",
                           "Zahlenwert zu klein", "Zahlenwert 0 nicht erlaubt"};
    for (int code = 1; code <= 4; ++code) {
        const std::optional<NumericMessage> m = ValueErrorMessage(code);
        ASSERT_TRUE(m.has_value()) << code;
        EXPECT_EQ(m->text, texts[code - 1]);
        EXPECT_EQ(m->caption, "Fehler");
        EXPECT_EQ(m->flags, MB_ICONWARNING | MB_TASKMODAL);
        EXPECT_EQ(m->owner, MessageOwner::None);
    }
    for (int code : {0, 5, -1, 32521})
        EXPECT_FALSE(ValueErrorMessage(code).has_value()) << code;
}

}  // namespace

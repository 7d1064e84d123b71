// The item value texts of the test client: what a read text stands for, and how a value shows.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "testclient/value_text.h"

namespace {

struct ReadCase {
    const char* text;
    std::optional<double> number;
};

TEST(ReadItemNumberTest, FirstCommaIsTheDecimalSeparatorAndAnythingElseIsNoNumber) {
    const ReadCase cases[] = {
        {"3,5", 3.5},
        {"3.5", 3.5},
        {"-0,25", -0.25},
        {"42", 42.0},
        {"1e3", 1000.0},
        {"1,5E-3", 0.0015},
        {"  7", 7.0},               // leading blanks, as the number rules allow
        {"1,234.5", std::nullopt},  // thousands separator: two separators after the swap
        {"1,234,5", std::nullopt},  // only the first comma is a decimal separator
        {"", std::nullopt},
        {"TRUE", std::nullopt},
        {"False", std::nullopt},
        {"12 m", std::nullopt},
        {"7 ", std::nullopt},
        {"1e400", std::nullopt},  // beyond a double
        {"nan", std::nullopt},
        {"inf", std::nullopt},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ReadItemNumber(c.text), c.number);
    }
}

struct TextCase {
    double value;
    const char* text;
};

TEST(ItemValueTextTest, GeneralFormatWithFifteenDigitsAndAFullStop) {
    const TextCase cases[] = {
        {0.0, "0"},
        {-0.0, "0"},
        {-99999.0, "-99999"},
        {3.5, "3.5"},
        {2.5, "2.5"},
        {42.0, "42"},
        {0.1, "0.1"},
        {1.0 / 3.0, "0.333333333333333"},
        {123456789012345.0, "123456789012345"},
        {1234567890123456.0, "1.23456789012346e+15"},
        {1e20, "1e+20"},
        {0.0001, "0.0001"},
        {1e-5, "1e-05"},
        {-1.25e-10, "-1.25e-10"},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ItemValueText(c.value), c.text);
    }
}

TEST(ItemValueTextTest, IgnoresTheUsersDecimalComma) {
    // The test environment may lack a German locale; any locale with a comma shows the point.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8", "C.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) && *std::localeconv()->decimal_point == ',') {
            comma = true;
            break;
        }
    }
    EXPECT_EQ(ItemValueText(3.5), "3.5");
    EXPECT_EQ(ReadItemNumber("2.25"), 2.25);
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!comma)
        GTEST_SKIP() << "no locale with a decimal comma is installed";
}

}  // namespace

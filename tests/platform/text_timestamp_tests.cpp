#include <locale.h>

#include <ctime>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/text/text.h"
#include "tests/platform/scoped_env.h"

namespace {

using korva::test::ScopedEnv;

std::tm Moment(int hour, int minute, int second) {
    std::tm when{};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 2;  // March
    when.tm_mday = 5;
    when.tm_hour = hour;
    when.tm_min = minute;
    when.tm_sec = second;
    when.tm_wday = 2;
    when.tm_yday = 64;
    return when;
}

bool Installed(const char* name) {
    const locale_t locale = newlocale(LC_TIME_MASK, name, nullptr);
    if (!locale)
        return false;
    freelocale(locale);
    return true;
}

struct StampCase {
    const char* name;
    const char* locale;
    std::tm when;
    const char* expected;
};
void PrintTo(const StampCase& c, std::ostream* out) {
    *out << c.name;
}

class Timestamp : public ::testing::TestWithParam<StampCase> {};

TEST_P(Timestamp, ShortDateBlankLongTimeOrTheDateAloneAtMidnight) {
    const StampCase& c = GetParam();
    if (!Installed(c.locale))
        GTEST_SKIP() << c.locale << " is not installed; run scripts/korva.sh locales";
    ScopedEnv all("LC_ALL", std::nullopt);
    ScopedEnv time("LC_TIME", c.locale);
    EXPECT_EQ(LocaleTimestamp(c.when), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Text, Timestamp,
    ::testing::Values(
        StampCase{"German", "de_DE.UTF-8", Moment(14, 7, 9), "05.03.2024 14:07:09"},
        StampCase{"GermanMidnight", "de_DE.UTF-8", Moment(0, 0, 0), "05.03.2024"},
        StampCase{"GermanOneSecondPast", "de_DE.UTF-8", Moment(0, 0, 1), "05.03.2024 00:00:01"},
        StampCase{"English", "en_US.UTF-8", Moment(14, 7, 9), "03/05/2024 02:07:09 PM"},
        StampCase{"EnglishMidnight", "en_US.UTF-8", Moment(0, 0, 0), "03/05/2024"},
        StampCase{"EnglishHalfPastMidnight", "en_US.UTF-8", Moment(0, 30, 0),
                  "03/05/2024 12:30:00 AM"},
        StampCase{"C", "C", Moment(23, 59, 59), "03/05/24 23:59:59"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TimestampLocale, ChosenFromTheEnvironmentWithoutTouchingTheProcessLocale) {
    if (!Installed("de_DE.UTF-8") || !Installed("en_US.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 and en_US.UTF-8 are needed; run scripts/korva.sh locales";
    const std::string processLocale = setlocale(LC_ALL, nullptr);
    struct Environment {
        std::optional<std::string> all, time, lang;
        const char* expected;
    };
    const Environment cases[] = {
        {"de_DE.UTF-8", "en_US.UTF-8", "en_US.UTF-8", "05.03.2024 14:07:09"},  // LC_ALL first
        {std::nullopt, "en_US.UTF-8", "de_DE.UTF-8", "03/05/2024 02:07:09 PM"},
        {std::nullopt, std::nullopt, "de_DE.UTF-8", "05.03.2024 14:07:09"},
        {"", "", "en_US.UTF-8", "03/05/2024 02:07:09 PM"},  // empty values do not count
        {std::nullopt, std::nullopt, std::nullopt, "03/05/24 14:07:09"},
        {std::nullopt, "xx_XX.UTF-8", std::nullopt, "03/05/24 14:07:09"},  // not installed: C
    };
    for (const Environment& c : cases) {
        ScopedEnv all("LC_ALL", c.all);
        ScopedEnv time("LC_TIME", c.time);
        ScopedEnv lang("LANG", c.lang);
        EXPECT_EQ(LocaleTimestamp(Moment(14, 7, 9)), c.expected)
            << c.all.value_or("-") << " " << c.time.value_or("-") << " " << c.lang.value_or("-");
    }
    EXPECT_EQ(setlocale(LC_ALL, nullptr), processLocale);
}

TEST(TimestampRange, FieldsOutOfRangeAreCarriedOver) {
    ScopedEnv all("LC_ALL", "C");
    std::tm when = Moment(14, 7, 9);
    when.tm_mon = 13;   // February of the next year
    when.tm_wday = 99;  // not set by the caller
    when.tm_yday = -1;
    EXPECT_EQ(LocaleTimestamp(when), "02/05/25 14:07:09");
    when = Moment(23, 59, 60);  // one second past the end of the day
    when.tm_min = 60;
    EXPECT_EQ(LocaleTimestamp(when), "03/06/24 00:01:00");
}

TEST(TimestampNow, IsTheTimestampOfTheCurrentLocalTime) {
    ScopedEnv all("LC_ALL", "C");
    const auto stamp = [](time_t t) {
        std::tm local{};
        localtime_r(&t, &local);
        return LocaleTimestamp(local);
    };
    const time_t before = time(nullptr);
    const std::string now = LocaleTimestampNow();
    const time_t after = time(nullptr);
    EXPECT_TRUE(now == stamp(before) || now == stamp(after)) << now;
}

}  // namespace

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/text/text.h"
#include "tests/platform/scoped_env.h"

namespace {

using korva::test::ScopedEnv;

struct PageCase {
    const char* name;
    std::optional<std::string> codePage;  // KORVA_CODEPAGE; nullopt: unset
    std::u16string text;
    std::string ansi;
    bool roundTrip;  // false: the text has characters without an ANSI form
};
void PrintTo(const PageCase& c, std::ostream* out) {
    *out << c.name;
}

class CodePage : public ::testing::TestWithParam<PageCase> {};

TEST_P(CodePage, ConvertsBetweenUtf16AndTheSystemCodePage) {
    const PageCase& c = GetParam();
    ScopedEnv page("KORVA_CODEPAGE", c.codePage);
    EXPECT_EQ(Utf16ToAnsi(c.text), c.ansi);
    EXPECT_EQ(Utf8ToAnsi(Utf16ToUtf8(c.text)), c.ansi);
    if (c.roundTrip) {
        EXPECT_EQ(AnsiToUtf16(c.ansi), c.text);
        EXPECT_EQ(AnsiToUtf8(c.ansi), Utf16ToUtf8(c.text));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Text, CodePage,
    ::testing::Values(
        PageCase{"Empty", std::nullopt, u"", "", true},
        PageCase{"Ascii", std::nullopt, u"Random.Int4 = 42", "Random.Int4 = 42", true},
        PageCase{"EmbeddedNul", std::nullopt, std::u16string(u"a\0b", 3), std::string("a\0b", 3),
                 true},
        PageCase{"Umlauts", std::nullopt, u"Grüße",
                 "Gr\xFC\xDF"
                 "e",
                 true},
        PageCase{"EuroAndDash", std::nullopt, u"5 € — ok", "5 \x80 \x97 ok", true},
        PageCase{"GreekHasNoForm", std::nullopt, u"Ωmega", "?mega", false},
        PageCase{"SurrogatePairIsOneCharacter", std::nullopt, u"a😀b", "a?b", false},
        PageCase{"LoneSurrogates", std::nullopt,
                 u"a\xD800"
                 u"b\xDC00",
                 "a?b?", false},
        PageCase{"Cp1251", "CP1251", u"Привет", "\xCF\xF0\xE8\xE2\xE5\xF2", true},
        PageCase{"Cp1251HasNoUmlaut", "CP1251", u"für", "f?r", false},
        PageCase{"Iso8859_5", "ISO-8859-5", u"Привет", "\xBF\xE0\xD8\xD2\xD5\xE2", true},
        PageCase{"UnknownPageMeansWindows1252", "NO-SUCH-PAGE", u"Grüße €",
                 "Gr\xFC\xDF"
                 "e \x80",
                 true},
        PageCase{"EmptyNameMeansWindows1252", "", u"ü", "\xFC", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CodePageName, DefaultOrTheNamedPage) {
    {
        ScopedEnv page("KORVA_CODEPAGE", std::nullopt);
        EXPECT_EQ(AnsiCodePage(), "WINDOWS-1252");
    }
    {
        ScopedEnv page("KORVA_CODEPAGE", "CP1251");
        EXPECT_EQ(AnsiCodePage(), "CP1251");
    }
    {
        ScopedEnv page("KORVA_CODEPAGE", "NO-SUCH-PAGE");
        EXPECT_EQ(AnsiCodePage(), "WINDOWS-1252");
    }
}

TEST(CodePageInvalidInput, BytesWithoutMeaningBecomeReplacementCharacters) {
    ScopedEnv page("KORVA_CODEPAGE", std::nullopt);
    // 0x81 and 0x8D are unassigned in Windows-1252.
    EXPECT_EQ(AnsiToUtf16("a\x81"
                          "b\x8D"),
              u"a\uFFFD"
              u"b\uFFFD");
    {
        ScopedEnv cyrillic("KORVA_CODEPAGE", "CP1251");
        EXPECT_EQ(AnsiToUtf16("\x98"), u"\uFFFD");
    }
}

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::u16string text;
};

TEST(Utf8, ConvertsBothWaysAndReplacesWhatIsNotValid) {
    const Utf8Case valid[] = {
        {"empty", "", u""},
        {"mixed",
         "Gr\xC3\xBC\xC3\x9F"
         "e \xE2\x82\xAC \xF0\x9F\x98\x80",
         u"Grüße € 😀"},
        {"nul", std::string("x\0y", 3), std::u16string(u"x\0y", 3)},
    };
    for (const Utf8Case& c : valid) {
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.text) << c.name;
        EXPECT_EQ(Utf16ToUtf8(c.text), c.utf8) << c.name;
    }
    const Utf8Case invalid[] = {
        {"stray byte",
         "a\xFF"
         "b",
         u"a\uFFFD"
         u"b"},
        {"cut at the end", "ok\xC3", u"ok\uFFFD"},
        {"overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
    };
    for (const Utf8Case& c : invalid)
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.text) << c.name;
    EXPECT_EQ(Utf16ToUtf8(u"a\xD800"
                          u"b"),
              "a\xEF\xBF\xBD"
              "b");
}

TEST(CodePageLongText, ConvertsTextsLongerThanAnyFirstGuessOfTheBuffer) {
    ScopedEnv page("KORVA_CODEPAGE", std::nullopt);
    std::u16string text;
    std::string ansi;
    for (int i = 0; i < 5000; ++i) {
        text += u"€ü";
        ansi += "\x80\xFC";
    }
    EXPECT_EQ(Utf16ToAnsi(text), ansi);
    EXPECT_EQ(AnsiToUtf16(ansi), text);
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
}

// Every acquisition thread converts item texts of its own; conversions keep their state per thread.
TEST(CodePageThreads, ConcurrentConversionsAgree) {
    ScopedEnv page("KORVA_CODEPAGE", std::nullopt);
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (size_t t = 0; t < mismatches.size(); ++t) {
        threads.emplace_back([&mismatches, t] {
            for (int i = 0; i < 500; ++i) {
                const std::u16string text = u"Kanal " + Utf8ToUtf16(std::to_string(i)) + u" °C €";
                if (AnsiToUtf16(Utf16ToAnsi(text)) != text)
                    ++mismatches[t];
                if (Utf8ToUtf16(Utf16ToUtf8(text)) != text)
                    ++mismatches[t];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (size_t t = 0; t < mismatches.size(); ++t)
        EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace

// The string-resource loader against one fixture library. The executable is built once per
// fixture variant (QN_STRINGS_VARIANT), each run with that variant's folder on the loader's
// search path, since the library is found by bare name.
#include <gtest/gtest.h>

#include <string>

#include "components/message_flags.h"
#include "components/numeric_text.h"
#include "components/string_resources.h"
#include "tests/components/suite_version_printer.h"

namespace {

const std::string kVariant = QN_STRINGS_VARIANT;
const std::string kLong =
    "Wrong number format " +
    std::string(
        "0123456789012345678901234567890123456789012345678901234567890123456789"
        "0123456789012345678901234567890123456789012345678901234567890123456789"
        "0123456789012345678901234567890123456789012345678901234567890123456789"
        "0123456789012345678901234567890123456789012345678901234567890123456789");

struct Expected {
    bool loaded;
    std::string text1553;  // ResString(1553)
    std::string text1002;
    std::string formatErrorText;  // the message of exit-check code 1
    std::string formatErrorCaption;
    std::string tooLargeText;  // code 2
    std::string tooLargeCaption;
};

Expected ExpectedOfVariant() {
    const std::string missing = "String-Resource nicht gefunden!";
    if (kVariant == "complete")
        return {true,    "Wrong number format", "Error", "Wrong number format",
                "Error", "Number too large",    "Error"};
    if (kVariant == "partial")
        return {true, "", "", missing, "Fehler", missing, "Fehler"};
    if (kVariant == "long")
        return {true,    kLong.substr(0, 255), "Error", kLong.substr(0, 255),
                "Error", "Number too large",   "Error"};
    // absent
    return {false,   "", "", "Falsches Zahlenformat", "Fehler", "Zahlenwert zu gro\xC3\x9F",
            "Fehler"};
}

class StringLibraryTest : public ::testing::TestWithParam<SuiteVersion> {
  protected:
    void SetUp() override { loaded_ = LoadSuiteStringLibrary(GetParam()); }
    void TearDown() override {
        FreeSuiteStringLibrary();
        EXPECT_EQ(StringLibrary, nullptr);
    }
    bool loaded_ = false;
    const Expected expected_ = ExpectedOfVariant();
};

TEST_P(StringLibraryTest, LoadsByBareNameWhenPresent) {
    EXPECT_EQ(loaded_, expected_.loaded);
    EXPECT_EQ(StringLibrary != nullptr, expected_.loaded);
}

TEST_P(StringLibraryTest, FetchesThroughA256CharacterBuffer) {
    EXPECT_EQ(ResString(1553), expected_.text1553);
    EXPECT_EQ(ResString(1002), expected_.text1002);
    EXPECT_EQ(ResString(4711), "");  // a number no library has
}

TEST_P(StringLibraryTest, LoadResTextCutsToTheBufferAndEmptiesOnMissing) {
    char narrow[5] = "xxxx";
    char16_t wide[5] = u"xxxx";
    EXPECT_EQ(LoadResText(1011, narrow, 5), narrow);
    EXPECT_EQ(LoadResText(1011, wide, 5), wide);
    EXPECT_EQ(std::string(narrow), expected_.loaded ? "Perm" : "");
    EXPECT_EQ(std::u16string(wide), expected_.loaded ? u"Perm" : u"");
    LoadResText(4711, narrow, 5);
    EXPECT_STREQ(narrow, "");
    char one[1] = {'x'};
    LoadResText(1011, one, 1);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(LoadResText(1011, static_cast<char*>(nullptr), 5), nullptr);
}

TEST_P(StringLibraryTest, ValueErrorMessagesUseTheLibraryOrTheFallback) {
    const std::optional<NumericMessage> format = ValueErrorMessage(NumericBadFormat);
    ASSERT_TRUE(format.has_value());
    EXPECT_EQ(format->text, expected_.formatErrorText);
    EXPECT_EQ(format->caption, expected_.formatErrorCaption);
    const std::optional<NumericMessage> large = ValueErrorMessage(NumericTooLarge);
    ASSERT_TRUE(large.has_value());
    EXPECT_EQ(large->text, expected_.tooLargeText);
    EXPECT_EQ(large->caption, expected_.tooLargeCaption);
    if (expected_.loaded) {
        EXPECT_EQ(format->flags, MB_ICONWARNING);
        EXPECT_EQ(format->owner, MessageOwner::Application);
    } else {
        EXPECT_EQ(format->flags, MB_ICONWARNING | MB_TASKMODAL);
        EXPECT_EQ(format->owner, MessageOwner::None);
    }
}

TEST_P(StringLibraryTest, RangeMessageIsComposedFromTheLibraryTexts) {
    const NumericMessage ranged = RangeMessage(true, "0", "1000", false);
    const NumericMessage open = RangeMessage(false, "0", "0", true);
    if (!expected_.loaded) {
        EXPECT_EQ(ranged.caption, "Zul\xC3\xA4ssiger Wertebereich");
        return;
    }
    EXPECT_EQ(ranged.text, "Permitted range:\n\rfrom: 0\n\rto: 1000\r\n(value 0 not allowed)");
    EXPECT_EQ(ranged.caption, "Permitted range");
    EXPECT_EQ(ranged.flags, MB_ICONWARNING);
    EXPECT_EQ(ranged.owner, MessageOwner::Field);
    EXPECT_EQ(open.text, "Permitted range:\n\rno restrictions");
}

TEST_P(StringLibraryTest, ResMessageBoxFallsBackWhenTextOrCaptionIsMissing) {
    const ResMessageTexts both = ResMessageBoxTexts(1554, 1011);
    if (expected_.loaded) {
        EXPECT_EQ(both.text, "Number too large");
        EXPECT_EQ(both.caption, "Permitted range");
    } else {  // nothing can be fetched without a library
        EXPECT_EQ(both.text, "String-Resource nicht gefunden!");
        EXPECT_EQ(both.caption, "Fehler");
    }
    const ResMessageTexts noText = ResMessageBoxTexts(4711, 1011);
    EXPECT_EQ(noText.text, "String-Resource nicht gefunden!");
    EXPECT_EQ(noText.caption, "Fehler");
    const ResMessageTexts noCaption = ResMessageBoxTexts(1554, 4711);
    EXPECT_EQ(noCaption.text, "String-Resource nicht gefunden!");
    EXPECT_EQ(noCaption.caption, "Fehler");
}

// The variant names the instantiation, so the executables' test names differ.
#define QN_INSTANTIATE(prefix, ...) INSTANTIATE_TEST_SUITE_P(prefix, __VA_ARGS__)
QN_INSTANTIATE(QN_STRINGS_VARIANT_NAME, StringLibraryTest,
               ::testing::Values(SuiteVersion::Quintor7, SuiteVersion::Quintor8),
               [](const auto& info) {
                   return info.param == SuiteVersion::Quintor7 ? std::string("Narrow7")
                                                               : std::string("Wide8");
               });

}  // namespace

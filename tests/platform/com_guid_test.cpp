#include <gtest/gtest.h>

#include "tests/platform/com_test_support.h"

namespace korva::test {
namespace {

constexpr GUID kSample = MakeGuid("13486D51-4821-11D2-A494-3CB306C10000");

class GuidText : public TaskMemoryCheck {};

TEST_F(GuidText, RegistryFormIsUpperCaseWithBraces) {
    EXPECT_EQ(GuidToAnsi(kSample), "{13486D51-4821-11D2-A494-3CB306C10000}");
    EXPECT_EQ(GuidToString(kSample), u"{13486D51-4821-11D2-A494-3CB306C10000}");
    EXPECT_EQ(GuidToAnsi(GUID_NULL), "{00000000-0000-0000-0000-000000000000}");
}

TEST_F(GuidText, RoundTripsEveryByte) {
    // Each field at its extremes, so a byte-order or shift slip shows.
    const GUID samples[] = {kSample, GUID_NULL, MakeGuid("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"),
                            MakeGuid("01234567-89AB-CDEF-0123-456789ABCDEF"),
                            MakeGuid("80000001-8001-0180-80FF-0102030405F0")};
    for (const GUID& g : samples) {
        EXPECT_EQ(GuidFromAnsi(GuidToAnsi(g)), g) << GuidToAnsi(g);
        EXPECT_EQ(GuidFromString(GuidToString(g)), g) << GuidToAnsi(g);
    }
}

TEST_F(GuidText, AcceptsEitherLetterCase) {
    EXPECT_EQ(GuidFromAnsi("{13486d51-4821-11d2-a494-3cb306c10000}"), kSample);
    EXPECT_EQ(GuidFromAnsi("{13486d51-4821-11D2-a494-3Cb306C10000}"), kSample);
}

struct MalformedCase {
    const char* name;
    std::u16string text;
};

class MalformedGuid : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedGuid, IsRefused) {
    const std::u16string& text = GetParam().text;
    EXPECT_FALSE(GuidFromString(text));
    EXPECT_FALSE(GuidFromAnsi(Utf16ToUtf8(text)));
    CLSID clsid = kSample;
    EXPECT_EQ(CLSIDFromString(text.c_str(), &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, GUID_NULL);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MalformedGuid,
    ::testing::Values(
        MalformedCase{"Empty", u""},
        MalformedCase{"NoBraces", u"13486D51-4821-11D2-A494-3CB306C10000"},
        MalformedCase{"OpeningBraceOnly", u"{13486D51-4821-11D2-A494-3CB306C10000"},
        MalformedCase{"ParenthesesForBraces", u"(13486D51-4821-11D2-A494-3CB306C10000)"},
        MalformedCase{"DigitMissing", u"{13486D51-4821-11D2-A494-3CB306C1000}"},
        MalformedCase{"DigitTooMany", u"{13486D51-4821-11D2-A494-3CB306C100000}"},
        MalformedCase{"HyphenMoved", u"{13486D5-14821-11D2-A494-3CB306C10000}"},
        MalformedCase{"HyphenMissing", u"{13486D51-4821-11D2-A4943-CB306C10000}"},
        MalformedCase{"NotHexadecimal", u"{13486D51-4821-11D2-A494-3CB306C1000G}"},
        MalformedCase{"Blank", u"{13486D51-4821-11D2-A494-3CB306C1000 }"},
        MalformedCase{"LeadingBlank", u" {13486D51-4821-11D2-A494-3CB306C10000}"},
        MalformedCase{"SignInField", u"{+3486D51-4821-11D2-A494-3CB306C10000}"},
        MalformedCase{"NonAsciiDigit", u"{13486D51-4821-11D2-A494-3CB306C1000\uFF10}"},
        MalformedCase{"ProgId", u"OPCSim.Server.1"}),
    [](const auto& info) { return info.param.name; });

TEST_F(GuidText, StringFromClsidHandsOutTaskMemory) {
    const size_t before = CoTaskMemLiveBlocks();
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(kSample, &text), S_OK);
    EXPECT_EQ(std::u16string(text), u"{13486D51-4821-11D2-A494-3CB306C10000}");
    EXPECT_EQ(CoTaskMemLiveBlocks(), before + 1);
    CLSID parsed{};
    EXPECT_EQ(CLSIDFromString(text, &parsed), S_OK);
    EXPECT_EQ(parsed, kSample);
    CoTaskMemFree(text);
}

TEST_F(GuidText, NullArgumentsAreInvalid) {
    CLSID clsid{};
    EXPECT_EQ(StringFromCLSID(kSample, nullptr), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromString(nullptr, &clsid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromString(u"{13486D51-4821-11D2-A494-3CB306C10000}", nullptr), E_INVALIDARG);
}

TEST(ResultNames, NamePlatformCodes) {
    EXPECT_EQ(HResultName(CO_S_NOTALLINTERFACES), "CO_S_NOTALLINTERFACES");
    EXPECT_EQ(CO_S_NOTALLINTERFACES, 0x00080012);
    EXPECT_TRUE(SUCCEEDED(CO_S_NOTALLINTERFACES));
    EXPECT_EQ(DescribeHResult(RPC_S_SERVER_UNAVAILABLE_HR),
              "RPC_S_SERVER_UNAVAILABLE (0x800706BA): The RPC server is unavailable");
}

}  // namespace
}  // namespace korva::test

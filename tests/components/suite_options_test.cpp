#include "components/suite_options.h"

#include <gtest/gtest.h>

#include <ostream>

#include <functional>
#include <optional>

#include "platform/kernel/kernel.h"
#include "platform/registry/registry.h"
#include "tests/support/private_registry.h"

namespace {

constexpr const char* kGeneral = "General Settings";

class SuiteOptionsTest : public ::testing::Test {
  protected:
    // Writes one value under "<settings key>\General Settings" of `version`.
    static void Store(SuiteVersion version, const char* name, const RegValue& value) {
        TRegistry registry(KEY_ALL_ACCESS);
        registry.SetRootKey(HKEY_CURRENT_USER);
        ASSERT_TRUE(
            registry.OpenKey(std::string(SuiteSettingsKey(version)) + "\\" + kGeneral, true));
        ASSERT_TRUE(registry.WriteValue(name, value));
    }

    korva::test::PrivateRegistry registry_;
};

TEST_F(SuiteOptionsTest, EmptyRegistryGivesDefaultsAndCreatesTheEmptySettingsKey) {
    const TQNOptions options = ReadSuiteOptions(SuiteVersion::Quintor7);
    const TQNOptions defaults;
    EXPECT_FALSE(options.AutoInfoOpen);
    EXPECT_TRUE(options.AutoInfoSave);
    EXPECT_EQ(options.DefaultUser, "");
    EXPECT_EQ(options.DefaultDepartment, "");
    EXPECT_EQ(options.TempPath, GetTempPath());
    EXPECT_FALSE(options.TempPath.empty());
    EXPECT_EQ(options.TempPath.back(), '/');
    EXPECT_EQ(options.DefaultLineWidth, 2);
    EXPECT_EQ(options.DefaultGridMode, 0);
    EXPECT_EQ(options.DefaultFloatWidth, 16);
    EXPECT_EQ(options.DefaultFloatPrecision, 12);
    EXPECT_EQ(options.DefaultFloatNotation, 0);
    EXPECT_TRUE(options.TooltipHelp);
    EXPECT_FALSE(options.CreateBakFiles);
    const int32_t colors[16] = {0,        16711680, 8388736,  32768,   8421376, 128,
                                255,      32896,    65535,    8388608, 8421504, 65280,
                                16776960, 16711935, 12632256, 16777215};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(options.DefaultColors[i], colors[i]) << "colour " << i;

    TRegistry check(KEY_READ);
    check.SetRootKey(HKEY_CURRENT_USER);
    ASSERT_TRUE(check.OpenKeyReadOnly(SuiteSettingsKey(SuiteVersion::Quintor7)));
    EXPECT_TRUE(check.GetKeyNames().empty());
    EXPECT_TRUE(check.GetValueNames().empty());
    // The other version's key is not touched.
    TRegistry other(KEY_READ);
    other.SetRootKey(HKEY_CURRENT_USER);
    EXPECT_FALSE(other.KeyExists(SuiteSettingsKey(SuiteVersion::Quintor8)));
}

struct StoredCase {
    const char* label;
    const char* name;
    RegValue value;
    std::function<int64_t(const TQNOptions&)> field;
    int64_t expected;
};

void PrintTo(const StoredCase& c, std::ostream* os) {
    *os << '"' << c.label << '"';
}

RegValue Sz(const char* text) {
    RegValue v;
    v.type = REG_SZ;
    v.text = text;
    return v;
}
RegValue Typed(RegType type, uint64_t number) {
    RegValue v;
    v.type = type;
    v.number = number;
    return v;
}
RegValue Binary() {
    RegValue v;
    v.type = REG_BINARY;
    v.data = {1, 2, 3, 4};
    return v;
}

class StoredValues : public SuiteOptionsTest, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(StoredValues, AreReadAsTheFieldsRuleSays) {
    const StoredCase& c = GetParam();
    Store(SuiteVersion::Quintor8, c.name, c.value);
    EXPECT_EQ(c.field(ReadSuiteOptions(SuiteVersion::Quintor8)), c.expected);
}

auto FloatWidth = [](const TQNOptions& o) -> int64_t { return o.DefaultFloatWidth; };
auto Tooltip = [](const TQNOptions& o) -> int64_t { return o.TooltipHelp; };
auto AutoOpen = [](const TQNOptions& o) -> int64_t { return o.AutoInfoOpen; };
auto LineWidth = [](const TQNOptions& o) -> int64_t { return o.DefaultLineWidth; };
auto Precision = [](const TQNOptions& o) -> int64_t { return o.DefaultFloatPrecision; };
auto Color3 = [](const TQNOptions& o) -> int64_t { return o.DefaultColors[3]; };
auto Color15 = [](const TQNOptions& o) -> int64_t { return o.DefaultColors[15]; };

INSTANTIATE_TEST_SUITE_P(
    Table, StoredValues,
    ::testing::Values(
        StoredCase{"WidthKeepsTheLowEightBits", "Default Float Width", Sz("300"), FloatWidth, 44},
        StoredCase{"TooltipZeroIsFalse", "Tooltip Help", Sz("0"), Tooltip, 0},
        StoredCase{"TooltipTwoIsTrue", "Tooltip Help", Sz("2"), Tooltip, 1},
        StoredCase{"TooltipYesIsNotANumber", "Tooltip Help", Sz("yes"), Tooltip, 1},
        StoredCase{"NegativeBooleanIsTrue", "Auto Info Open", Sz("-1"), AutoOpen, 1},
        StoredCase{"NegativeByte", "Default Float Precision", Sz("-1"), Precision, 255},
        StoredCase{"LeadingBlanks", "Default Line Width", Sz("  7"), LineWidth, 7},
        StoredCase{"TrailingBlankIsNotAnInteger", "Default Line Width", Sz("7 "), LineWidth, 2},
        StoredCase{"EmptyText", "Default Line Width", Sz(""), LineWidth, 2},
        StoredCase{"HexadecimalIsNotDecimal", "Default Line Width", Sz("$10"), LineWidth, 2},
        StoredCase{"Colour", "Default Color 3", Sz("123456"), Color3, 123456},
        StoredCase{"ColourBeyond32Bits", "Default Color 3", Sz("99999999999"), Color3, 32768},
        StoredCase{"DwordIsItsNumber", "Default Float Width", Typed(REG_DWORD, 300), FloatWidth,
                   44},
        StoredCase{"DwordBooleanZero", "Tooltip Help", Typed(REG_DWORD, 0), Tooltip, 0},
        StoredCase{"DwordAllBitsColour", "Default Color 15", Typed(REG_DWORD, 0xFFFFFFFF), Color15,
                   -1},
        StoredCase{"QwordWithin32Bits", "Default Color 3", Typed(REG_QWORD, 77), Color3, 77},
        StoredCase{"QwordBeyond32Bits", "Default Color 3", Typed(REG_QWORD, 1ull << 40), Color3,
                   32768},
        StoredCase{"BinaryGivesDefault", "Default Line Width", Binary(), LineWidth, 2}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(SuiteOptionsTest, TextFieldsTakeTextValuesOnly) {
    Store(SuiteVersion::Quintor7, "Default User", Sz("Anna Förster"));
    Store(SuiteVersion::Quintor7, "Temp Path", Sz("/srv/scratch/"));
    Store(SuiteVersion::Quintor7, "Default Department", Typed(REG_DWORD, 5));
    const TQNOptions options = ReadSuiteOptions(SuiteVersion::Quintor7);
    EXPECT_EQ(options.DefaultUser, "Anna Förster");
    EXPECT_EQ(options.TempPath, "/srv/scratch/");
    EXPECT_EQ(options.DefaultDepartment, "");
}

TEST_F(SuiteOptionsTest, EachVersionReadsOnlyItsOwnKey) {
    Store(SuiteVersion::Quintor7, "Default Float Width", Sz("20"));
    Store(SuiteVersion::Quintor8, "Default Float Width", Sz("30"));
    Store(SuiteVersion::Quintor8, "Default User", Sz("plug-in user"));
    EXPECT_EQ(ReadSuiteOptions(SuiteVersion::Quintor7).DefaultFloatWidth, 20);
    EXPECT_EQ(ReadSuiteOptions(SuiteVersion::Quintor7).DefaultUser, "");
    EXPECT_EQ(ReadSuiteOptions(SuiteVersion::Quintor8).DefaultFloatWidth, 30);
    EXPECT_EQ(ReadSuiteOptions(SuiteVersion::Quintor8).DefaultUser, "plug-in user");
    EXPECT_STREQ(SuiteSettingsKey(SuiteVersion::Quintor7), "Software\\Felmaran\\Quintor 7");
    EXPECT_STREQ(SuiteSettingsKey(SuiteVersion::Quintor8), "Software\\Felmaran\\Quintor 8");
}

TEST_F(SuiteOptionsTest, SettingsKeyThatRefusesFullAccessIsStillRead) {
    Store(SuiteVersion::Quintor7, "Default Float Precision", Sz("6"));
    TRegistry registry(KEY_ALL_ACCESS);
    registry.SetRootKey(HKEY_CURRENT_USER);
    ASSERT_TRUE(
        registry.SetKeyAccess(SuiteSettingsKey(SuiteVersion::Quintor7), KeyAccess::ReadOnly));
    EXPECT_EQ(ReadSuiteOptions(SuiteVersion::Quintor7).DefaultFloatPrecision, 6);
}

TEST_F(SuiteOptionsTest, LoadFillsTheGlobalRecordAndReleaseRestoresDefaults) {
    Store(SuiteVersion::Quintor7, "Default User", Sz("operator"));
    Store(SuiteVersion::Quintor7, "Default Float Notation", Sz("2"));
    LoadSuiteOptions(SuiteVersion::Quintor7);
    EXPECT_EQ(SuiteOptions.DefaultUser, "operator");
    EXPECT_EQ(SuiteOptions.DefaultFloatNotation, 2);
    ReleaseSuiteOptions();
    EXPECT_EQ(SuiteOptions.DefaultUser, "");
    EXPECT_EQ(SuiteOptions.DefaultFloatNotation, 0);
}

}  // namespace

#include "components/qncomps_library.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "components/string_resources.h"
#include "components/suite_options.h"
#include "platform/registry/registry.h"
#include "tests/components/suite_version_printer.h"
#include "tests/support/private_registry.h"

namespace {

class LibraryTest : public ::testing::Test {
  protected:
    void TearDown() override { QnCompsFinalize(); }
    korva::test::PrivateRegistry registry_;
};

TEST_F(LibraryTest, StartSetsUpTheUnitAndEndReleasesIt) {
    {
        TRegistry registry(KEY_ALL_ACCESS);
        registry.SetRootKey(HKEY_CURRENT_USER);
        ASSERT_TRUE(registry.OpenKey("Software\\Felmaran\\Quintor 8\\General Settings", true));
        ASSERT_TRUE(registry.WriteString("Default Float Precision", "5"));
        ASSERT_TRUE(registry.WriteString("Default User", "block author"));
    }
    const std::string localeBefore = std::setlocale(LC_ALL, nullptr);

    ASSERT_TRUE(QnCompsInitialize(SuiteVersion::Quintor8));
    EXPECT_TRUE(QnCompsInitialized());
    EXPECT_EQ(QnCompsSuiteVersion(), SuiteVersion::Quintor8);
    ASSERT_NE(ConversionNames, nullptr);
    ASSERT_NE(ConversionFactors, nullptr);
    EXPECT_TRUE(ConversionNames->empty());
    EXPECT_EQ(ConversionFactors->Count(), 0);
    EXPECT_EQ(SuiteOptions.DefaultFloatPrecision, 5);
    EXPECT_EQ(SuiteOptions.DefaultUser, "block author");
    EXPECT_EQ(StringLibrary, nullptr);  // no string library on this test's search path
    // The host's locale stays as it was.
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), localeBefore);
    // A second start changes nothing.
    EXPECT_FALSE(QnCompsInitialize(SuiteVersion::Quintor7));
    EXPECT_EQ(QnCompsSuiteVersion(), SuiteVersion::Quintor8);

    ConversionFactors->Add(new TExtended(25.4L));  // freed by the end
    ConversionNames->push_back("inch");
    QnCompsFinalize();
    EXPECT_FALSE(QnCompsInitialized());
    EXPECT_EQ(ConversionNames, nullptr);
    EXPECT_EQ(ConversionFactors, nullptr);
    EXPECT_EQ(SuiteOptions.DefaultUser, "");
    EXPECT_EQ(SuiteOptions.DefaultFloatPrecision, 12);
    QnCompsFinalize();  // a second end is harmless
}

TEST_F(LibraryTest, GuardStartsAndEndsOnlyWhatItStarted) {
    {
        QnCompsLibrary outer(SuiteVersion::Quintor7);
        EXPECT_TRUE(QnCompsInitialized());
        {
            QnCompsLibrary inner(SuiteVersion::Quintor8);
            EXPECT_EQ(QnCompsSuiteVersion(), SuiteVersion::Quintor7);
        }
        EXPECT_TRUE(QnCompsInitialized());
        EXPECT_NE(ConversionFactors, nullptr);
    }
    EXPECT_FALSE(QnCompsInitialized());
}

}  // namespace

// The pieces of `opc` that turn texts into values and back, and its command line.
#include <gtest/gtest.h>

#include <cmath>

#include "opc/opc_types.h"
#include "tools/opc/command_line.h"
#include "tools/opc/output.h"
#include "tools/opc/value_text.h"

namespace opctool {
namespace {

// Texts of values are task memory (BSTR): every test gives back what it took.
class OpcToolValues : public ::testing::Test {
  protected:
    void SetUp() override { baseline_ = CoTaskMemLiveBlocks(); }
    void TearDown() override { EXPECT_EQ(CoTaskMemLiveBlocks(), baseline_); }

  private:
    size_t baseline_ = 0;
};

TEST_F(OpcToolValues, ParseValueTakesTextsOfEveryWritableType) {
    struct Case {
        VARTYPE type;
        const char* text;
        bool ok;
        const char* shown;  // ValueText of the result
    } const cases[] = {
        {VT_R8, "2.5", true, "2.5"},
        {VT_R8, " -1e3 ", true, "-1000"},
        {VT_R8, "+0.1", true, "0.1"},
        {VT_R8, "2,5", false, ""},  // the full stop only, whatever the locale
        {VT_R8, "", false, ""},
        {VT_R8, "1.5x", false, ""},
        {VT_R4, "0.1", true, "0.1"},
        {VT_R4, "1e39", false, ""},
        {VT_I1, "-128", true, "-128"},
        {VT_I1, "128", false, ""},
        {VT_UI1, "255", true, "255"},
        {VT_UI1, "-1", false, ""},
        {VT_I2, "-32768", true, "-32768"},
        {VT_UI2, "65536", false, ""},
        {VT_I4, "42", true, "42"},
        {VT_I4, "4.2", false, ""},
        {VT_UI4, "4294967295", true, "4294967295"},
        {VT_I8, "-9223372036854775808", true, "-9223372036854775808"},
        {VT_UI8, "18446744073709551615", true, "18446744073709551615"},
        {VT_INT, "-7", true, "-7"},
        {VT_UINT, "7", true, "7"},
        {VT_BOOL, "TRUE", true, "true"},
        {VT_BOOL, "-1", true, "true"},
        {VT_BOOL, "0", true, "false"},
        {VT_BOOL, "yes", false, ""},
        {VT_CY, "12.3456", true, "12.3456"},
        {VT_CY, "-0.5", true, "-0.5"},
        {VT_CY, "1e20", false, ""},
        {VT_BSTR, " 3,5 ", true, " 3,5 "},
        {VT_BSTR, "Grüße", true, "Grüße"},
        {VT_DATE, "2024-02-29T12:30:15", true, "2024-02-29T12:30:15"},
        {VT_DATE, "2024-02-29", true, "2024-02-29T00:00:00"},
        {VT_DATE, "1899-12-29 06:00:00", true, "1899-12-29T06:00:00"},
        {VT_DATE, "45351.5", true, "2024-02-29T12:00:00"},
        {VT_DATE, "2024-13-01", false, ""},
        {VT_ERROR, "1", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " as " + VarTypeName(c.type));
        Variant value;
        std::string error;
        EXPECT_EQ(ParseValue(c.text, c.type, value, error), c.ok);
        if (c.ok) {
            EXPECT_EQ(value.get().vt, c.type);
            EXPECT_EQ(ValueText(value.get()), c.shown);
        } else {
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(value.get().vt, VT_EMPTY);
        }
    }
}

TEST_F(OpcToolValues, DatesBeforeTheEpochCarryTheSignOverTheTime) {
    Variant value;
    std::string error;
    ASSERT_TRUE(ParseValue("1899-12-29T06:00:00", VT_DATE, value, error));
    EXPECT_DOUBLE_EQ(value.get().date, -1.25);
}

TEST_F(OpcToolValues, JsonValuesAreBareOrQuoted) {
    struct Case {
        Variant value;
        const char* json;
    };
    Variant nan = Variant::FromDouble(std::nan(""));
    Variant empty;
    Variant flag;
    flag.get().vt = VT_BOOL;
    flag.get().boolVal = VARIANT_FALSE;
    const Case cases[] = {
        {Variant::FromDouble(-0.25), "-0.25"},
        {nan, "null"},
        {empty, "null"},
        {flag, "false"},
        {Variant::FromText(u"say \"hi\"\n"), "\"say \\\"hi\\\"\\n\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ValueJson(c.value.get()), c.json);
}

TEST_F(OpcToolValues, VarTypeNames) {
    EXPECT_EQ(ParseVarType("VT_R8"), VARTYPE(VT_R8));
    EXPECT_EQ(ParseVarType("vt_bstr"), VARTYPE(VT_BSTR));
    EXPECT_EQ(ParseVarType("ui4"), VARTYPE(VT_UI4));
    EXPECT_EQ(ParseVarType("11"), VARTYPE(VT_BOOL));
    EXPECT_EQ(ParseVarType("VT_"), std::nullopt);
    EXPECT_EQ(ParseVarType("R16"), std::nullopt);
    EXPECT_EQ(ParseVarType("70000"), std::nullopt);
    EXPECT_EQ(VarTypeName(VT_DATE), "VT_DATE");
    EXPECT_EQ(VarTypeName(0x4005), "16389");
}

TEST(OpcToolOutput, CsvAndJsonEscaping) {
    EXPECT_EQ(CsvField("plain"), "plain");
    EXPECT_EQ(CsvField("3,5"), "\"3,5\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(CsvField(" padded"), "\" padded\"");
    EXPECT_EQ(CsvField(""), "");
    EXPECT_EQ(JsonString("a\\b\t\x01"), "\"a\\\\b\\t\\u0001\"");
    EXPECT_EQ(JsonString("Grüße"), "\"Grüße\"");
    EXPECT_EQ(DisplayWidth("Grüße"), 5u);
}

TEST(OpcToolOutput, QualityTextsNameStatusAndSubStatus) {
    struct Case {
        WORD quality;
        const char* text;
    } const cases[] = {
        {0xC0, "GOOD"},
        {0xC3, "GOOD"},  // limit bits do not change the meaning
        {0xD8, "GOOD (local override)"},
        {0xC4, "GOOD"},  // an undefined sub-status: the status alone
        {0x00, "BAD"},
        {0x08, "BAD (not connected)"},
        {0x18, "BAD (communication failure)"},
        {0x20, "BAD (waiting for initial data)"},
        {0x44, "UNCERTAIN (last usable value)"},
        {0x54, "UNCERTAIN (engineering units exceeded)"},
        {0x80, "UNKNOWN"},
        {0x01C0, "GOOD"},  // the vendor byte is the vendor's
    };
    for (const Case& c : cases)
        EXPECT_STREQ(OpcQualityText(c.quality), c.text) << c.quality;
}

TEST(OpcToolOutput, OpcResultsHaveNames) {
    RegisterOpcResultNames();
    EXPECT_EQ(HResultName(OPC_E_UNKNOWNITEMID), "OPC_E_UNKNOWNITEMID");
    EXPECT_EQ(HResultName(OPC_S_CLAMP), "OPC_S_CLAMP");
    EXPECT_TRUE(DescribeHResult(OPC_E_BADRIGHTS).starts_with("OPC_E_BADRIGHTS (0xC0040006): "));
}

TEST(OpcToolCommandLine, ParsesCommandsOptionsAndArguments) {
    ParseResult r = ParseCommandLine({"read", "S", "-m", "plant-a", "A", "--repeat=2.5",
                                      "--interval", "250", "-o", "json", "--", "-B"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.command, Command::Read);
    EXPECT_EQ(r.options.arguments, (std::vector<std::string>{"S", "A", "-B"}));
    EXPECT_EQ(r.options.machine, "plant-a");
    EXPECT_EQ(r.options.repeatSeconds, 2.5);
    EXPECT_EQ(r.options.intervalMs, 250u);
    EXPECT_EQ(r.options.format, OutputFormat::Json);

    r = ParseCommandLine({"read", "S", "-"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.arguments, (std::vector<std::string>{"S", "-"}));

    r = ParseCommandLine({"write", "S", "I", "-5", "--type", "i4"});
    EXPECT_EQ(r.error, "unknown option \"-5\" for write");
    r = ParseCommandLine({"write", "S", "I", "--", "-5", "--type", "i4"});
    EXPECT_EQ(r.error, "write: too many arguments");
    r = ParseCommandLine({"write", "--type", "i4", "S", "I", "--", "-5"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.type, VARTYPE(VT_I4));

    r = ParseCommandLine({"servers", "--device"});
    EXPECT_EQ(r.error, "unknown option \"--device\" for servers");
    r = ParseCommandLine({"read", "S", "I", "--device=yes"});
    EXPECT_EQ(r.error, "option --device takes no value");
    r = ParseCommandLine({"read", "S", "I", "--repeat", "-1"});
    EXPECT_FALSE(r.error.empty());
    r = ParseCommandLine({"help", "status"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.command, Command::Help);
    EXPECT_EQ(r.options.helpFor, Command::Status);
}

}  // namespace
}  // namespace opctool

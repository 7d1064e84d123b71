// The `opc` program end to end, as a child process against the fault server of the test's
// private registry (which the child reaches through KORVA_REGISTRY): exit statuses, the three
// output formats, items from standard input, a reader that goes away, a missing server.
#include <gtest/gtest.h>

#include "tests/opc/child_process.h"
#include "tests/opc/opc_test_support.h"

namespace opctest {
namespace {

const std::string kFaultClsid = OPC_FAULT_SERVER_CLSID;

class OpcToolTest : public OpcTest {
  protected:
    ChildResult Run(const std::vector<std::string>& args, const std::string& input = "") {
        ChildOptions options;
        options.environment = {"KORVA_REGISTRY=" + RegistryDirectory()};
        options.input = input;
        ChildResult result = RunChild(OPC_TOOL_PATH, args, options);
        EXPECT_FALSE(result.timedOut) << "opc did not end in time";
        return result;
    }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(OpcToolTest, ServersInEveryFormat) {
    struct Case {
        std::string format;
        std::vector<std::string> lines;
    } const cases[] = {
        {"table", {"NAME             CLASSID", "OPCFault.Server  " + kFaultClsid}},
        {"csv", {"name,class_id", "OPCFault.Server," + kFaultClsid}},
        {"json", {"[{\"name\":\"OPCFault.Server\",\"class_id\":\"" + kFaultClsid + "\"}]"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const ChildResult result = Run({"servers", "-o", c.format});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(Lines(result.out), c.lines);
        EXPECT_EQ(result.err, "");
    }
}

TEST_F(OpcToolTest, ServersOfAMachineThatCannotBeAskedIsAnError) {
    const ChildResult result = Run({"servers", "-m", "plant-a"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("opc: cannot list the servers of plant-a: ")) << result.err;
    EXPECT_TRUE(Contains(result.err, "RPC_S_SERVER_UNAVAILABLE")) << result.err;
}

TEST_F(OpcToolTest, BrowsePrintsOrganisationAndItems) {
    ChildResult result = Run({"browse", "OPCFault.Server"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "Organisation: hierarchical");
    EXPECT_EQ(lines[1], "Text.Comma");
    EXPECT_EQ(lines[8], "Number.ReadOnly");

    result = Run({"browse", kFaultClsid, "--output=csv"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "item_id");
    EXPECT_EQ(lines[2], "Text.Thousands");

    result = Run({"browse", "OPCFault.Server", "-o", "json"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.out.starts_with(
        "{\"organisation\":\"hierarchical\",\"organisation_code\":1,\"items\":[\"Text.Comma\","))
        << result.out;
}

TEST_F(OpcToolTest, ReadInEveryFormat) {
    ChildResult result = Run({"read", "OPCFault.Server", "Number.R8", "Text.Comma", "-o", "csv"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "item,value,quality,quality_code,timestamp,result");
    EXPECT_TRUE(lines[1].starts_with("Number.R8,2.5,GOOD,192,")) << lines[1];
    EXPECT_TRUE(lines[1].ends_with("Z,S_OK")) << lines[1];
    EXPECT_TRUE(lines[2].starts_with("Text.Comma,\"3,5\",GOOD,192,")) << lines[2];

    result = Run({"read", "OPCFault.Server", "Number.I4", "Bool.True", "Text.Empty", "-o", "json"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(Contains(lines[0],
                         "{\"item\":\"Number.I4\",\"value\":42,\"quality\":\"GOOD\","
                         "\"quality_code\":192,\"timestamp\":\""))
        << lines[0];
    EXPECT_TRUE(Contains(lines[0], "{\"item\":\"Bool.True\",\"value\":true,")) << lines[0];
    EXPECT_TRUE(Contains(lines[0], "{\"item\":\"Text.Empty\",\"value\":\"\",")) << lines[0];

    result = Run({"read", "OPCFault.Server", "Number.R8"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].starts_with("ITEM       VALUE  QUALITY      TIMESTAMP")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("Number.R8  2.5    GOOD (0xC0)  ")) << lines[1];
    EXPECT_TRUE(lines[1].ends_with("  S_OK")) << lines[1];
}

TEST_F(OpcToolTest, ItemsFromStandardInput) {
    const ChildResult result = Run({"read", "OPCFault.Server", "Number.I4", "-", "-o", "csv"},
                                   "Number.R8\r\n\n   \n  Bool.False \n");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(lines[1].starts_with("Number.I4,42,"));
    EXPECT_TRUE(lines[2].starts_with("Number.R8,2.5,"));
    EXPECT_TRUE(lines[3].starts_with("Bool.False,false,"));
}

TEST_F(OpcToolTest, FailedItemsGiveExitStatusThree) {
    const ChildResult result =
        Run({"read", "OPCFault.Server", "Number.R8", "No.Such.Item", "-o", "csv"});
    EXPECT_EQ(result.exitCode, 3);
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[1].ends_with(",S_OK"));
    EXPECT_EQ(lines[2], "No.Such.Item,,,,,OPC_E_UNKNOWNITEMID");
    EXPECT_TRUE(Contains(result.err, "opc: cannot add item \"No.Such.Item\": OPC_E_UNKNOWNITEMID"))
        << result.err;
}

TEST_F(OpcToolTest, ServerThatCannotBeReachedIsAnError) {
    struct Case {
        std::vector<std::string> args;
        std::string cause;
    } const cases[] = {
        {{"read", "No.Such.Server", "X"}, "CO_E_CLASSSTRING (0x800401F3)"},
        {{"status", "{00000000-0000-0000-0000-000000000001}"}, "REGDB_E_CLASSNOTREG"},
        {{"browse", "OPCFault.Server", "-m", "plant-a"}, "RPC_S_SERVER_UNAVAILABLE"},
        {{"write", "{bad", "X", "1"}, "CO_E_CLASSSTRING"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const ChildResult result = Run(c.args);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(result.err.starts_with("opc: cannot connect to server \"" + c.args[1] + "\""))
            << result.err;
        EXPECT_TRUE(Contains(result.err, c.cause)) << result.err;
    }
}

TEST_F(OpcToolTest, BadUsageGivesExitStatusTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"--verbose"},
        {"read", "OPCFault.Server"},
        {"read", "OPCFault.Server", "X", "-o", "xml"},
        {"read", "OPCFault.Server", "X", "--interval", "0"},
        {"read", "OPCFault.Server", "X", "--repeat", "soon"},
        {"read", "OPCFault.Server", "X", "--type", "VT_R8"},
        {"write", "OPCFault.Server", "Number.R8"},
        {"write", "OPCFault.Server", "Number.R8", "1", "--type", "VT_FOO"},
        {"servers", "extra"},
        {"status", "-m"},
        {"help", "frobnicate"},
    };
    for (const std::vector<std::string>& args : cases) {
        std::string words;
        for (const std::string& a : args)
            words += a + " ";
        SCOPED_TRACE(words);
        const ChildResult result = Run(args);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(result.err.starts_with("opc: ")) << result.err;
        EXPECT_TRUE(Contains(result.err, "--help")) << result.err;
    }
}

TEST_F(OpcToolTest, HelpForEveryCommand) {
    struct Case {
        std::vector<std::string> args;
        std::string start;
    } const cases[] = {
        {{"--help"}, "Usage: opc COMMAND"},
        {{"help"}, "Usage: opc COMMAND"},
        {{"help", "read"}, "Usage: opc read "},
        {{"servers", "--help"}, "Usage: opc servers "},
        {{"browse", "-h"}, "Usage: opc browse "},
        {{"read", "--help"}, "Usage: opc read "},
        {{"write", "S", "--help"}, "Usage: opc write "},
        {{"status", "--help"}, "Usage: opc status "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        const ChildResult result = Run(c.args);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_TRUE(result.out.starts_with(c.start)) << result.out;
        EXPECT_EQ(result.err, "");
    }
}

TEST_F(OpcToolTest, WriteConvertsToTheItemsType) {
    ChildResult result = Run({"write", "OPCFault.Server", "Number.I4", "17", "-o", "csv"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Lines(result.out),
              (std::vector<std::string>{"item,value,type,result", "Number.I4,17,VT_I4,S_OK"}));

    result = Run({"write", "OPCFault.Server", "Text.Comma", "1.5", "--type", "r8", "-o", "json"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out,
              "[{\"item\":\"Text.Comma\",\"value\":1.5,\"type\":\"VT_R8\",\"result\":\"S_OK\"}]\n");

    // Not a number for the item's type: bad usage, nothing written.
    result = Run({"write", "OPCFault.Server", "Number.R8", "abc"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(Contains(result.err, "\"abc\" is not a VT_R8 value")) << result.err;

    result = Run({"write", "OPCFault.Server", "No.Such.Item", "1"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_TRUE(Contains(result.err, "OPC_E_UNKNOWNITEMID")) << result.err;
}

TEST_F(OpcToolTest, StatusShowsTheServersRecord) {
    ChildResult result = Run({"status", "OPCFault.Server"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "State:        RUNNING (1)");
    EXPECT_EQ(lines[1], "Vendor:       Felmaran Test Fixtures");

    result = Run({"status", "OPCFault.Server", "-o", "json"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(
        result.out.starts_with("{\"state\":\"RUNNING\",\"state_code\":1,\"vendor\":"
                               "\"Felmaran Test Fixtures\","))
        << result.out;
}

TEST_F(OpcToolTest, AReaderThatGoesAwayEndsTheReadQuietly) {
    for (const char* format : {"table", "csv", "json"}) {
        SCOPED_TRACE(format);
        ChildOptions options;
        options.environment = {"KORVA_REGISTRY=" + RegistryDirectory()};
        Child child(OPC_TOOL_PATH,
                    {"read", "OPCFault.Server", "Number.R8", "--repeat", "60", "--interval", "20",
                     "-o", format},
                    options);
        ASSERT_TRUE(child.started());
        std::string line;
        ASSERT_TRUE(child.ReadLine(line));
        child.CloseOutput();
        const ChildResult result = child.Wait();
        EXPECT_FALSE(result.timedOut) << "opc kept reading after its reader went away";
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.err, "");
    }
}

TEST_F(OpcToolTest, RepeatedReadsEndAfterTheirTime) {
    const ChildResult result = Run({"read", "OPCFault.Server", "Number.R8", "--repeat", "0.2",
                                    "--interval", "50", "-o", "csv"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::vector<std::string> lines = Lines(result.out);
    // A read at 0 ms and one every 50 ms up to 200 ms, after the header.
    EXPECT_EQ(lines.size(), 6u) << result.out;
}

}  // namespace
}  // namespace opctest

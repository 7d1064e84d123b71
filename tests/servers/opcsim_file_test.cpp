// The address-space file: its line format, the clear failure a malformed line gives, and a
// server object taking its items from the file that OPCSIM_ADDRESS_SPACE names.
#include <cstdio>
#include <fstream>

#include "servers/opcsim/address_space_file.h"
#include "tests/servers/opcsim_test_support.h"
#include "tests/support/private_registry.h"

namespace opcsim::test {
namespace {

const char kPlant[] =
    "# A small plant\n"
    "\n"
    "Boiler.Temperature  R8   sine period=60 amplitude=5 offset=80   # degrees\n"
    "Boiler.Level        R4   R  ramp period=20 amplitude=2\n"
    "Boiler.Alarm        BOOL toggle period=4\n"
    "Boiler.Starts       UI2  counter period=1 offset=65534\n"
    "Boiler.Noise        VT_R8 random amplitude=0.5 offset=-0.25\n"
    "Boiler.Setpoint     R8   RW 75.5\r\n"
    "Boiler.Limit        i4   R 120\n"
    "Boiler.Command      I2   W\n"
    "\"Line 2.Motor \\\"A\\\"\" bstr \"started\"\n"
    "Line2.Since         DATE 2024-02-29T06:30:00\n"
    "Line2.Price         CY   -12.3456\n"
    "Line2.Count         UI8  18446744073709551615\n"
    "Line2.Flag          BOOL TRUE\n"
    "Größe.Wert          R8   1e3\n"
    "Control.State       I4   state\n"
    "Control.Stop        BSTR shutdown\n";

TEST(AddressSpaceFile, EveryKindOfLine) {
    AddressSpaceResult parsed = ParseAddressSpace(kPlant);
    ASSERT_TRUE(parsed.space) << parsed.error;
    const AddressSpace& space = *parsed.space;
    EXPECT_EQ(space.Organization(), OPC_NS_HIERARCHIAL);
    ASSERT_EQ(space.Items().size(), 16u);

    auto item = [&](std::u16string_view id) -> const ItemDef& {
        auto index = space.Find(id);
        EXPECT_TRUE(index.has_value());
        return space.Item(index.value_or(0));
    };
    const ItemDef& temperature = item(u"Boiler.Temperature");
    EXPECT_EQ(temperature.type, VT_R8);
    EXPECT_EQ(temperature.signal, Signal::Sine);
    EXPECT_EQ(temperature.access, OPC_READABLE) << "signals are read-only";
    EXPECT_EQ(temperature.shape.period, 60);
    EXPECT_EQ(temperature.shape.amplitude, 5);
    EXPECT_EQ(temperature.shape.offset, 80);
    const ItemDef& level = item(u"Boiler.Level");
    EXPECT_EQ(level.type, VT_R4);
    EXPECT_EQ(level.shape.offset, 0) << "defaults for what is not given";
    EXPECT_EQ(item(u"Boiler.Alarm").shape.period, 4);
    EXPECT_EQ(item(u"Boiler.Alarm").shape.amplitude, 1);
    EXPECT_EQ(item(u"Boiler.Setpoint").access, OPC_READABLE | OPC_WRITEABLE);
    EXPECT_EQ(item(u"Boiler.Setpoint").initial.get().dblVal, 75.5);
    EXPECT_EQ(item(u"Boiler.Limit").access, OPC_READABLE);
    EXPECT_EQ(item(u"Boiler.Limit").initial.get().lVal, 120);
    EXPECT_EQ(item(u"Boiler.Command").access, OPC_WRITEABLE);
    EXPECT_EQ(item(u"Boiler.Command").initial.get().iVal, 0);
    EXPECT_EQ(AsText(item(u"Line 2.Motor \"A\"").initial.get()), u"started");
    // 2024-02-29 is day 45351 after 30 December 1899; 06:30 is 0.2708333 of a day.
    EXPECT_DOUBLE_EQ(item(u"Line2.Since").initial.get().date, 45351 + 6.5 / 24);
    EXPECT_EQ(item(u"Line2.Price").initial.get().cyVal, -123456);
    EXPECT_EQ(item(u"Line2.Count").initial.get().ullVal, UINT64_MAX);
    EXPECT_EQ(item(u"Line2.Flag").initial.get().boolVal, VARIANT_TRUE);
    EXPECT_EQ(item(u"Größe.Wert").initial.get().dblVal, 1000);
    EXPECT_EQ(item(u"Control.State").special, Special::ServerState);
    EXPECT_EQ(item(u"Control.Stop").special, Special::Shutdown);

    // The tree follows the dots, in the order of the file.
    const auto& root = space.BranchAt(AddressSpace::kRoot);
    ASSERT_EQ(root.branches.size(), 5u);
    EXPECT_EQ(space.BranchAt(root.branches[0]).name, u"Boiler");
    EXPECT_EQ(space.BranchAt(root.branches[1]).name, u"Line 2");
    EXPECT_EQ(space.BranchAt(root.branches[2]).name, u"Line2");
}

struct MalformedCase {
    const char* name;
    std::string text;
    std::string error;
};
void PrintTo(const MalformedCase& c, std::ostream* out) {
    *out << c.name;
}

class MalformedFileTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedFileTest, NamesTheLineAndWhatIsWrong) {
    const MalformedCase& c = GetParam();
    AddressSpaceResult parsed = ParseAddressSpace(c.text);
    EXPECT_FALSE(parsed.space);
    EXPECT_EQ(parsed.error, c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MalformedFileTest,
    ::testing::Values(
        MalformedCase{"UnknownType", "A.B R8\n# fine so far\nA.C VT_FOO\n",
                      "line 3: unknown type \"VT_FOO\""},
        MalformedCase{"MissingType", "A.B\n", "line 1: the type is missing after \"A.B\""},
        MalformedCase{"QuotedType", "A.B \"R8\"\n", "line 1: unknown type \"R8\""},
        MalformedCase{"BadIdentifier", "A..B R8\n", "line 1: malformed item identifier \"A..B\""},
        MalformedCase{"TrailingDot", "A. R8\n", "line 1: malformed item identifier \"A.\""},
        MalformedCase{"ControlInId", "\"A\tB\" R8\n", "line 1: malformed item identifier \"A\tB\""},
        MalformedCase{"Duplicate", "A.B R8\nA.B I4\n", "line 2: duplicate item identifier \"A.B\""},
        MalformedCase{"BadInitial", "A.B I4 4.5\n", "line 1: \"4.5\" is not a value of type I4"},
        MalformedCase{"InitialOutOfRange", "A.B UI1 256\n",
                      "line 1: \"256\" is not a value of type UI1"},
        MalformedCase{"BadDate", "A.B DATE 2023-02-29\n",
                      "line 1: \"2023-02-29\" is not a value of type DATE"},
        MalformedCase{"TooManyDecimals", "A.B CY 1.23456\n",
                      "line 1: \"1.23456\" is not a value of type CY"},
        MalformedCase{"BadBool", "A.B BOOL yes\n", "line 1: \"yes\" is not a value of type BOOL"},
        MalformedCase{"ExtraWord", "A.B I4 RW 1 2\n", "line 1: unexpected \"2\" at the end"},
        MalformedCase{"WritableSignal", "A.B R8 RW sine\n",
                      "line 1: a simulated signal is read-only"},
        MalformedCase{"TextSignal", "A.B BSTR ramp\n",
                      "line 1: a signal needs a numeric or boolean type, not BSTR"},
        MalformedCase{"UnknownParameter", "A.B R8 sine phase=3\n",
                      "line 1: unknown signal parameter \"phase\""},
        MalformedCase{"ParameterTwice", "A.B R8 sine period=3 period=4\n",
                      "line 1: parameter \"period\" given twice"},
        MalformedCase{"NotANumber", "A.B R8 sine amplitude=big\n",
                      "line 1: not a number in \"amplitude=big\""},
        MalformedCase{"ZeroPeriod", "A.B R8 sine period=0\n",
                      "line 1: the period must be 1e-6 to 1e9 seconds"},
        MalformedCase{"WordNotParameter", "A.B R8 sine fast\n",
                      "line 1: expected period=, amplitude= or offset=, found \"fast\""},
        MalformedCase{"StateType", "S.S R8 state\n",
                      "line 1: the server state item must be of type I4"},
        MalformedCase{"ShutdownType", "S.S I4 shutdown\n",
                      "line 1: the shutdown item must be of type BSTR"},
        MalformedCase{"UnclosedQuote", "\"A.B R8\n", "line 1: quoted text without its closing \""},
        MalformedCase{"QuoteInWord", "A\"B R8\n", "line 1: a quote inside a word"},
        MalformedCase{"BadEscape", "\"A\\nB\" R8\n",
                      "line 1: only \\\" and \\\\ may follow a backslash in a quoted text"},
        MalformedCase{"InvalidUtf8", "A.\xC3\x28 R8\n",
                      "line 1: the identifier is not valid UTF-8"},
        MalformedCase{"Nul", std::string("A.B R8\0\n", 8), "line 1: a NUL character"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AddressSpaceFile, EmptyFilesAndComments) {
    for (const char* text : {"", "\n\n", "# nothing\n   # here\n", "\xEF\xBB\xBF# with a BOM\n"}) {
        AddressSpaceResult parsed = ParseAddressSpace(text);
        ASSERT_TRUE(parsed.space) << parsed.error;
        EXPECT_TRUE(parsed.space->Items().empty());
    }
    AddressSpaceResult last = ParseAddressSpace("A.B R8");  // no line end after the last line
    ASSERT_TRUE(last.space) << last.error;
    EXPECT_EQ(last.space->Items().size(), 1u);
}

class AddressSpaceFileServerTest : public SimServerTest {
  protected:
    void SetUp() override {
        SimServerTest::SetUp();
        directory_ = korva::test::MakeTempDirectory("opcsim-file-");
        path_ = directory_ + "/plant.txt";
    }
    void TearDown() override {
        SimServerTest::TearDown();
        korva::test::RemoveTree(directory_);
    }
    void WriteFile(const std::string& text) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << text;
    }

    std::string directory_;
    std::string path_;
};

TEST_F(AddressSpaceFileServerTest, TheFileReplacesTheHierarchicalSpace) {
    WriteFile(kPlant);
    korva::test::ScopedEnv file(kAddressSpaceVariable, path_);
    CreateServerOf(ServerKind::Hierarchical);
    auto group = AddGroup(u"Main", 0);
    EXPECT_HR(OPC_E_UNKNOWNITEMID, AddItem(group.Get(), u"Signals.Sine").item);

    OPCHANDLE temperature = AddItem(group.Get(), u"Boiler.Temperature").handle;
    OPCHANDLE starts = AddItem(group.Get(), u"Boiler.Starts").handle;
    OPCHANDLE setpoint = AddItem(group.Get(), u"Boiler.Setpoint").handle;
    OPCHANDLE command = AddItem(group.Get(), u"Boiler.Command").handle;
    OPCHANDLE state = AddItem(group.Get(), u"Control.State").handle;
    EXPECT_DOUBLE_EQ(AsDouble(ReadItem(group.Get(), temperature).value.get()), 80.0);
    clock_->Advance(15s);
    EXPECT_DOUBLE_EQ(AsDouble(ReadItem(group.Get(), temperature).value.get()), 85.0);
    // A counter of an unsigned 16-bit item wraps as the hardware's does: 65534 + 15.
    EXPECT_EQ(AsDouble(ReadItem(group.Get(), starts).value.get()), 13);
    EXPECT_EQ(AsDouble(ReadItem(group.Get(), setpoint).value.get()), 75.5);
    EXPECT_HR(S_OK, WriteItem(group.Get(), setpoint, R8(70).get()));
    EXPECT_EQ(AsDouble(ReadItem(group.Get(), setpoint).value.get()), 70);
    // A write-only item takes writes and refuses reads.
    EXPECT_HR(S_OK, WriteItem(group.Get(), command, I4(2).get()));
    EXPECT_HR(OPC_E_BADRIGHTS, ReadItem(group.Get(), command).item);
    EXPECT_HR(S_OK, WriteItem(group.Get(), state, I4(OPC_STATUS_TEST).get()));
    EXPECT_EQ(ServerState(server_.Get()), OPC_STATUS_TEST);

    // The flat class keeps its own items.
    CreateServerOf(ServerKind::Flat);
    auto flat = AddGroup(u"Main", 0);
    EXPECT_HR(S_OK, AddItem(flat.Get(), u"Tag.").item);
}

TEST_F(AddressSpaceFileServerTest, AChangedFileIsReadAgain) {
    korva::test::ScopedEnv file(kAddressSpaceVariable, path_);
    WriteFile("First.Item R8 1\n");
    CreateServerOf(ServerKind::Hierarchical);
    auto group = AddGroup(u"Main", 0);
    EXPECT_HR(S_OK, AddItem(group.Get(), u"First.Item").item);
    group.Reset();

    WriteFile("Second.Item R8 2\nSecond.Other I4\n");
    CreateServerOf(ServerKind::Hierarchical);
    group = AddGroup(u"Main", 0);
    EXPECT_HR(OPC_E_UNKNOWNITEMID, AddItem(group.Get(), u"First.Item").item);
    EXPECT_HR(S_OK, AddItem(group.Get(), u"Second.Item").item);
}

TEST_F(AddressSpaceFileServerTest, AFileThatCannotBeUsedRefusesTheServer) {
    korva::test::ScopedEnv file(kAddressSpaceVariable, path_);
    struct Case {
        const char* name;
        std::optional<std::string> content;  // nullopt: no file
        std::string error;
    };
    const Case cases[] = {
        {"Missing", std::nullopt, path_ + ": No such file or directory"},
        {"Malformed", "A.B R8\nA.C R8 sine\nA.D XX\n", path_ + ":3: unknown type \"XX\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(path_.c_str());
        if (c.content)
            WriteFile(*c.content);
        ComPtr<IOPCServer> server;
        std::string error;
        EXPECT_HR(OPC_E_INVALIDCONFIGFILE, CreateServer(ServerKind::Hierarchical, clock_,
                                                        IID_IOPCServer, server.AsOut(), &error));
        EXPECT_FALSE(server);
        EXPECT_EQ(error, c.error);
    }
    ComPtr<IOPCServer> directory;
    std::string error;
    korva::test::ScopedEnv folder(kAddressSpaceVariable, directory_);
    EXPECT_HR(OPC_E_INVALIDCONFIGFILE, CreateServer(ServerKind::Hierarchical, clock_,
                                                    IID_IOPCServer, directory.AsOut(), &error));
    EXPECT_EQ(error, directory_ + ": not a regular file");
}

}  // namespace
}  // namespace opcsim::test

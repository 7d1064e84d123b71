// The access helpers against the fault-injecting server and the simulation server, in both text
// variants: what each function passes to the server, what it answers, which outputs it leaves
// alone on failure, and that every array and text the server hands out is freed.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/text/text.h"
#include "tests/opc/opc_test_support.h"
#include "tests/support/test_servers.h"

namespace opctest {
namespace {

constexpr CLSID kFaultClsid = MakeGuid("1FC820C7-D9E1-4CCD-8FA4-140B0536DFEE");

// Items with texts outside ASCII but inside the 8-bit code page, so both variants carry them.
const OpcFaultItem kPlantItems[] = {
    {"Plant.Temperatur.Außen", VT_R8, "21.5", 1, 0, 0, 0, 0},
    {"Plant.Pressure", VT_R8, "1.25", 1, 0, 0, 0, 0},
    {"Plant.Grüße", VT_BSTR, "Grüße", 1, 0, 0, 0, 0},
    {"Flat", VT_I4, "7", 0, 0, 0, 0, 0},
};
const std::vector<std::u16string> kPlantIds = {u"Plant.Temperatur.Außen", u"Plant.Pressure",
                                               u"Plant.Grüße", u"Flat"};

// Numbers come with the user's decimal separator; the callers turn the first comma into a full
// stop before they parse.
std::u16string AsCallersReadNumbers(std::u16string text) {
    if (const size_t comma = text.find(u','); comma != text.npos)
        text[comma] = u'.';
    return text;
}

OpcFaultConfig PlantConfig() {
    OpcFaultConfig config{};
    config.items = kPlantItems;
    config.itemCount = std::size(kPlantItems);
    return config;
}

class AccessTest : public OpcTest, public ::testing::WithParamInterface<TextVariant> {
  protected:
    Access access{GetParam()};

    ComPtr<IOPCServer> ConnectFault() {
        ComPtr<IOPCServer> server;
        EXPECT_TRUE(access.Connect(u"", u"OPCFault.Server", server));
        return server;
    }
    // A connected server with a group; false (and a test failure) when that did not work.
    bool OpenGroup(ComPtr<IOPCServer>& server, ComPtr<IOPCItemMgt>& group) {
        server = ConnectFault();
        OPCHANDLE handle = 0;
        return server && SUCCEEDED(access.CreateGroup(server.Get(), u"Main", -1, 0, group, handle));
    }
    OPCHANDLE AddOrFail(IOPCItemMgt* group, std::u16string_view id) {
        OPCHANDLE handle = 0;
        VARTYPE type = VT_EMPTY;
        EXPECT_EQ(access.AddItem(group, id, 0, VT_EMPTY, handle, type), S_OK) << Utf16ToUtf8(id);
        return handle;
    }
};

INSTANTIATE_TEST_SUITE_P(Variants, AccessTest,
                         ::testing::Values(TextVariant::Utf16, TextVariant::Ansi), VariantName);

// ---- ConnectToServer ----------------------------------------------------------------------

TEST_P(AccessTest, ServerNameIsProgIdOrClassIdentifierWhenItHoldsABrace) {
    // A ProgID whose name holds a brace: it is registered, yet the brace makes the name a class
    // identifier text, which it is not.
    WriteKey("Odd{Name\\CLSID", OPC_FAULT_SERVER_CLSID);
    WriteKey("Odd.Name\\CLSID", OPC_FAULT_SERVER_CLSID);
    struct Case {
        std::u16string server;
        bool connects;
    } const cases[] = {
        {u"OPCFault.Server.1", true},
        {u"OPCFault.Server", true},
        {u"opcfault.server", true},  // ProgIDs are registry keys: any case
        {u"Odd.Name", true},
        {u"Odd{Name", false},
        {u"{1FC820C7-D9E1-4CCD-8FA4-140B0536DFEE}", true},
        {u"{1fc820c7-d9e1-4ccd-8fa4-140b0536dfee}", true},
        {u"1FC820C7-D9E1-4CCD-8FA4-140B0536DFEE", false},  // no brace: looked up as a ProgID
        {u"{1FC820C7-D9E1-4CCD-8FA4-140B0536DFEE", false},
        {u"x{1FC820C7-D9E1-4CCD-8FA4-140B0536DFEE}", false},
        {u"{}", false},
        {u"{", false},
        {u"{00000000-0000-0000-0000-000000000001}", false},  // well-formed, not registered
        {u"No.Such.Server", false},
        {u"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.server));
        ComPtr<IOPCServer> server;
        EXPECT_EQ(access.Connect(u"", c.server, server), c.connects);
        EXPECT_EQ(static_cast<bool>(server), c.connects);
    }
}

TEST_P(AccessTest, MachineNameChoosesTheCreationPathAndContext) {
    auto remote = std::make_shared<FakeRemoteActivation>();
    UseRemote(remote);
    constexpr DWORD kLocal = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;
    constexpr DWORD kAll = kLocal | CLSCTX_REMOTE_SERVER;
    struct Case {
        const char* label;
        std::u16string machine;
        bool distributed;
        DWORD context;
        bool reachesRemote;
    } const cases[] = {
        {"this computer", u"", false, kLocal, false},
        {"computer name", ComputerName(), true, kAll, false},
        {"computer name, case swapped", SwapCase(ComputerName()), true, kAll, false},
        {"another machine", u"plant-a", true, CLSCTX_REMOTE_SERVER, true},
        {"1000 characters", std::u16string(1000, u'm'), true, CLSCTX_REMOTE_SERVER, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const size_t remoteBefore = remote->Machines().size();
        ActivationRecorder recorder;
        ComPtr<IOPCServer> server;
        EXPECT_TRUE(access.Connect(c.machine, u"OPCFault.Server", server));
        const std::vector<ActivationRecord> records = recorder.Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].distributed, c.distributed);
        EXPECT_EQ(records[0].context, c.context);
        EXPECT_EQ(records[0].machine, c.machine);
        EXPECT_EQ(records[0].clsid, kFaultClsid);
        const std::vector<std::u16string> machines = remote->Machines();
        ASSERT_EQ(machines.size(), remoteBefore + (c.reachesRemote ? 1 : 0));
        if (c.reachesRemote) {
            EXPECT_EQ(machines.back(), c.machine);
        }
    }
}

TEST_P(AccessTest, MachineNameOfMoreThan1000CharactersGivesNoConnection) {
    auto remote = std::make_shared<FakeRemoteActivation>();
    UseRemote(remote);
    ActivationRecorder recorder;
    for (size_t length : {1001u, 4096u}) {
        ComPtr<IOPCServer> server;
        EXPECT_FALSE(access.Connect(std::u16string(length, u'm'), u"OPCFault.Server", server));
        EXPECT_FALSE(server);
    }
    EXPECT_TRUE(recorder.Records().empty());
    EXPECT_TRUE(remote->Machines().empty());
}

TEST_P(AccessTest, AnotherMachineWithoutDistributedCreationGivesNoConnection) {
    ComPtr<IOPCServer> server;
    EXPECT_FALSE(access.Connect(u"plant-a", u"OPCFault.Server", server));
    EXPECT_FALSE(server);
}

TEST_F(OpcTest, ConnectFailuresAreAnsweredAndLeaveNoReference) {
    auto remote = std::make_shared<FakeRemoteActivation>();
    UseRemote(remote);
    struct Case {
        const char* label;
        std::function<void(OpcFaultConfig&)> configure;
        std::u16string machine;
        std::u16string server;
        HRESULT expected;
    } const cases[] = {
        {"no IOPCServer", [](OpcFaultConfig& c) { c.refuse = OPC_FAULT_REFUSE_SERVER; }, u"",
         u"OPCFault.Server", E_NOINTERFACE},
        {"creation fails",
         [](OpcFaultConfig& c) { c.calls[OPC_FAULT_CREATE_SERVER].result = E_OUTOFMEMORY; }, u"",
         u"OPCFault.Server", E_OUTOFMEMORY},
        {"remote creation fails",
         [](OpcFaultConfig& c) { c.calls[OPC_FAULT_CREATE_SERVER].result = E_ACCESSDENIED; },
         u"plant-a", u"OPCFault.Server", E_ACCESSDENIED},
        {"unknown ProgID", [](OpcFaultConfig&) {}, u"", u"No.Such.Server", CO_E_CLASSSTRING},
        {"malformed class identifier", [](OpcFaultConfig&) {}, u"", u"{1234}", CO_E_CLASSSTRING},
        {"NUL inside the name", [](OpcFaultConfig&) {}, u"",
         std::u16string(u"OPCFault.Server\0x", 17), CO_E_CLASSSTRING},
        {"NUL inside the machine name", [](OpcFaultConfig&) {}, std::u16string(u"plant-a\0b", 9),
         u"OPCFault.Server", E_INVALIDARG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        // The out reference held a server before: it is released, not leaked or kept.
        Fault().Reset();
        ComPtr<IOPCServer> server;
        ASSERT_TRUE(ConnectToServer(u"", u"OPCFault.Server", server));
        OpcFaultConfig config{};
        c.configure(config);
        Configure(config);
        EXPECT_EQ(ConnectToServerResult(c.machine, c.server, server), c.expected);
        EXPECT_FALSE(server);
        EXPECT_EQ(Stats().liveServers, 0u);
        EXPECT_FALSE(ConnectToServer(c.machine, c.server, server));
    }
}

// ---- ServerBrowseItemIDs ------------------------------------------------------------------

TEST_P(AccessTest, BrowseListsTheFullyQualifiedIdentifiersInTheServersOrder) {
    Configure(PlantConfig());
    ComPtr<IOPCServer> server = ConnectFault();
    ASSERT_TRUE(server);
    std::vector<std::u16string> items = {u"left over"};
    auto organization = static_cast<OPCNAMESPACETYPE>(77);
    access.Browse(server.Get(), items, organization);
    EXPECT_EQ(items, kPlantIds);
    EXPECT_EQ(organization, OPC_NS_HIERARCHIAL);
    const OpcFaultStats stats = Stats();
    EXPECT_EQ(stats.lastBrowseType, static_cast<uint32_t>(OPC_FLAT));
    EXPECT_EQ(stats.lastBrowseDirection, static_cast<uint32_t>(OPC_BROWSE_TO));
}

TEST_P(AccessTest, BrowseFailuresKeepWhatWasRead) {
    const std::vector<std::u16string> none;
    const std::vector<std::u16string> firstTwo(kPlantIds.begin(), kPlantIds.begin() + 2);
    constexpr auto kUntouched = static_cast<OPCNAMESPACETYPE>(77);
    struct Case {
        const char* label;
        std::function<void(OpcFaultConfig&)> configure;
        std::vector<std::u16string> items;
        OPCNAMESPACETYPE organization;
    } const cases[] = {
        {"no browsing interface", [](OpcFaultConfig& c) { c.refuse = OPC_FAULT_REFUSE_BROWSE; },
         none, kUntouched},
        {"flat address space", [](OpcFaultConfig& c) { c.organization = OPC_NS_FLAT; }, kPlantIds,
         OPC_NS_FLAT},
        {"organisation not told",
         [](OpcFaultConfig& c) { c.calls[OPC_FAULT_QUERYORGANIZATION].result = E_FAIL; }, kPlantIds,
         kUntouched},
        {"browse position refused",
         [](OpcFaultConfig& c) { c.calls[OPC_FAULT_CHANGEBROWSEPOSITION].result = E_FAIL; },
         kPlantIds, OPC_NS_HIERARCHIAL},
        {"browse call fails",
         [](OpcFaultConfig& c) { c.calls[OPC_FAULT_BROWSEOPCITEMIDS].result = E_OUTOFMEMORY; },
         none, OPC_NS_HIERARCHIAL},
        {"enumerator ends at once",
         [](OpcFaultConfig& c) { c.browseEnum.mode = OPC_FAULT_ENUM_EMPTY; }, none,
         OPC_NS_HIERARCHIAL},
        {"enumerator fails after two",
         [](OpcFaultConfig& c) {
             c.browseEnum.mode = OPC_FAULT_ENUM_FAIL_AFTER;
             c.browseEnum.failAfter = 2;
         },
         firstTwo, OPC_NS_HIERARCHIAL},
        {"enumerator fails at once",
         [](OpcFaultConfig& c) { c.calls[OPC_FAULT_STRING_NEXT].result = E_UNEXPECTED; }, none,
         OPC_NS_HIERARCHIAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        OpcFaultConfig config = PlantConfig();
        c.configure(config);
        Configure(config);
        ComPtr<IOPCServer> server = ConnectFault();
        ASSERT_TRUE(server);
        std::vector<std::u16string> items = {u"left over"};
        OPCNAMESPACETYPE organization = kUntouched;
        access.Browse(server.Get(), items, organization);
        EXPECT_EQ(items, c.items);
        EXPECT_EQ(organization, c.organization);
    }
}

TEST_P(AccessTest, BrowseWithoutServerClearsTheList) {
    std::vector<std::u16string> items = {u"left over"};
    auto organization = static_cast<OPCNAMESPACETYPE>(77);
    access.Browse(nullptr, items, organization);
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(organization, static_cast<OPCNAMESPACETYPE>(77));
}

// ---- ServerAdviseShutdown -----------------------------------------------------------------

TEST_F(OpcTest, AdviseShutdownSubscribesOnlyWhenEveryStepWorks) {
    struct Case {
        const char* label;
        std::function<void(OpcFaultConfig&)> configure;
        bool subscribed;
    } const cases[] = {
        {"connection points offered", [](OpcFaultConfig&) {}, true},
        {"no connection points", [](OpcFaultConfig& c) { c.refuse = OPC_FAULT_REFUSE_CPC; }, false},
        {"no shutdown point",
         [](OpcFaultConfig& c) { c.calls[OPC_FAULT_FINDCONNECTIONPOINT].result = E_FAIL; }, false},
        {"advise refused",
         [](OpcFaultConfig& c) { c.calls[OPC_FAULT_ADVISE].result = CONNECT_E_ADVISELIMIT; },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        OpcFaultConfig config{};
        c.configure(config);
        Configure(config);
        ComPtr<CountingShutdownSink> sink = MakeComObject<CountingShutdownSink>();
        {
            ComPtr<IOPCServer> server;
            ASSERT_TRUE(ConnectToServer(u"", u"OPCFault.Server", server));
            EXPECT_EQ(ServerAdviseShutdown(server.Get(), sink.Get()), c.subscribed);
            EXPECT_EQ(Stats().sinksAdvised, c.subscribed ? 1u : 0u);
        }
        // Once the server is gone nothing holds the sink but the test.
        sink->AddRef();
        EXPECT_EQ(sink->Release(), 1u);
    }
}

TEST_F(OpcTest, AdviseShutdownWithoutServerOrSinkIsFalse) {
    ComPtr<IOPCServer> server;
    ASSERT_TRUE(ConnectToServer(u"", u"OPCFault.Server", server));
    ComPtr<CountingShutdownSink> sink = MakeComObject<CountingShutdownSink>();
    EXPECT_FALSE(ServerAdviseShutdown(nullptr, sink.Get()));
    EXPECT_FALSE(ServerAdviseShutdown(server.Get(), nullptr));
    EXPECT_EQ(Stats().sinksAdvised, 0u);
}

// ---- ServerGetState -----------------------------------------------------------------------

TEST_F(OpcTest, ServerGetStateAnswersTheStateOrEFail) {
    EXPECT_EQ(ServerGetState(nullptr), E_FAIL);
    for (uint32_t state = OPC_STATUS_RUNNING; state <= OPC_STATUS_COMM_FAULT; ++state) {
        OpcFaultConfig config{};
        config.serverState = state;
        config.vendorInfo = "a vendor text that must be freed";
        Configure(config);
        ComPtr<IOPCServer> server;
        ASSERT_TRUE(ConnectToServer(u"", u"OPCFault.Server", server));
        EXPECT_EQ(ServerGetState(server.Get()), static_cast<HRESULT>(state));
    }
    OpcFaultConfig failing{};
    failing.calls[OPC_FAULT_GETSTATUS].result = E_OUTOFMEMORY;
    Configure(failing);
    ComPtr<IOPCServer> server;
    ASSERT_TRUE(ConnectToServer(u"", u"OPCFault.Server", server));
    EXPECT_EQ(ServerGetState(server.Get()), E_FAIL);
}

// ---- ServerCreateGroup --------------------------------------------------------------------

TEST_P(AccessTest, CreateGroupPassesNameFlagAndRate) {
    ComPtr<IOPCServer> server = ConnectFault();
    ASSERT_TRUE(server);
    ComPtr<IOPCItemMgt> group;
    OPCHANDLE handle = 0;
    EXPECT_EQ(access.CreateGroup(server.Get(), u"Grüne Gruppe", -1, 250, group, handle), S_OK);
    EXPECT_TRUE(group);
    EXPECT_NE(handle, 0u);
    const OpcFaultStats stats = Stats();
    EXPECT_STREQ(stats.lastGroupName, "Grüne Gruppe");
    EXPECT_EQ(stats.lastGroupActive, -1);
    EXPECT_EQ(stats.lastUpdateRate, 250u);
    EXPECT_EQ(stats.liveGroups, 1u);
    group = nullptr;
    EXPECT_EQ(server->RemoveGroup(handle, FALSE), S_OK);
}

TEST_P(AccessTest, CreateGroupFailuresLeaveTheGroupEmpty) {
    struct Case {
        const char* label;
        std::function<void(OpcFaultConfig&)> configure;
        bool withServer;
        HRESULT expected;
    } const cases[] = {
        {"no server", [](OpcFaultConfig&) {}, false, E_FAIL},
        {"AddGroup fails",
         [](OpcFaultConfig& c) { c.calls[OPC_FAULT_ADDGROUP].result = E_OUTOFMEMORY; }, true,
         E_OUTOFMEMORY},
        {"group without IOPCItemMgt",
         [](OpcFaultConfig& c) { c.refuse = OPC_FAULT_REFUSE_ITEMMGT; }, true, E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Fault().Reset();
        ComPtr<IOPCServer> server = ConnectFault();
        ASSERT_TRUE(server);
        // The group reference held a group before the call: it is released first.
        ComPtr<IOPCItemMgt> group;
        OPCHANDLE handle = 0;
        ASSERT_EQ(access.CreateGroup(server.Get(), u"Old", -1, 0, group, handle), S_OK);
        ASSERT_EQ(server->RemoveGroup(handle, FALSE), S_OK);
        OpcFaultConfig config{};
        c.configure(config);
        Configure(config);
        EXPECT_EQ(access.CreateGroup(c.withServer ? server.Get() : nullptr, u"Main", -1, 0, group,
                                     handle),
                  c.expected);
        EXPECT_FALSE(group);
        EXPECT_EQ(Stats().liveGroups, 0u);
    }
}

// ---- GroupAddItem / GroupDeleteItem --------------------------------------------------------

TEST_P(AccessTest, AddItemHandsOutHandleAndCanonicalType) {
    Configure(PlantConfig());
    ComPtr<IOPCServer> server;
    ComPtr<IOPCItemMgt> group;
    ASSERT_TRUE(OpenGroup(server, group));
    OPCHANDLE handle = 0;
    VARTYPE canonical = VT_EMPTY;
    EXPECT_EQ(
        access.AddItem(group.Get(), u"Plant.Temperatur.Außen", 0, VT_EMPTY, handle, canonical),
        S_OK);
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(canonical, VT_R8);
    OpcFaultStats stats = Stats();
    EXPECT_STREQ(stats.lastItemId, "Plant.Temperatur.Außen");
    EXPECT_EQ(stats.lastItemActive, -1);
    EXPECT_EQ(stats.lastItemCount, 1u);
    EXPECT_EQ(stats.lastRequestedType, VT_EMPTY);

    OPCHANDLE second = 0;
    EXPECT_EQ(access.AddItem(group.Get(), u"Flat", 0, VT_R8, second, canonical), S_OK);
    EXPECT_EQ(canonical, VT_I4);
    EXPECT_EQ(Stats().lastRequestedType, VT_R8);
    EXPECT_EQ(Stats().itemsInGroups, 2u);

    EXPECT_EQ(GroupDeleteItem(group.Get(), handle), S_OK);
    EXPECT_EQ(Stats().itemsInGroups, 1u);
    EXPECT_EQ(GroupDeleteItem(group.Get(), handle), OPC_E_INVALIDHANDLE);
    EXPECT_EQ(GroupDeleteItem(group.Get(), second), S_OK);
}

TEST_P(AccessTest, AddItemFailuresLeaveTheOutputsUntouched) {
    const OpcFaultItem items[] = {
        {"Good", VT_R8, "1", 1, 0, 0, 0, 0},
        {"Rejected", VT_R8, "1", 1, 0, OPC_E_BADRIGHTS, 0, 0},
        {"Clamped", VT_I4, "3", 1, 0, OPC_S_CLAMP, 0, 0},
        {"Words", VT_BSTR, "not a number", 1, 0, 0, 0, 0},
    };
    constexpr OPCHANDLE kHandle = 0xDEAD;
    constexpr VARTYPE kType = 0x7777;
    struct Case {
        const char* label;
        std::u16string id;
        VARTYPE requested;
        bool callFails;
        HRESULT expected;
        bool outputsSet;
    } const cases[] = {
        {"item rejected", u"Rejected", VT_EMPTY, false, OPC_E_BADRIGHTS, false},
        {"unknown item", u"No.Such.Item", VT_EMPTY, false, OPC_E_UNKNOWNITEMID, false},
        {"type not convertible", u"Words", VT_R8, false, OPC_E_BADTYPE, false},
        {"call fails", u"Good", VT_EMPTY, true, E_OUTOFMEMORY, false},
        {"item success code", u"Clamped", VT_EMPTY, false, OPC_S_CLAMP, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        OpcFaultConfig config{};
        config.items = items;
        config.itemCount = std::size(items);
        Configure(config);
        ComPtr<IOPCServer> server;
        ComPtr<IOPCItemMgt> group;
        ASSERT_TRUE(OpenGroup(server, group));
        if (c.callFails) {
            config.calls[OPC_FAULT_ADDITEMS].result = E_OUTOFMEMORY;
            Configure(config);
        }
        OPCHANDLE handle = kHandle;
        VARTYPE type = kType;
        EXPECT_EQ(access.AddItem(group.Get(), c.id, 0, c.requested, handle, type), c.expected);
        EXPECT_EQ(handle != kHandle, c.outputsSet);
        EXPECT_EQ(type != kType, c.outputsSet);
    }
}

TEST_P(AccessTest, AddItemWithoutGroupOrWithANulInTheIdentifier) {
    OPCHANDLE handle = 5;
    VARTYPE type = VT_I2;
    EXPECT_EQ(access.AddItem(nullptr, u"Number.R8", 0, VT_EMPTY, handle, type), E_FAIL);
    ComPtr<IOPCServer> server;
    ComPtr<IOPCItemMgt> group;
    ASSERT_TRUE(OpenGroup(server, group));
    // Cut at the NUL the identifier would name another item; the server is not asked.
    EXPECT_EQ(GroupAddItem(group.Get(), std::u16string_view(u"Number.R8\0x", 11), 0, VT_EMPTY,
                           handle, type),
              OPC_E_INVALIDITEMID);
    EXPECT_EQ(Stats().calls[OPC_FAULT_ADDITEMS], 0u);
    EXPECT_EQ(handle, 5u);
    EXPECT_EQ(type, VT_I2);
}

TEST_F(OpcTest, DeleteItemAnswersTheCallOrTheItem) {
    EXPECT_EQ(GroupDeleteItem(nullptr, 1), E_FAIL);
    ComPtr<IOPCServer> server;
    ASSERT_TRUE(ConnectToServer(u"", u"OPCFault.Server", server));
    ComPtr<IOPCItemMgt> group;
    OPCHANDLE groupHandle = 0;
    ASSERT_EQ(ServerCreateGroup(server.Get(), u"Main", -1, 0, group, groupHandle), S_OK);
    OPCHANDLE handle = 0;
    VARTYPE type = VT_EMPTY;
    ASSERT_EQ(GroupAddItem(group.Get(), u"Number.R8", 0, VT_EMPTY, handle, type), S_OK);
    OpcFaultConfig config{};
    config.calls[OPC_FAULT_REMOVEITEMS].result = E_OUTOFMEMORY;
    Configure(config);
    EXPECT_EQ(GroupDeleteItem(group.Get(), handle), E_OUTOFMEMORY);
    Fault().Reset();
    EXPECT_EQ(GroupDeleteItem(group.Get(), handle + 100), OPC_E_INVALIDHANDLE);
}

// ---- GroupReadItemText --------------------------------------------------------------------

TEST_P(AccessTest, ReadTextOfEveryKindOfValue) {
    const OpcFaultItem items[] = {
        {"Comma", VT_BSTR, "3,5", 0, 0, 0, 0, 0},
        {"Empty", VT_BSTR, "", 0, 0, 0, 0, 0},
        {"Nothing", VT_EMPTY, nullptr, 0, 0, 0, 0, 0},
        {"True", VT_BOOL, "true", 0, 0, 0, 0, 0},
        {"False", VT_BOOL, "false", 0, 0, 0, 0, 0},
        {"Integer", VT_I4, "-42", 0, 0, 0, 0, 0},
        {"Real", VT_R8, "2.5", 0, OPC_FAULT_QUALITY(OPC_QUALITY_LAST_USABLE), 0, 0, 0},
        {"Text", VT_BSTR, "Grüße", 0, 0, 0, 0, 0},
        {"Broken", VT_R8, "1", 0, 0, 0, OPC_E_BADRIGHTS, 0},
    };
    struct Case {
        std::u16string id;
        HRESULT result;
        std::u16string text;  // upper-cased for booleans
        WORD quality;
        bool upperCase = false;
    } const cases[] = {
        {u"Comma", S_OK, u"3,5", OPC_QUALITY_GOOD},
        {u"Empty", S_OK, u"", OPC_QUALITY_GOOD},
        {u"Nothing", S_OK, u"", OPC_QUALITY_GOOD},
        {u"True", S_OK, u"TRUE", OPC_QUALITY_GOOD, true},
        {u"False", S_OK, u"FALSE", OPC_QUALITY_GOOD, true},
        {u"Integer", S_OK, u"-42", OPC_QUALITY_GOOD},
        {u"Real", S_OK, u"2.5", OPC_QUALITY_LAST_USABLE},
        {u"Text", S_OK, u"Grüße", OPC_QUALITY_GOOD},
        // The item failed: the text and quality are still set from the state handed out.
        {u"Broken", OPC_E_BADRIGHTS, u"", OPC_QUALITY_BAD},
    };
    OpcFaultConfig config{};
    config.items = items;
    config.itemCount = std::size(items);
    Configure(config);
    ComPtr<IOPCServer> server;
    ComPtr<IOPCItemMgt> group;
    ASSERT_TRUE(OpenGroup(server, group));
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.id));
        const OPCHANDLE handle = AddOrFail(group.Get(), c.id);
        std::u16string text = u"stale";
        WORD quality = 0x1234;
        EXPECT_EQ(access.ReadText(group.Get(), handle, text, quality), c.result);
        if (c.upperCase)
            for (char16_t& ch : text)
                ch = ch >= u'a' && ch <= u'z' ? char16_t(ch - 32) : ch;
        EXPECT_EQ(c.id == u"Real" ? AsCallersReadNumbers(text) : text, c.text);
        EXPECT_EQ(quality, c.quality);
        EXPECT_EQ(Stats().lastReadSource, static_cast<uint32_t>(OPC_DS_CACHE));
        EXPECT_EQ(Stats().lastItemCount, 1u);
    }
}

TEST_P(AccessTest, ReadFailuresOfTheCallLeaveTextAndQualityUntouched) {
    struct Case {
        const char* label;
        std::function<void(OpcFaultConfig&)> configure;
        bool withGroup;
        HRESULT expected;
    } const cases[] = {
        {"no group", [](OpcFaultConfig&) {}, false, E_FAIL},
        {"no IOPCSyncIO", [](OpcFaultConfig& c) { c.refuse = OPC_FAULT_REFUSE_SYNCIO; }, true,
         E_FAIL},
        {"read call fails",
         [](OpcFaultConfig& c) { c.calls[OPC_FAULT_READ].result = E_OUTOFMEMORY; }, true,
         E_OUTOFMEMORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Fault().Reset();
        ComPtr<IOPCServer> server;
        ComPtr<IOPCItemMgt> group;
        ASSERT_TRUE(OpenGroup(server, group));
        const OPCHANDLE handle = AddOrFail(group.Get(), u"Number.R8");
        OpcFaultConfig config{};
        c.configure(config);
        Configure(config);
        std::u16string text = u"stale";
        WORD quality = 0x1234;
        EXPECT_EQ(access.ReadText(c.withGroup ? group.Get() : nullptr, handle, text, quality),
                  c.expected);
        EXPECT_EQ(text, u"stale");
        EXPECT_EQ(quality, 0x1234);
    }
}

TEST_F(OpcTest, ReadItemStateKeepsValueQualityAndTimeStamp) {
    ComPtr<IOPCServer> server;
    ASSERT_TRUE(ConnectToServer(u"", u"OPCFault.Server", server));
    ComPtr<IOPCItemMgt> group;
    OPCHANDLE groupHandle = 0;
    ASSERT_EQ(ServerCreateGroup(server.Get(), u"Main", -1, 0, group, groupHandle), S_OK);
    OPCHANDLE handle = 0;
    VARTYPE type = VT_EMPTY;
    ASSERT_EQ(GroupAddItem(group.Get(), u"Number.R8", 0, VT_EMPTY, handle, type), S_OK);

    OpcItemReading reading;
    EXPECT_EQ(GroupReadItemState(group.Get(), handle, OPC_DS_DEVICE, reading), S_OK);
    EXPECT_TRUE(reading.received);
    EXPECT_EQ(reading.value.get().vt, VT_R8);
    EXPECT_EQ(reading.value.get().dblVal, 2.5);
    EXPECT_EQ(reading.quality, OPC_QUALITY_GOOD);
    EXPECT_NE(reading.timeStamp.dwHighDateTime, 0u);
    EXPECT_EQ(Stats().lastReadSource, static_cast<uint32_t>(OPC_DS_DEVICE));

    OpcFaultConfig config{};
    config.calls[OPC_FAULT_READ].result = E_FAIL;
    Configure(config);
    OpcItemReading failed;
    EXPECT_EQ(GroupReadItemState(group.Get(), handle, OPC_DS_CACHE, failed), E_FAIL);
    EXPECT_FALSE(failed.received);
}

// ---- GroupWriteItemValue ------------------------------------------------------------------

TEST_F(OpcTest, WriteValueReachesTheItemAndLeavesTheCallersValueAlone) {
    ComPtr<IOPCServer> server;
    ASSERT_TRUE(ConnectToServer(u"", u"OPCFault.Server", server));
    ComPtr<IOPCItemMgt> group;
    OPCHANDLE groupHandle = 0;
    ASSERT_EQ(ServerCreateGroup(server.Get(), u"Main", -1, 0, group, groupHandle), S_OK);
    OPCHANDLE number = 0, text = 0;
    VARTYPE type = VT_EMPTY;
    ASSERT_EQ(GroupAddItem(group.Get(), u"Number.R8", 0, VT_EMPTY, number, type), S_OK);
    ASSERT_EQ(GroupAddItem(group.Get(), u"Text.Comma", 0, VT_EMPTY, text, type), S_OK);

    EXPECT_EQ(GroupWriteItemValue(group.Get(), number, Variant::FromDouble(7.25).get()), S_OK);
    char value[64] = {};
    ASSERT_GE(Fault().ItemValue("Number.R8", value, sizeof value), 0);
    EXPECT_STREQ(value, "7.25");
    EXPECT_EQ(Stats().lastItemCount, 1u);

    const Variant words = Variant::FromText(u"4,75");
    EXPECT_EQ(GroupWriteItemValue(group.Get(), text, words.get()), S_OK);
    ASSERT_GE(Fault().ItemValue("Text.Comma", value, sizeof value), 0);
    EXPECT_STREQ(value, "4,75");
    ASSERT_EQ(words.get().vt, VT_BSTR);
    EXPECT_EQ(std::u16string(words.get().bstrVal), u"4,75");
}

TEST_F(OpcTest, WriteFailuresAreAnswered) {
    const OpcFaultItem items[] = {
        {"Writable", VT_R8, "1", 1, 0, 0, 0, 0},
        {"Refusing", VT_R8, "1", 1, 0, 0, 0, OPC_E_BADRIGHTS},
    };
    struct Case {
        const char* label;
        const char* item;
        std::function<void(OpcFaultConfig&)> configure;
        bool withGroup;
        HRESULT expected;
    } const cases[] = {
        {"no group", "Writable", [](OpcFaultConfig&) {}, false, E_FAIL},
        {"no IOPCSyncIO", "Writable", [](OpcFaultConfig& c) { c.refuse = OPC_FAULT_REFUSE_SYNCIO; },
         true, E_FAIL},
        {"write call fails", "Writable",
         [](OpcFaultConfig& c) { c.calls[OPC_FAULT_WRITE].result = E_OUTOFMEMORY; }, true,
         E_OUTOFMEMORY},
        {"item refuses", "Refusing", [](OpcFaultConfig&) {}, true, OPC_E_BADRIGHTS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        OpcFaultConfig config{};
        config.items = items;
        config.itemCount = std::size(items);
        Configure(config);
        ComPtr<IOPCServer> server;
        ASSERT_TRUE(ConnectToServer(u"", u"OPCFault.Server", server));
        ComPtr<IOPCItemMgt> group;
        OPCHANDLE groupHandle = 0;
        ASSERT_EQ(ServerCreateGroup(server.Get(), u"Main", -1, 0, group, groupHandle), S_OK);
        OPCHANDLE handle = 0;
        VARTYPE type = VT_EMPTY;
        ASSERT_EQ(GroupAddItem(group.Get(), Utf8ToUtf16(c.item), 0, VT_EMPTY, handle, type), S_OK);
        c.configure(config);
        Configure(config);
        EXPECT_EQ(GroupWriteItemValue(c.withGroup ? group.Get() : nullptr, handle,
                                      Variant::FromDouble(9.5).get()),
                  c.expected);
        char value[64] = {};
        ASSERT_GE(Fault().ItemValue(c.item, value, sizeof value), 0);
        EXPECT_STREQ(value, "1");
    }
}

// ---- The simulation server ----------------------------------------------------------------

class SimulationServerTest : public AccessTest {
  protected:
    void SetUp() override {
        AccessTest::SetUp();
        ASSERT_EQ(korva::test::RegisterSimulationServer(), S_OK)
            << "cannot register " << korva::test::SimulationServerModulePath();
        // The simulation server builds its address spaces, with their texts in task memory,
        // when it is first used, and keeps them for the life of the process.
        for (const char16_t* progId : {u"OPCSim.Server", u"OPCSim.FlatServer.1"}) {
            ComPtr<IOPCServer> server;
            ASSERT_TRUE(ConnectToServer(u"", progId, server));
        }
        ResetTaskMemoryBaseline();
    }
};

INSTANTIATE_TEST_SUITE_P(Variants, SimulationServerTest,
                         ::testing::Values(TextVariant::Utf16, TextVariant::Ansi), VariantName);

TEST_P(SimulationServerTest, BrowsesBothAddressSpaces) {
    struct Case {
        std::u16string server;
        OPCNAMESPACETYPE organization;
    } const cases[] = {
        {u"OPCSim.Server.1", OPC_NS_HIERARCHIAL},
        {u"OPCSim.Server", OPC_NS_HIERARCHIAL},
        {u"OPCSim.FlatServer.1", OPC_NS_FLAT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.server));
        ComPtr<IOPCServer> server;
        ASSERT_TRUE(access.Connect(u"", c.server, server));
        std::vector<std::u16string> items;
        auto organization = static_cast<OPCNAMESPACETYPE>(0);
        access.Browse(server.Get(), items, organization);
        EXPECT_EQ(organization, c.organization);
        EXPECT_FALSE(items.empty());
        if (c.organization == OPC_NS_HIERARCHIAL) {
            EXPECT_NE(std::find(items.begin(), items.end(), u"Signals.Sine"), items.end());
            EXPECT_NE(std::find(items.begin(), items.end(), u"Registers.R8"), items.end());
        }
        EXPECT_EQ(ServerGetState(server.Get()), static_cast<HRESULT>(OPC_STATUS_RUNNING));
    }
}

TEST_P(SimulationServerTest, WritesAndReadsARegister) {
    ComPtr<IOPCServer> server;
    ASSERT_TRUE(access.Connect(u"", u"OPCSim.Server", server));
    ComPtr<IOPCItemMgt> group;
    OPCHANDLE groupHandle = 0;
    // Rate 0: the cache is refreshed at every read, so a read sees the write at once.
    ASSERT_EQ(access.CreateGroup(server.Get(), u"Main", -1, 0, group, groupHandle), S_OK);
    OPCHANDLE r8 = 0, bstr = 0;
    VARTYPE type = VT_EMPTY;
    ASSERT_EQ(access.AddItem(group.Get(), u"Registers.R8", 0, VT_EMPTY, r8, type), S_OK);
    EXPECT_EQ(type, VT_R8);
    ASSERT_EQ(access.AddItem(group.Get(), u"Registers.BSTR", 0, VT_EMPTY, bstr, type), S_OK);
    EXPECT_EQ(type, VT_BSTR);

    EXPECT_EQ(GroupWriteItemValue(group.Get(), r8, Variant::FromDouble(12.5).get()), S_OK);
    EXPECT_EQ(GroupWriteItemValue(group.Get(), bstr, Variant::FromText(u"Grüße").get()), S_OK);
    std::u16string text;
    WORD quality = 0;
    EXPECT_EQ(access.ReadText(group.Get(), r8, text, quality), S_OK);
    EXPECT_EQ(AsCallersReadNumbers(text), u"12.5");
    EXPECT_EQ(quality & OPC_QUALITY_MASK, OPC_QUALITY_GOOD);
    EXPECT_EQ(access.ReadText(group.Get(), bstr, text, quality), S_OK);
    EXPECT_EQ(text, u"Grüße");

    EXPECT_EQ(GroupDeleteItem(group.Get(), r8), S_OK);
    EXPECT_EQ(GroupDeleteItem(group.Get(), bstr), S_OK);
    group = nullptr;
    EXPECT_EQ(server->RemoveGroup(groupHandle, FALSE), S_OK);
}

}  // namespace
}  // namespace opctest

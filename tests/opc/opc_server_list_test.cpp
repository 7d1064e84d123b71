// The server enumeration: the registry scan, the server list component (the fixture's fake one
// and the real one), duplicates, the status fields, and EnumerateServers in both text variants.
#include <gtest/gtest.h>

#include <functional>

#include "opc/opc_server_list.h"
#include "platform/registry/registry.h"
#include "platform/text/text.h"
#include "tests/opc/opc_test_support.h"
#include "tests/support/test_servers.h"

namespace opctest {
namespace {

constexpr CATID kDataAccess20[] = {CATID_OPCDAServer20};
const std::u16string kFaultClsidText = u"{1FC820C7-D9E1-4CCD-8FA4-140B0536DFEE}";

// An entry as a test expects it.
struct Entry {
    std::u16string name;
    std::u16string classId;
    std::u16string description;
    std::u16string vendor;
    friend bool operator==(const Entry&, const Entry&) = default;
};

void PrintTo(const Entry& e, std::ostream* os) {
    *os << "{" << Utf16ToUtf8(e.name) << ", " << Utf16ToUtf8(e.classId) << ", \""
        << Utf16ToUtf8(e.description) << "\", \"" << Utf16ToUtf8(e.vendor) << "\"}";
}

std::vector<Entry> EntriesOf(const TOPCServerList& list) {
    std::vector<Entry> entries;
    for (int i = 0; i < list.ServerCount(); ++i) {
        const TOPCServerInfo& info = list.Servers()->Objects(static_cast<size_t>(i));
        EXPECT_EQ(info.ProgID, list.Servers()->Strings(static_cast<size_t>(i)));
        EXPECT_EQ(info.ClassID, list.ClassIDAt(i));
        entries.push_back({info.ProgID, GuidToString(info.ClassID), info.Description, info.Vendor});
    }
    return entries;
}

// A ProgID key: its CLSID (none: unresolvable), description and "OPC" sub-key with vendor.
void WriteProgId(const std::string& progId, const char* clsid, const char* description, bool opc,
                 const char* vendor = nullptr) {
    WriteKey(progId, description ? std::optional<std::string>(description) : std::nullopt);
    if (clsid)
        WriteKey(progId + "\\CLSID", clsid);
    if (opc)
        WriteKey(progId + "\\OPC");
    if (vendor)
        WriteKey(progId + "\\OPC\\Vendor", vendor);
}

class ServerListTest : public OpcTest {};

TEST_F(ServerListTest, ServerCountIsZeroWhileTheListIsAbsent) {
    TOPCServerList list(u"", {}, true);
    EXPECT_EQ(list.ServerCount(), 0);
    EXPECT_EQ(list.Servers(), nullptr);
    EXPECT_EQ(list.ClassIDAt(0), GUID_NULL);
    EXPECT_FALSE(list.UseServerList());
    EXPECT_TRUE(list.UseRegistry());

    EXPECT_EQ(list.Refresh(), 1);
    ASSERT_NE(list.Servers(), nullptr);
    EXPECT_EQ(list.ClassIDAt(1), GUID_NULL);
    EXPECT_EQ(list.ClassIDAt(-1), GUID_NULL);
    list.ClearServers();
    EXPECT_EQ(list.ServerCount(), 0);
    EXPECT_EQ(list.Servers(), nullptr);
}

TEST_F(ServerListTest, RegistryScanListsEachOpcClassOnceSortedByName) {
    WriteProgId("Zeta.Server", "{00000000-0000-0000-0000-00000000000A}", "Zeta", true,
                "Zeta Works");
    // Same class, later in the registry's key order: not listed.
    WriteProgId("Zeta.Server.2", "{00000000-0000-0000-0000-00000000000A}", "Zeta 2", true, "Z");
    WriteProgId("alpha.server", "{00000000-0000-0000-0000-00000000000B}", nullptr, true);
    WriteProgId("Beta.Server", "{00000000-0000-0000-0000-00000000000C}", nullptr, true);
    {
        // A default value that is not a string reads as no description.
        TRegistry registry(KEY_ALL_ACCESS);
        registry.SetRootKey(HKEY_CLASSES_ROOT);
        ASSERT_TRUE(registry.OpenKey("\\Beta.Server", false));
        ASSERT_TRUE(registry.WriteInteger("", 7));
    }
    WriteProgId("Ghost.Server", nullptr, "Unresolvable", true, "Nobody");
    WriteProgId("Plain.Class", "{00000000-0000-0000-0000-00000000000D}", "Not OPC", false);
    WriteProgId("Broken.Clsid", "not a class identifier", "Broken", true);

    TOPCServerList list(u"", {}, true);
    EXPECT_EQ(list.Refresh(), 4);
    const std::vector<Entry> expected = {
        {u"alpha.server", u"{00000000-0000-0000-0000-00000000000B}", u"", u""},
        {u"Beta.Server", u"{00000000-0000-0000-0000-00000000000C}", u"", u""},
        // The fault server's two ProgIDs share a class: the first in key order stays.
        {u"OPCFault.Server", kFaultClsidText, u"OPC Fault Injection Server",
         u"Felmaran Test Fixtures"},
        {u"Zeta.Server", u"{00000000-0000-0000-0000-00000000000A}", u"Zeta", u"Zeta Works"},
    };
    EXPECT_EQ(EntriesOf(list), expected);
    EXPECT_TRUE(list.RegistryReachable());
    EXPECT_TRUE(list.RegistryScanned());
    EXPECT_FALSE(list.ServerListUsed());
    EXPECT_EQ(list.ServerListFailed(), 0);
    EXPECT_EQ(list.Servers()->IndexOf(u"ZETA.SERVER"), 3);
    EXPECT_EQ(list.Servers()->IndexOf(u"Zeta.Server.2"), -1);

    // A second refresh rebuilds the same list.
    EXPECT_EQ(list.Refresh(), 4);
    EXPECT_EQ(EntriesOf(list), expected);
}

TEST_F(ServerListTest, ScanProgressIsReportedBeforeEveryKey) {
    TRegistry registry(KEY_READ);
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(registry.OpenKeyReadOnly("\\"));
    const int keys = static_cast<int>(registry.GetKeyNames().size());
    ASSERT_GT(keys, 2);

    TOPCServerList list(u"", {}, true);
    std::vector<int> indexes;
    list.OnScanProgress = [&](TOPCServerList& sender, int index, int count) {
        EXPECT_EQ(&sender, &list);
        EXPECT_EQ(count, keys);
        indexes.push_back(index);
    };
    list.Refresh();
    ASSERT_EQ(static_cast<int>(indexes.size()), keys);
    for (int i = 0; i < keys; ++i)
        EXPECT_EQ(indexes[static_cast<size_t>(i)], i);
}

// The fixture's fake server list component stands in for the machine's.
class FakeServerListTest : public ServerListTest {
  protected:
    void SetUp() override {
        ServerListTest::SetUp();
        ASSERT_EQ(Fault().RegisterAsServerList(), S_OK);
    }
};

TEST_F(FakeServerListTest, ComponentListsClassesOnceByClassAndName) {
    const OpcFaultClass classes[] = {
        {"{00000000-0000-0000-0000-0000000000A1}", "Alpha.Server", "Alpha", "Alpha", 0},
        {"{00000000-0000-0000-0000-0000000000B1}", "beta.server", nullptr, nullptr, 0},
        // Same name as the first but for letter case: refused.
        {"{00000000-0000-0000-0000-0000000000A2}", "ALPHA.SERVER", "Shouting", nullptr, 0},
        // Same class as the first: refused.
        {"{00000000-0000-0000-0000-0000000000A1}", "Alpha.Server.2", "Alpha 2", nullptr, 0},
        // No name to list it under.
        {"{00000000-0000-0000-0000-0000000000C1}", nullptr, "Nameless", nullptr, 0},
        // Details cannot be read.
        {"{00000000-0000-0000-0000-0000000000D1}", "Delta.Server", "Delta", nullptr, E_FAIL},
        {"{00000000-0000-0000-0000-0000000000E1}", "Echo.Server", "Echo", "Echo", 0},
    };
    const std::vector<Entry> all = {
        {u"Alpha.Server", u"{00000000-0000-0000-0000-0000000000A1}", u"Alpha", u""},
        {u"beta.server", u"{00000000-0000-0000-0000-0000000000B1}", u"", u""},
        {u"Echo.Server", u"{00000000-0000-0000-0000-0000000000E1}", u"Echo", u""},
    };
    const std::vector<Entry> none;
    struct Case {
        const char* label;
        std::function<void(OpcFaultConfig&)> configure;
        std::vector<Entry> entries;
        bool used;
        int32_t failed;
        HRESULT result = S_OK;
    } const cases[] = {
        {"newer interface", [](OpcFaultConfig&) {}, all, true, 0},
        {"older interface only", [](OpcFaultConfig& c) { c.refuse = OPC_FAULT_REFUSE_LIST2; }, all,
         true, 0},
        {"neither interface",
         [](OpcFaultConfig& c) { c.refuse = OPC_FAULT_REFUSE_LIST2 | OPC_FAULT_REFUSE_LIST; }, none,
         false, 0, E_NOINTERFACE},
        {"component cannot be created",
         [](OpcFaultConfig& c) { c.calls[OPC_FAULT_CREATE_LIST].result = E_OUTOFMEMORY; }, none,
         false, 1, E_OUTOFMEMORY},
        {"category query fails",
         [](OpcFaultConfig& c) { c.calls[OPC_FAULT_ENUMCLASSES].result = E_FAIL; }, none, true, 0},
        {"enumerator ends at once",
         [](OpcFaultConfig& c) { c.classEnum.mode = OPC_FAULT_ENUM_EMPTY; }, none, true, 0},
        {"enumerator fails after one",
         [](OpcFaultConfig& c) {
             c.classEnum.mode = OPC_FAULT_ENUM_FAIL_AFTER;
             c.classEnum.failAfter = 1;
         },
         {all[0]},
         true,
         0},
        {"details never readable",
         [](OpcFaultConfig& c) { c.calls[OPC_FAULT_GETCLASSDETAILS].result = E_OUTOFMEMORY; }, none,
         true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        OpcFaultConfig config{};
        config.classes = classes;
        config.classCount = std::size(classes);
        c.configure(config);
        Configure(config);
        TOPCServerList list(u"", kDataAccess20, false);
        EXPECT_TRUE(list.UseServerList());
        list.Refresh();
        EXPECT_EQ(EntriesOf(list), c.entries);
        EXPECT_EQ(list.ServerListUsed(), c.used);
        EXPECT_EQ(list.ServerListFailed(), c.failed);
        EXPECT_EQ(list.ServerListResult(), c.result);
        EXPECT_FALSE(list.RegistryScanned());
        if (c.used) {
            const OpcFaultStats stats = Stats();
            EXPECT_STREQ(stats.lastCategory, "{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}");
            EXPECT_EQ(stats.lastImplementedCount, 1u);
            EXPECT_EQ(stats.lastRequiredCount, 0u);
        }
    }
}

TEST_F(FakeServerListTest, EveryCategoryIsAskedInOrder) {
    constexpr CATID kBoth[] = {CATID_OPCDAServer10, CATID_OPCDAServer20};
    TOPCServerList list(u"", kBoth, false);
    EXPECT_EQ(list.Categories(), std::vector<CATID>(std::begin(kBoth), std::end(kBoth)));
    EXPECT_EQ(list.Refresh(), 1);  // the same class under both categories
    const OpcFaultStats stats = Stats();
    EXPECT_EQ(stats.calls[OPC_FAULT_ENUMCLASSES], 2u);
    EXPECT_STREQ(stats.lastCategory, "{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}");
}

TEST_F(FakeServerListTest, TheRegistrysEntryWinsOverTheComponents) {
    // The component reports the fault server's class under its versioned ProgID and with a
    // name that differs from a registry entry only in case.
    WriteProgId("Alpha.Server", "{00000000-0000-0000-0000-0000000000A1}", "From registry", true,
                "Registry Vendor");
    const OpcFaultClass classes[] = {
        {OPC_FAULT_SERVER_CLSID, "OPCFault.Server.1", "From component", nullptr, 0},
        {"{00000000-0000-0000-0000-0000000000A2}", "ALPHA.SERVER", "Other class", nullptr, 0},
        {"{00000000-0000-0000-0000-0000000000B2}", "Bravo.Server", "Only here", nullptr, 0},
    };
    OpcFaultConfig config{};
    config.classes = classes;
    config.classCount = std::size(classes);
    Configure(config);
    TOPCServerList list(u"", kDataAccess20, true);
    list.Refresh();
    const std::vector<Entry> expected = {
        {u"Alpha.Server", u"{00000000-0000-0000-0000-0000000000A1}", u"From registry",
         u"Registry Vendor"},
        {u"Bravo.Server", u"{00000000-0000-0000-0000-0000000000B2}", u"Only here", u""},
        {u"OPCFault.Server", kFaultClsidText, u"OPC Fault Injection Server",
         u"Felmaran Test Fixtures"},
    };
    EXPECT_EQ(EntriesOf(list), expected);
    EXPECT_TRUE(list.RegistryScanned());
    EXPECT_TRUE(list.ServerListUsed());
}

TEST_F(FakeServerListTest, NamedMachineWithUnreachableRegistryListsTheComponentsServers) {
    auto remote = std::make_shared<FakeRemoteActivation>();
    UseRemote(remote);
    ActivationRecorder recorder;
    TOPCServerList list(u"plant-a", kDataAccess20, true);
    EXPECT_EQ(list.Refresh(), 1);
    EXPECT_FALSE(list.RegistryReachable());
    EXPECT_FALSE(list.RegistryScanned());
    EXPECT_TRUE(list.ServerListUsed());
    EXPECT_EQ(list.ServerListFailed(), 0);
    const std::vector<Entry> expected = {
        {u"OPCFault.Server.1", kFaultClsidText, u"OPC Fault Injection Server", u""}};
    EXPECT_EQ(EntriesOf(list), expected);

    // Created exactly as a connection to that machine would be.
    ASSERT_EQ(remote->Machines(), std::vector<std::u16string>{u"plant-a"});
    EXPECT_EQ(remote->Classes().front(), CLSID_OpcServerList);
    const std::vector<ActivationRecord> records = recorder.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].distributed);
    EXPECT_EQ(records[0].context, static_cast<DWORD>(CLSCTX_REMOTE_SERVER));
    EXPECT_EQ(records[0].machine, u"plant-a");
}

TEST_F(FakeServerListTest, NamedMachineThatCannotBeReachedAtAllGivesAnEmptyList) {
    for (const std::u16string& machine : {std::u16string(u"plant-a"), std::u16string(1001, u'm')}) {
        TOPCServerList list(machine, kDataAccess20, true);
        EXPECT_EQ(list.Refresh(), 0);
        EXPECT_FALSE(list.RegistryReachable());
        EXPECT_EQ(list.ServerListFailed(), 1);
        EXPECT_FALSE(list.ServerListUsed());
    }
}

// ---- EnumerateServers ---------------------------------------------------------------------

class EnumerateTest : public FakeServerListTest, public ::testing::WithParamInterface<TextVariant> {
  protected:
    Access access{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Variants, EnumerateTest,
                         ::testing::Values(TextVariant::Utf16, TextVariant::Ansi), VariantName);

TEST_P(EnumerateTest, ThisComputerIsListedFromItsRegistryAlone) {
    WriteProgId("Wärme.Server", "{00000000-0000-0000-0000-00000000000A}", "Heat", true, "Ölwerk");
    std::vector<std::u16string> names = {u"left over"};
    std::vector<std::u16string> classIds = {u"left", u"over"};
    access.Enumerate(u"", names, classIds);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"OPCFault.Server", u"Wärme.Server"}));
    EXPECT_EQ(classIds, (std::vector<std::u16string>{kFaultClsidText,
                                                     u"{00000000-0000-0000-0000-00000000000A}"}));
    const OpcFaultStats stats = Stats();
    EXPECT_EQ(stats.calls[OPC_FAULT_CREATE_LIST], 0u);
    EXPECT_EQ(stats.calls[OPC_FAULT_ENUMCLASSES], 0u);
}

TEST_P(EnumerateTest, ANamedMachineIsAskedThroughItsServerListToo) {
    const OpcFaultClass classes[] = {
        {OPC_FAULT_SERVER_CLSID, "OPCFault.Server.1", "Fault", nullptr, 0},
        {"{00000000-0000-0000-0000-0000000000B2}", "Bravo.Server", "Bravo", nullptr, 0},
    };
    OpcFaultConfig config{};
    config.classes = classes;
    config.classCount = std::size(classes);
    Configure(config);
    auto remote = std::make_shared<FakeRemoteActivation>();
    UseRemote(remote);
    struct Case {
        const char* label;
        std::u16string machine;
        std::vector<std::u16string> names;
        std::vector<std::u16string> classIds;
    } const cases[] = {
        // This computer named explicitly: its registry and its component.
        {"computer name",
         SwapCase(ComputerName()),
         {u"Bravo.Server", u"OPCFault.Server"},
         {u"{00000000-0000-0000-0000-0000000000B2}", kFaultClsidText}},
        // Another machine: its registry cannot be reached; its component answers.
        {"another machine",
         u"plant-a",
         {u"Bravo.Server", u"OPCFault.Server.1"},
         {u"{00000000-0000-0000-0000-0000000000B2}", kFaultClsidText}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<std::u16string> names, classIds;
        access.Enumerate(c.machine, names, classIds);
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(classIds, c.classIds);
    }
}

TEST_P(EnumerateTest, AnUnreachableMachineGivesEmptyLists) {
    std::vector<std::u16string> names = {u"left over"};
    std::vector<std::u16string> classIds = {u"left over"};
    access.Enumerate(u"plant-a", names, classIds);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(classIds.empty());
}

// ---- The real server list component -------------------------------------------------------

TEST_F(ServerListTest, TheMachinesServerListComponentListsRegisteredServers) {
    ASSERT_EQ(korva::test::RegisterServerListComponent(), S_OK)
        << "cannot register " << korva::test::ServerListModulePath();
    TOPCServerList list(u"", kDataAccess20, false);
    EXPECT_EQ(list.Refresh(), 1);
    EXPECT_TRUE(list.ServerListUsed());
    const std::vector<Entry> expected = {
        {u"OPCFault.Server.1", kFaultClsidText, u"OPC Fault Injection Server", u""}};
    EXPECT_EQ(EntriesOf(list), expected);
}

}  // namespace
}  // namespace opctest

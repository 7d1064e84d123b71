// The module as the COM runtime and regsvr use it: registration writes the expected keys and
// unregistration restores the registry, objects come from CoCreateInstance by ProgID, and
// regsvr reports each of its failures with its own exit code.
#include <dlfcn.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/registry/registry.h"
#include "platform/text/text.h"
#include "servers/common/registration.h"
#include "tests/servers/opcsim_test_support.h"
#include "tests/support/private_registry.h"
#include "tests/support/test_servers.h"

namespace opcsim::test {
namespace {

const std::string kBin = KORVA_BIN_DIR;

// Every key and value of HKEY_CLASSES_ROOT, one line each, in a stable order.
std::set<std::string> Snapshot() {
    std::set<std::string> lines;
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
        const std::string path = pending.back();
        pending.pop_back();
        TRegistry reg(KEY_READ);
        reg.SetRootKey(HKEY_CLASSES_ROOT);
        if (!reg.OpenKeyReadOnly("\\" + path))
            continue;
        lines.insert("[" + path + "]");
        for (const std::string& name : reg.GetValueNames()) {
            std::optional<RegValue> v = reg.ReadValue(name);
            if (!v)
                continue;
            lines.insert("[" + path + "] " + name + "=" + std::to_string(v->type) + ":" + v->text +
                         ":" + std::to_string(v->number) + ":" + std::to_string(v->data.size()));
        }
        for (const std::string& sub : reg.GetKeyNames())
            pending.push_back(path.empty() ? sub : path + "\\" + sub);
    }
    return lines;
}

std::optional<std::string> ReadDefault(const std::string& path, const std::string& name = "") {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    if (!reg.OpenKeyReadOnly("\\" + path))
        return std::nullopt;
    return reg.ReadString(name);
}

void WriteDefault(const std::string& path, const std::string& text) {
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(reg.OpenKey("\\" + path, true)) << path;
    ASSERT_TRUE(reg.WriteString("", text));
}

std::string Canonical(const std::string& path) {
    return std::filesystem::weakly_canonical(path).string();
}

class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(com_.Succeeded());
        taskMemoryBaseline_ = CoTaskMemLiveBlocks();
    }
    void TearDown() override { EXPECT_EQ(CoTaskMemLiveBlocks(), taskMemoryBaseline_); }

    korva::test::PrivateRegistry registry_;
    korva::test::ScopedEnv noFile_{kAddressSpaceVariable, std::nullopt};
    ComInit com_{COINIT_APARTMENTTHREADED};
    size_t taskMemoryBaseline_ = 0;
};

TEST_F(ModuleTest, RegisteredClassesAreCreatedByProgId) {
    ASSERT_HR(S_OK, korva::test::RegisterSimulationServer());
    struct Case {
        const char16_t* progId;
        CLSID clsid;
        OPCNAMESPACETYPE organization;
    };
    for (const Case& c : {Case{u"OPCSim.Server.1", CLSID_OPCSimServer, OPC_NS_HIERARCHIAL},
                          Case{u"OPCSim.Server", CLSID_OPCSimServer, OPC_NS_HIERARCHIAL},
                          Case{u"OPCSim.FlatServer.1", CLSID_OPCSimFlatServer, OPC_NS_FLAT},
                          Case{u"OPCSim.FlatServer", CLSID_OPCSimFlatServer, OPC_NS_FLAT}}) {
        SCOPED_TRACE(Utf16ToUtf8(c.progId));
        CLSID clsid{};
        ASSERT_HR(S_OK, CLSIDFromProgID(c.progId, &clsid));
        EXPECT_EQ(clsid, c.clsid);
        ComPtr<IOPCServer> server;
        ASSERT_HR(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                         IID_IOPCServer, server.AsOut()));
        ComPtr<IOPCBrowseServerAddressSpace> browse;
        ASSERT_HR(S_OK, server.As(&browse));
        OPCNAMESPACETYPE organization{};
        ASSERT_HR(S_OK, browse->QueryOrganization(&organization));
        EXPECT_EQ(organization, c.organization);
        EXPECT_EQ(ServerState(server.Get()), OPC_STATUS_RUNNING);
    }
    LPOLESTR progId = nullptr;
    ASSERT_HR(S_OK, ProgIDFromCLSID(CLSID_OPCSimServer, &progId));
    EXPECT_EQ(std::u16string(progId), u"OPCSim.Server.1");
    CoTaskMemFree(progId);

    // A value through the module's objects.
    ComPtr<IOPCServer> server;
    ASSERT_HR(S_OK, CoCreateInstance(CLSID_OPCSimServer, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IOPCServer, server.AsOut()));
    ComPtr<IOPCItemMgt> group;
    ASSERT_HR(S_OK, server->AddGroup(u"Main", TRUE, 0, 0, nullptr, nullptr, 0, nullptr, nullptr,
                                     IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN*>(group.AsOut())));
    AddResult added = AddItem(group.Get(), u"Signals.Constant");
    EXPECT_EQ(AsDouble(ReadItem(group.Get(), added.handle).value.get()), 42.5);
}

TEST_F(ModuleTest, RegistrationWritesTheServerKeys) {
    ASSERT_HR(S_OK, korva::test::RegisterSimulationServer());
    const std::string module = Canonical(korva::test::SimulationServerModulePath());
    struct Class {
        CLSID clsid;
        std::string progId, viProgId, userType;
    };
    for (const Class& c :
         {Class{CLSID_OPCSimServer, kServerProgId, kServerViProgId, kServerUserType},
          Class{CLSID_OPCSimFlatServer, kFlatServerProgId, kFlatServerViProgId,
                kFlatServerUserType}}) {
        SCOPED_TRACE(c.progId);
        const std::string clsid = GuidToAnsi(c.clsid);
        const std::string key = "CLSID\\" + clsid;
        for (const std::string& progId : {c.progId, c.viProgId}) {
            EXPECT_EQ(ReadDefault(progId), c.userType);
            EXPECT_EQ(ReadDefault(progId + "\\CLSID"), clsid);
            EXPECT_EQ(ReadDefault(progId + "\\OPC\\Vendor"), "Felmaran");
        }
        EXPECT_EQ(ReadDefault(c.viProgId + "\\CurVer"), c.progId);
        EXPECT_EQ(ReadDefault(key), c.userType);
        EXPECT_EQ(ReadDefault(key + "\\InprocServer32"), module);
        EXPECT_EQ(ReadDefault(key + "\\InprocServer32", "ThreadingModel"), "Both");
        EXPECT_EQ(ReadDefault(key + "\\ProgID"), c.progId);
        EXPECT_EQ(ReadDefault(key + "\\VersionIndependentProgID"), c.viProgId);
        TRegistry reg(KEY_READ);
        reg.SetRootKey(HKEY_CLASSES_ROOT);
        ASSERT_TRUE(reg.OpenKeyReadOnly("\\" + key + "\\Implemented Categories"));
        const std::vector<std::string> categories = reg.GetKeyNames();
        EXPECT_EQ(std::set<std::string>(categories.begin(), categories.end()),
                  (std::set<std::string>{GuidToAnsi(CATID_OPCDAServer10),
                                         GuidToAnsi(CATID_OPCDAServer20)}));
    }
}

TEST_F(ModuleTest, UnregistrationLeavesTheRegistryAsBefore) {
    const std::string module = korva::test::SimulationServerModulePath();
    // First on an empty registry, then on one with other classes and a value in "CLSID".
    for (bool populated : {false, true}) {
        SCOPED_TRACE(populated ? "populated" : "empty");
        if (populated) {
            WriteDefault("CLSID\\{00000000-1111-2222-3333-444444444444}\\InprocServer32",
                         "/usr/lib/other.so");
            WriteDefault("CLSID", "class identifiers");
            WriteDefault("Other.Server.1\\CLSID", "{00000000-1111-2222-3333-444444444444}");
        }
        const std::set<std::string> before = Snapshot();
        ASSERT_HR(S_OK, korva::test::RegisterModule(module));
        EXPECT_NE(Snapshot(), before);
        ASSERT_HR(S_OK, korva::test::RegisterModule(module)) << "registering twice is fine";
        ASSERT_HR(S_OK, korva::test::UnregisterModule(module));
        EXPECT_EQ(Snapshot(), before);
        ASSERT_HR(S_OK, korva::test::UnregisterModule(module)) << "nothing left to remove";
        EXPECT_EQ(Snapshot(), before);
    }
}

TEST_F(ModuleTest, AProgIdTakenOverByAnotherClassStays) {
    ASSERT_HR(S_OK, korva::test::RegisterSimulationServer());
    const std::string other = "{00000000-1111-2222-3333-444444444444}";
    WriteDefault("OPCSim.Server\\CLSID", other);
    ASSERT_HR(S_OK, korva::test::UnregisterModule(korva::test::SimulationServerModulePath()));
    EXPECT_EQ(ReadDefault("OPCSim.Server\\CLSID"), other);
    EXPECT_EQ(ReadDefault("OPCSim.Server.1"), std::nullopt);
    EXPECT_EQ(ReadDefault("CLSID\\" + GuidToAnsi(CLSID_OPCSimServer)), std::nullopt);
}

TEST_F(ModuleTest, RegistrationHelperRefusesIncompleteInformation) {
    korva::servers::ServerClassInfo info;
    info.clsid = MakeGuid("00000000-1111-2222-3333-555555555555");
    info.modulePath = "/nowhere/lib.so";
    EXPECT_HR(E_INVALIDARG, korva::servers::RegisterServerClass(info)) << "no ProgID";
    info.progId = "Some.Class.1";
    info.modulePath.clear();
    EXPECT_HR(E_INVALIDARG, korva::servers::RegisterServerClass(info)) << "no module";
    EXPECT_EQ(Snapshot(), std::set<std::string>{"[]"});
}

TEST_F(ModuleTest, TheModulesExports) {
    void* module = dlopen(korva::test::SimulationServerModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(module, "DllGetClassObject"));
    auto canUnloadNow = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllCanUnloadNow"));
    ASSERT_TRUE(getClassObject && canUnloadNow);

    ComPtr<IClassFactory> factory;
    EXPECT_HR(CLASS_E_CLASSNOTAVAILABLE,
              getClassObject(GUID_NULL, IID_IClassFactory, factory.AsOut()));
    ASSERT_HR(S_OK, getClassObject(CLSID_OPCSimFlatServer, IID_IClassFactory, factory.AsOut()));
    EXPECT_HR(S_FALSE, canUnloadNow());
    ComPtr<IUnknown> object;
    EXPECT_HR(CLASS_E_NOAGGREGATION,
              factory->CreateInstance(factory.Get(), IID_IUnknown, object.AsOut()));
    EXPECT_HR(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, object.AsOut()));
    ASSERT_HR(S_OK, factory->CreateInstance(nullptr, IID_IOPCServer, object.AsOut()));
    factory.Reset();
    EXPECT_HR(S_FALSE, canUnloadNow()) << "a server object is alive";
    object.Reset();
    EXPECT_HR(S_OK, canUnloadNow());
    dlclose(module);
}

TEST_F(ModuleTest, AMalformedAddressSpaceFileFailsTheCreation) {
    ASSERT_HR(S_OK, korva::test::RegisterSimulationServer());
    const std::string directory = korva::test::MakeTempDirectory("opcsim-module-");
    const std::string path = directory + "/bad.txt";
    std::ofstream(path) << "Good.Item R8\nBad.Item R8 RW sine\n";
    {
        korva::test::ScopedEnv file(kAddressSpaceVariable, path);
        ComPtr<IOPCServer> server;
        EXPECT_HR(OPC_E_INVALIDCONFIGFILE,
                  CoCreateInstance(CLSID_OPCSimServer, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IOPCServer, server.AsOut()));
        EXPECT_FALSE(server);
        // The flat class does not read the file.
        EXPECT_HR(S_OK, CoCreateInstance(CLSID_OPCSimFlatServer, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IOPCServer, server.AsOut()));
    }
    korva::test::RemoveTree(directory);
}

// regsvr, run as a program with the test's private registry in its environment.
struct ToolRun {
    int exitCode = -1;
    std::string output;
};

ToolRun RunRegsvr(const std::vector<std::string>& args) {
    std::string command = "'" + kBin + "/regsvr'";
    for (const std::string& a : args)
        command += " '" + a + "'";
    command += " 2>&1";
    ToolRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

struct RegsvrCase {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    std::string outputStart;
};
void PrintTo(const RegsvrCase& c, std::ostream* out) {
    *out << c.name;
}

class RegsvrTest : public ::testing::TestWithParam<RegsvrCase> {
  protected:
    korva::test::PrivateRegistry registry_;
};

const std::string kFailing = kBin + "/fixtures/servers/libregsvr_failing.so";
const std::string kNoExports = kBin + "/fixtures/servers/libregsvr_noexports.so";

TEST_P(RegsvrTest, ExitCodeAndMessage) {
    const RegsvrCase& c = GetParam();
    const std::set<std::string> before = Snapshot();
    ToolRun run = RunRegsvr(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    EXPECT_EQ(run.output.substr(0, c.outputStart.size()), c.outputStart) << run.output;
    if (c.exitCode != 0) {
        EXPECT_EQ(Snapshot(), before) << "a failure changes nothing";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, RegsvrTest,
    ::testing::Values(
        RegsvrCase{"NoModule", {}, 2, "usage: regsvr"},
        RegsvrCase{"TwoModules", {kFailing, kNoExports}, 2, "usage: regsvr"},
        RegsvrCase{"UnknownOption", {"-x", kFailing}, 2, "usage: regsvr"},
        RegsvrCase{"Help", {"--help"}, 0, "usage: regsvr"},
        RegsvrCase{"Missing",
                   {"/nonexistent/libnothing.so"},
                   3,
                   "regsvr: cannot load /nonexistent/libnothing.so: "},
        RegsvrCase{"NoExport",
                   {kNoExports},
                   4,
                   "regsvr: " + kNoExports + " has no entry point DllRegisterServer\n"},
        RegsvrCase{"NoUnregisterExport",
                   {"-u", kNoExports},
                   4,
                   "regsvr: " + kNoExports + " has no entry point DllUnregisterServer\n"},
        RegsvrCase{
            "RegisterFails",
            {kFailing},
            5,
            "regsvr: DllRegisterServer in " + kFailing + " failed: E_ACCESSDENIED (0x80070005)"},
        RegsvrCase{"UnregisterFails",
                   {"-s", "-u", kFailing},
                   5,
                   "regsvr: DllUnregisterServer in " + kFailing + " failed: E_FAIL (0x80004005)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Regsvr, RegistersAndUnregistersTheSimulationServer) {
    korva::test::PrivateRegistry registry;
    const std::set<std::string> before = Snapshot();
    const std::string module = korva::test::SimulationServerModulePath();
    ToolRun reg = RunRegsvr({module});
    EXPECT_EQ(reg.exitCode, 0) << reg.output;
    EXPECT_EQ(reg.output, "DllRegisterServer in " + module + " succeeded.\n");
    EXPECT_EQ(ReadDefault("OPCSim.Server.1\\CLSID"), GuidToAnsi(CLSID_OPCSimServer));

    ToolRun unreg = RunRegsvr({"-s", "-u", module});
    EXPECT_EQ(unreg.exitCode, 0) << unreg.output;
    EXPECT_EQ(unreg.output, "") << "-s keeps quiet on success";
    EXPECT_EQ(Snapshot(), before);
}

}  // namespace
}  // namespace opcsim::test

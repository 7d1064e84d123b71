#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/registry/registry.h"
#include "tests/fixtures/com/test_classes.h"
#include "tests/platform/com_test_support.h"
#include "tests/platform/scoped_env.h"
#include "tests/support/private_registry.h"

namespace korva::test {
namespace {

const std::string kFixtureDir = KORVA_COM_FIXTURES_DIR;
const std::string kModule = kFixtureDir + "/libcomfixture.so";
const std::string kNoExport = kFixtureDir + "/libcomnoexport.so";

// Writes HKEY_CLASSES_ROOT\<path> with a default value (when given).
void WriteClassesKey(const std::string& path, std::optional<RegValue> value) {
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(reg.OpenKey("\\" + path, true)) << path << ": " << reg.LastError();
    if (value) {
        ASSERT_TRUE(reg.WriteValue("", *value)) << path << ": " << reg.LastError();
    }
}

RegValue Sz(const std::string& text) {
    RegValue v;
    v.type = REG_SZ;
    v.text = text;
    return v;
}

void RegisterClass(const CLSID& clsid, std::optional<RegValue> module) {
    WriteClassesKey("CLSID\\" + GuidToAnsi(clsid) + "\\InprocServer32", std::move(module));
}

long LiveFixtureObjects() {
    void* module = dlopen(kModule.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!module)
        return -1;
    auto live = reinterpret_cast<ComFixtureLiveObjectsFn>(dlsym(module, "ComFixtureLiveObjects"));
    const long count = live ? live() : -1;
    dlclose(module);  // drops only the reference this function took
    return count;
}

class Activation : public TaskMemoryCheck {
  protected:
    void SetUp() override {
        TaskMemoryCheck::SetUp();
        ASSERT_EQ(com_.Result(), S_OK);
        RegisterClass(CLSID_TestAdder, Sz(kModule));
    }
    void TearDown() override {
        EXPECT_TRUE(LiveFixtureObjects() <= 0) << "fixture objects left alive";
        TaskMemoryCheck::TearDown();
    }

    PrivateRegistry registry_;
    ComInit com_;
};

TEST_F(Activation, CreatesARegisteredClassFromItsModule) {
    ComPtr<ITestAdder> adder;
    ASSERT_EQ(CoCreateInstance(CLSID_TestAdder, nullptr, CLSCTX_INPROC_SERVER, ITestAdder::kIID,
                               adder.AsOut()),
              S_OK);
    ASSERT_TRUE(adder);
    LONG sum = 0;
    EXPECT_EQ(adder->Add(2, 40, &sum), S_OK);
    EXPECT_EQ(sum, 42);
    EXPECT_EQ(LiveFixtureObjects(), 1);

    ComPtr<ITestNamed> named;
    ASSERT_EQ(adder.As(&named), S_OK);
    BSTR name = nullptr;
    ASSERT_EQ(named->Name(&name), S_OK);
    EXPECT_EQ(std::u16string(name), u"adder");
    SysFreeString(name);
}

TEST_F(Activation, KeepsTheModuleLoadedAfterItsObjectsAreGone) {
    for (int i = 0; i < 3; ++i) {
        ComPtr<IUnknown> object;
        ASSERT_EQ(
            CoCreateInstance(CLSID_TestAdder, nullptr, CLSCTX_ALL, IID_IUnknown, object.AsOut()),
            S_OK);
    }
    EXPECT_EQ(LiveFixtureObjects(), 0);  // -1 would mean the module was unloaded
}

TEST_F(Activation, ExpandsEnvironmentReferencesOfAnExpandableString) {
    ScopedEnv dir("KORVA_TEST_COM_DIR", kFixtureDir);
    RegValue value;
    value.type = REG_EXPAND_SZ;
    value.text = "%KORVA_TEST_COM_DIR%/libcomfixture.so";
    RegisterClass(CLSID_TestAdder, value);
    ComPtr<ITestAdder> adder;
    EXPECT_EQ(CoCreateInstance(CLSID_TestAdder, nullptr, CLSCTX_INPROC_SERVER, ITestAdder::kIID,
                               adder.AsOut()),
              S_OK);
}

struct FailureCase {
    const char* name;
    CLSID clsid;
    std::optional<std::string> module =
        std::nullopt;  // registered InprocServer32; nullopt: key without value
    bool registered = true;
    DWORD context = CLSCTX_INPROC_SERVER;
    IID iid = ITestAdder::kIID;
    bool aggregate = false;
    HRESULT expected;
};

class ActivationFailure : public Activation, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ActivationFailure, IsAnAnswerNeverACrash) {
    const FailureCase& c = GetParam();
    if (c.registered)
        RegisterClass(c.clsid, c.module ? std::optional<RegValue>(Sz(*c.module)) : std::nullopt);
    // An outer object for the aggregation case: any object will do.
    ComPtr<IUnknown> outer;
    if (c.aggregate)
        outer = ComPtr<IUnknown>(MakeEnumGuid({}).Get());
    void* object = reinterpret_cast<void*>(0x1);  // must come back null
    const HRESULT hr = CoCreateInstance(c.clsid, outer.Get(), c.context, c.iid, &object);
    EXPECT_EQ(hr, c.expected) << DescribeHResult(hr);
    EXPECT_EQ(object, nullptr);
}

const std::string kMissingModule = "/nonexistent/korva/libnothing.so";

INSTANTIATE_TEST_SUITE_P(Cases, ActivationFailure,
                         ::testing::Values(FailureCase{.name = "NotRegistered",
                                                       .clsid = CLSID_TestNotOffered,
                                                       .registered = false,
                                                       .expected = REGDB_E_CLASSNOTREG},
                                           FailureCase{.name = "KeyWithoutModulePath",
                                                       .clsid = CLSID_TestNotOffered,
                                                       .module = std::nullopt,
                                                       .expected = REGDB_E_CLASSNOTREG},
                                           FailureCase{.name = "ModuleMissing",
                                                       .clsid = CLSID_TestNotOffered,
                                                       .module = kMissingModule,
                                                       .expected = CO_E_DLLNOTFOUND},
                                           FailureCase{.name = "ModuleWithoutDllGetClassObject",
                                                       .clsid = CLSID_TestNotOffered,
                                                       .module = kNoExport,
                                                       .expected = CO_E_ERRORINDLL},
                                           FailureCase{.name = "ModuleLacksTheClass",
                                                       .clsid = CLSID_TestNotOffered,
                                                       .module = kModule,
                                                       .expected = CLASS_E_CLASSNOTAVAILABLE},
                                           FailureCase{.name = "FactoryRefusesTheInterface",
                                                       .clsid = CLSID_TestAdder,
                                                       .module = kModule,
                                                       .iid = ITestMissing::kIID,
                                                       .expected = E_NOINTERFACE},
                                           FailureCase{.name = "FactoryThrows",
                                                       .clsid = CLSID_TestThrowing,
                                                       .module = kModule,
                                                       .expected = E_UNEXPECTED},
                                           FailureCase{.name = "LocalServerOnly",
                                                       .clsid = CLSID_TestAdder,
                                                       .module = kModule,
                                                       .context = CLSCTX_LOCAL_SERVER,
                                                       .expected = REGDB_E_CLASSNOTREG},
                                           FailureCase{.name = "Aggregation",
                                                       .clsid = CLSID_TestAdder,
                                                       .module = kModule,
                                                       .iid = IID_IUnknown,
                                                       .aggregate = true,
                                                       .expected = CLASS_E_NOAGGREGATION}),
                         [](const auto& info) { return info.param.name; });

TEST_F(Activation, AModuleInstalledAfterAFailedLoadIsFound) {
    const std::string dir = MakeTempDirectory("korva-com-");
    const std::string path = dir + "/libcomlater.so";
    RegisterClass(CLSID_TestAdder, Sz(path));
    ComPtr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(CLSID_TestAdder, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               object.AsOut()),
              CO_E_DLLNOTFOUND);
    std::filesystem::copy_file(kModule, path);
    EXPECT_EQ(CoCreateInstance(CLSID_TestAdder, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               object.AsOut()),
              S_OK);
    object.Reset();
    RemoveTree(dir);
}

TEST_F(Activation, ArgumentsAndThreadsWithoutCom) {
    EXPECT_EQ(CoCreateInstance(CLSID_TestAdder, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr),
              E_POINTER);
    RunOnThread([] {
        void* object = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(CoCreateInstance(CLSID_TestAdder, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(object, nullptr);
        MULTI_QI qi{&IID_IUnknown, nullptr, S_OK};
        EXPECT_EQ(CoCreateInstanceEx(CLSID_TestAdder, nullptr, CLSCTX_ALL, nullptr, 1, &qi),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(qi.hr, CO_E_NOTINITIALIZED);
    });
}

TEST_F(Activation, ManyThreadsCreateAtOnce) {
    constexpr int kThreads = 4;
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ComInit com(t % 2 ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED);
            for (int i = 0; i < 20; ++i) {
                ComPtr<ITestAdder> adder;
                LONG sum = 0;
                if (SUCCEEDED(CoCreateInstance(CLSID_TestAdder, nullptr, CLSCTX_INPROC_SERVER,
                                               ITestAdder::kIID, adder.AsOut())) &&
                    SUCCEEDED(adder->Add(i, 1, &sum)) && sum == i + 1)
                    ++ok;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(ok, kThreads * 20);
}

// ---- CoCreateInstanceEx --------------------------------------------------------------------

// Flips the case of every letter, so only a comparison that ignores case matches.
std::u16string SwappedCase(const std::string& name) {
    std::u16string out;
    for (char c : name) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        out += char16_t(c);
    }
    return out;
}

void ReleaseAll(MULTI_QI* results, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (results[i].pItf)
            results[i].pItf->Release();
}

TEST_F(Activation, ThisComputersNameInAnyCaseIsLocalCreation) {
    const std::string host = GetComputerName();
    ASSERT_FALSE(host.empty());
    const std::u16string names[] = {SwappedCase(host), Utf8ToUtf16(host), u"", u"LocalHost",
                                    u"\\\\" + SwappedCase(host)};
    for (const std::u16string& name : names) {
        std::u16string buffer = name;
        COSERVERINFO server{0, buffer.data(), nullptr, 0};
        MULTI_QI qi{&ITestAdder::kIID, nullptr, E_FAIL};
        EXPECT_EQ(
            CoCreateInstanceEx(CLSID_TestAdder, nullptr,
                               CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                               &server, 1, &qi),
            S_OK)
            << Narrow(name);
        EXPECT_EQ(qi.hr, S_OK);
        ASSERT_NE(qi.pItf, nullptr);
        LONG sum = 0;
        EXPECT_EQ(static_cast<ITestAdder*>(qi.pItf)->Add(1, 1, &sum), S_OK);
        EXPECT_EQ(sum, 2);
        ReleaseAll(&qi, 1);
    }
    MULTI_QI qi{&IID_IUnknown, nullptr, E_FAIL};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_TestAdder, nullptr, CLSCTX_ALL, nullptr, 1, &qi), S_OK);
    ReleaseAll(&qi, 1);
}

TEST_F(Activation, LocalCreationFollowsTheContextLikeCoCreateInstance) {
    std::u16string name = Utf8ToUtf16(GetComputerName());
    COSERVERINFO server{0, name.data(), nullptr, 0};
    MULTI_QI qi{&IID_IUnknown, nullptr, S_OK};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_TestAdder, nullptr, CLSCTX_LOCAL_SERVER, &server, 1, &qi),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(qi.hr, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(qi.pItf, nullptr);
}

TEST_F(Activation, ServesWhatItCanOfSeveralRequests) {
    MULTI_QI some[] = {{&ITestAdder::kIID, nullptr, E_FAIL},
                       {&ITestMissing::kIID, nullptr, S_OK},
                       {&ITestNamed::kIID, nullptr, E_FAIL}};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_TestAdder, nullptr, CLSCTX_ALL, nullptr, 3, some),
              CO_S_NOTALLINTERFACES);
    EXPECT_EQ(some[0].hr, S_OK);
    EXPECT_NE(some[0].pItf, nullptr);
    EXPECT_EQ(some[1].hr, E_NOINTERFACE);
    EXPECT_EQ(some[1].pItf, nullptr);
    EXPECT_EQ(some[2].hr, S_OK);
    ReleaseAll(some, 3);

    MULTI_QI none[] = {{&ITestMissing::kIID, nullptr, S_OK}, {&IID_IEnumString, nullptr, S_OK}};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_TestAdder, nullptr, CLSCTX_ALL, nullptr, 2, none),
              E_NOINTERFACE);
    EXPECT_EQ(none[0].hr, E_NOINTERFACE);
    EXPECT_EQ(none[1].pItf, nullptr);

    MULTI_QI missingIid{nullptr, nullptr, S_OK};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_TestAdder, nullptr, CLSCTX_ALL, nullptr, 1, &missingIid),
              E_INVALIDARG);
    EXPECT_EQ(CoCreateInstanceEx(CLSID_TestAdder, nullptr, CLSCTX_ALL, nullptr, 0, some),
              E_INVALIDARG);
}

TEST_F(Activation, AnotherMachineIsUnavailableWithoutTheRemoteService) {
    std::u16string name = u"plant-controller-7";
    COSERVERINFO server{0, name.data(), nullptr, 0};
    MULTI_QI qi[] = {{&IID_IUnknown, nullptr, S_OK}, {&ITestAdder::kIID, nullptr, S_OK}};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_TestAdder, nullptr, CLSCTX_REMOTE_SERVER, &server, 2, qi),
              RPC_S_SERVER_UNAVAILABLE_HR);
    for (const MULTI_QI& r : qi) {
        EXPECT_EQ(r.hr, RPC_S_SERVER_UNAVAILABLE_HR);
        EXPECT_EQ(r.pItf, nullptr);
    }
}

// A remote machine as the tests see it: records the requests and hands out a local object.
class FakeRemote : public RemoteActivation {
  public:
    HRESULT CreateInstance(std::u16string_view machine, REFCLSID clsid, REFIID riid,
                           void** object) override {
        std::lock_guard lock(mutex);
        machines.emplace_back(machine);
        classes.push_back(clsid);
        if (FAILED(answer))
            return answer;
        // The "remote" object is a class of the fixture module, created here.
        return CoCreateInstance(CLSID_TestAdder, nullptr, CLSCTX_INPROC_SERVER, riid, object);
    }
    std::mutex mutex;
    std::vector<std::u16string> machines;
    std::vector<CLSID> classes;
    HRESULT answer = S_OK;
};

class RemoteActivationTest : public Activation {
  protected:
    void SetUp() override {
        Activation::SetUp();
        previous_ = CoSetRemoteActivation(remote_);
    }
    void TearDown() override {
        EXPECT_EQ(CoSetRemoteActivation(previous_), remote_);
        Activation::TearDown();
    }
    std::shared_ptr<FakeRemote> remote_ = std::make_shared<FakeRemote>();
    std::shared_ptr<RemoteActivation> previous_;
};

TEST_F(RemoteActivationTest, AnotherMachineGoesToTheBackend) {
    std::u16string name = u"Plant-Controller-7";
    COSERVERINFO server{0, name.data(), nullptr, 0};
    MULTI_QI qi[] = {{&ITestAdder::kIID, nullptr, E_FAIL}, {&ITestMissing::kIID, nullptr, S_OK}};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_TestAdder, nullptr, CLSCTX_REMOTE_SERVER, &server, 2, qi),
              CO_S_NOTALLINTERFACES);
    EXPECT_EQ(qi[0].hr, S_OK);
    EXPECT_NE(qi[0].pItf, nullptr);
    EXPECT_EQ(qi[1].hr, E_NOINTERFACE);
    ReleaseAll(qi, 2);
    ASSERT_EQ(remote_->machines.size(), 1u);
    EXPECT_EQ(remote_->machines[0], u"Plant-Controller-7");
    EXPECT_EQ(remote_->classes[0], CLSID_TestAdder);

    // This computer never reaches the backend.
    std::u16string self = SwappedCase(GetComputerName());
    COSERVERINFO local{0, self.data(), nullptr, 0};
    MULTI_QI one{&IID_IUnknown, nullptr, E_FAIL};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_TestAdder, nullptr, CLSCTX_ALL, &local, 1, &one), S_OK);
    ReleaseAll(&one, 1);
    EXPECT_EQ(remote_->machines.size(), 1u);
}

TEST_F(RemoteActivationTest, TheBackendsFailureReachesEveryRequest) {
    remote_->answer = E_ACCESSDENIED;
    std::u16string name = u"plant-controller-7";
    COSERVERINFO server{0, name.data(), nullptr, 0};
    MULTI_QI qi[] = {{&IID_IUnknown, nullptr, S_OK}, {&ITestAdder::kIID, nullptr, S_OK}};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_TestAdder, nullptr, CLSCTX_REMOTE_SERVER, &server, 2, qi),
              E_ACCESSDENIED);
    EXPECT_EQ(qi[0].hr, E_ACCESSDENIED);
    EXPECT_EQ(qi[1].hr, E_ACCESSDENIED);

    // An object of another machine cannot be aggregated into one of this machine.
    ComPtr<IEnumGUID> outer = MakeEnumGuid({});
    EXPECT_EQ(
        CoCreateInstanceEx(CLSID_TestAdder, outer.Get(), CLSCTX_REMOTE_SERVER, &server, 1, qi),
        CLASS_E_NOAGGREGATION);
}

// ---- ProgIDs -------------------------------------------------------------------------------

TEST_F(Activation, ProgIdsMapToClasses) {
    WriteClassesKey("Korva.TestAdder.1\\CLSID", Sz(GuidToAnsi(CLSID_TestAdder)));
    WriteClassesKey("Korva.LowerCase\\CLSID", Sz("{6a1e3f20-2b4c-4d5e-8f60-718293a4b5c6}"));
    WriteClassesKey("Korva.Broken\\CLSID", Sz("not a class identifier"));
    WriteClassesKey("Korva.NoClsid", Sz("a ProgID without a CLSID key"));
    WriteClassesKey("CLSID\\" + GuidToAnsi(CLSID_TestAdder) + "\\ProgID", Sz("Korva.TestAdder.1"));

    const struct {
        const char16_t* progId;
        HRESULT hr;
    } cases[] = {
        {u"Korva.TestAdder.1", S_OK},
        {u"korva.testadder.1", S_OK},  // key names ignore case
        {u"Korva.LowerCase", S_OK},
        {u"Korva.Broken", CO_E_CLASSSTRING},
        {u"Korva.NoClsid", CO_E_CLASSSTRING},
        {u"Korva.Unknown", CO_E_CLASSSTRING},
        {u"", CO_E_CLASSSTRING},
        // A path would reach other keys: CLSID\{...}\ProgID has no CLSID below it, but
        // Korva.TestAdder.1 has, and must not be reached through a backslash.
        {u"\\Korva.TestAdder.1", CO_E_CLASSSTRING},
        {u"CLSID\\..\\Korva.TestAdder.1", CO_E_CLASSSTRING},
    };
    for (const auto& c : cases) {
        CLSID clsid = CLSID_TestNotOffered;
        EXPECT_EQ(CLSIDFromProgID(c.progId, &clsid), c.hr) << Narrow(c.progId);
        EXPECT_EQ(clsid, SUCCEEDED(c.hr) ? CLSID_TestAdder : GUID_NULL) << Narrow(c.progId);
    }
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(u"Korva.TestAdder.1", nullptr), E_INVALIDARG);

    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_TestAdder, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"Korva.TestAdder.1");
    CoTaskMemFree(progId);
    EXPECT_EQ(ProgIDFromCLSID(CLSID_TestNotOffered, &progId), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progId, nullptr);
}

TEST(ProgIdWithoutCom, WorksOnAThreadWithoutCom) {
    PrivateRegistry registry;
    WriteClassesKey("Korva.TestAdder.1\\CLSID", Sz(GuidToAnsi(CLSID_TestAdder)));
    RunOnThread([] {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(u"Korva.TestAdder.1", &clsid), S_OK);
        EXPECT_EQ(clsid, CLSID_TestAdder);
    });
}

}  // namespace
}  // namespace korva::test

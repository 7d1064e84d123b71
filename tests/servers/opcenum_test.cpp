// The server list component against a private registry: categories, class details through both
// interfaces, ProgIDs, registration, and task memory back at its baseline after every call.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "opc/opc_common.h"
#include "opc/opc_da.h"
#include "platform/registry/registry.h"
#include "platform/text/text.h"
#include "tests/fixtures/opc/fault_server.h"
#include "tests/support/private_registry.h"
#include "tests/support/test_servers.h"

namespace {

constexpr CATID kCatA = MakeGuid("11111111-0000-0000-0000-00000000000A");
constexpr CATID kCatB = MakeGuid("11111111-0000-0000-0000-00000000000B");

// Test classes: what each one has in the registry.
struct TestClass {
    const char* clsid;
    std::vector<CATID> categories;
    const char* progId;  // null: no ProgID key
    const char* userType;
    const char* versionIndependentProgId;
    bool lowerCaseCategoryKeys = false;
};

const TestClass kOnlyA{
    "{A0000000-0000-0000-0000-000000000001}", {kCatA}, "Test.OnlyA.1", "Only A", "Test.OnlyA"};
const TestClass kBoth{
    "{A0000000-0000-0000-0000-000000000002}", {kCatA, kCatB}, "Test.Both.1", "Both", nullptr};
const TestClass kOnlyB{
    "{A0000000-0000-0000-0000-000000000003}", {kCatB}, "Test.OnlyB", nullptr, nullptr};
const TestClass kNone{"{A0000000-0000-0000-0000-000000000004}", {}, "Test.None", "None", nullptr};
const TestClass kLowerA{
    "{A0000000-0000-0000-0000-000000000005}", {kCatA}, "Test.Lower", "Lower", nullptr, true};
const TestClass kNoProgId{
    "{A0000000-0000-0000-0000-000000000006}", {kCatA}, nullptr, "Nameless", nullptr};

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

void WriteClass(const TestClass& c) {
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    const std::string key = std::string("\\CLSID\\") + c.clsid;
    ASSERT_TRUE(reg.OpenKey(key, true));
    if (c.userType) {
        ASSERT_TRUE(reg.WriteString("", c.userType));
    }
    for (const CATID& cat : c.categories) {
        std::string name = GuidToAnsi(cat);
        if (c.lowerCaseCategoryKeys)
            name = Lower(name);
        ASSERT_TRUE(reg.CreateKey(key + "\\Implemented Categories\\" + name));
    }
    if (c.progId) {
        ASSERT_TRUE(reg.OpenKey(key + "\\ProgID", true));
        ASSERT_TRUE(reg.WriteString("", c.progId));
    }
    if (c.versionIndependentProgId) {
        ASSERT_TRUE(reg.OpenKey(key + "\\VersionIndependentProgID", true));
        ASSERT_TRUE(reg.WriteString("", c.versionIndependentProgId));
    }
}

GUID Clsid(const TestClass& c) {
    return *GuidFromAnsi(c.clsid);
}

// Drains an enumerator one identifier at a time, as a client reads it.
std::set<GUID> Drain(IEnumGUID* e) {
    std::set<GUID> out;
    GUID g;
    ULONG fetched = 0;
    while (e->Next(1, &g, &fetched) == S_OK && fetched == 1)
        out.insert(g);
    return out;
}

std::u16string Text(LPCOLESTR s) {
    return s ? std::u16string(s) : std::u16string(u"<null>");
}

class ServerListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_EQ(korva::test::RegisterServerListComponent(), S_OK);
        for (const TestClass* c : {&kOnlyA, &kBoth, &kOnlyB, &kNone, &kLowerA, &kNoProgId})
            WriteClass(*c);
        // A key under CLSID that is no class identifier, with a category: passed over.
        TRegistry reg(KEY_ALL_ACCESS);
        reg.SetRootKey(HKEY_CLASSES_ROOT);
        ASSERT_TRUE(
            reg.CreateKey("\\CLSID\\NotAClass\\Implemented Categories\\" + GuidToAnsi(kCatA)));
        ComPtr<IUnknown> unknown;
        ASSERT_EQ(CoCreateInstance(CLSID_OpcServerList, nullptr,
                                   CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                   unknown.AsOut()),
                  S_OK);
        ASSERT_EQ(unknown.As(&list2_), S_OK);
        ASSERT_EQ(unknown.As(&list1_), S_OK);
        baseline_ = CoTaskMemLiveBlocks();
    }
    void TearDown() override {
        EXPECT_EQ(CoTaskMemLiveBlocks(), baseline_) << "task memory handed out was not freed";
        list1_ = nullptr;
        list2_ = nullptr;
        CoUninitialize();
    }

    korva::test::PrivateRegistry registry_;
    ComPtr<IOPCServerList2> list2_;
    ComPtr<IOPCServerList> list1_;
    size_t baseline_ = 0;
};

TEST_F(ServerListTest, ClassesOfCategoriesSelectImplementedAnyAndRequiredAll) {
    constexpr ULONG kAny = static_cast<ULONG>(-1);
    const GUID a = Clsid(kOnlyA), both = Clsid(kBoth), b = Clsid(kOnlyB), lower = Clsid(kLowerA),
               nameless = Clsid(kNoProgId);
    struct Case {
        const char* what;
        std::vector<CATID> implemented;
        bool implementedAny;  // pass (ULONG)-1 instead of the list
        std::vector<CATID> required;
        std::set<GUID> expected;
    };
    const Case cases[] = {
        {"one implemented", {kCatA}, false, {}, {a, both, lower, nameless}},
        {"the other implemented", {kCatB}, false, {}, {both, b}},
        {"either implemented", {kCatA, kCatB}, false, {}, {a, both, b, lower, nameless}},
        {"implemented and required", {kCatA}, false, {kCatB}, {both}},
        {"both required", {kCatA, kCatB}, false, {kCatA, kCatB}, {both}},
        {"only required", {}, true, {kCatB}, {both, b}},
        {"unknown category", {CATID_OPCDAServer20}, false, {}, {}},
        {"required unknown", {kCatA}, false, {CATID_OPCDAServer20}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<CATID> impl = c.implemented, req = c.required;
        ComPtr<IEnumGUID> e;
        ASSERT_EQ(list2_->EnumClassesOfCategories(c.implementedAny ? kAny : ULONG(impl.size()),
                                                  impl.data(), ULONG(req.size()), req.data(),
                                                  e.ReleaseAndGetAddressOf()),
                  S_OK);
        EXPECT_EQ(Drain(e.Get()), c.expected);
    }
}

TEST_F(ServerListTest, NoCategoriesAtAllListsEveryRegisteredClass) {
    ComPtr<IEnumGUID> e;
    ASSERT_EQ(list1_->EnumClassesOfCategories(0, nullptr, 0, nullptr, e.ReleaseAndGetAddressOf()),
              S_OK);
    std::set<GUID> all = Drain(e.Get());
    for (const TestClass* c : {&kOnlyA, &kBoth, &kOnlyB, &kNone, &kLowerA, &kNoProgId})
        EXPECT_TRUE(all.count(Clsid(*c))) << c->clsid;
    EXPECT_TRUE(all.count(CLSID_OpcServerList));  // the component's own registration
}

TEST_F(ServerListTest, OlderInterfaceEnumeratesTheSame) {
    CATID cat = kCatB;
    ComPtr<IEnumGUID> e;
    ASSERT_EQ(list1_->EnumClassesOfCategories(1, &cat, 0, nullptr, e.ReleaseAndGetAddressOf()),
              S_OK);
    EXPECT_EQ(Drain(e.Get()), (std::set<GUID>{Clsid(kBoth), Clsid(kOnlyB)}));
}

TEST_F(ServerListTest, EnumerationRejectsMissingArguments) {
    CATID cat = kCatA;
    ComPtr<IEnumGUID> e;
    EXPECT_EQ(list2_->EnumClassesOfCategories(1, nullptr, 0, nullptr, e.ReleaseAndGetAddressOf()),
              E_INVALIDARG);
    EXPECT_EQ(e.Get(), nullptr);
    EXPECT_EQ(list2_->EnumClassesOfCategories(1, &cat, 2, nullptr, e.ReleaseAndGetAddressOf()),
              E_INVALIDARG);
    EXPECT_EQ(list2_->EnumClassesOfCategories(1, &cat, 0, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(ServerListTest, EnumeratorPagesSkipsResetsAndClones) {
    CATID cat = kCatA;  // four classes
    ComPtr<IEnumGUID> e;
    ASSERT_EQ(list2_->EnumClassesOfCategories(1, &cat, 0, nullptr, e.ReleaseAndGetAddressOf()),
              S_OK);
    GUID page[3];
    ULONG fetched = 0;
    EXPECT_EQ(e->Next(3, page, &fetched), S_OK);
    EXPECT_EQ(fetched, 3u);
    ComPtr<IEnumGUID> clone;
    ASSERT_EQ(e->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(e->Next(3, page, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(e->Next(1, page, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(Drain(clone.Get()).size(), 1u);  // the clone went on from where it was made
    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Skip(3), S_OK);
    EXPECT_EQ(e->Skip(2), S_FALSE);
    EXPECT_EQ(e->Next(2, page, nullptr), E_INVALIDARG);  // more than one needs a count back
}

// The class details, through IOPCServerList2 (three texts) and IOPCServerList (two).
struct DetailsCase {
    const char* what;
    GUID clsid;
    HRESULT result;
    const char16_t* progId;
    const char16_t* userType;
    const char16_t* versionIndependentProgId;
};

class ServerListDetailsTest : public ServerListTest, public ::testing::WithParamInterface<bool> {
  protected:
    bool NewInterface() const { return GetParam(); }
    HRESULT Details(REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType, LPOLESTR* vi) {
        return NewInterface() ? list2_->GetClassDetails(clsid, progId, userType, vi)
                              : list1_->GetClassDetails(clsid, progId, userType);
    }
};

TEST_P(ServerListDetailsTest, ClassDetailsComeFromTheRegistration) {
    const DetailsCase cases[] = {
        {"all three texts", Clsid(kOnlyA), S_OK, u"Test.OnlyA.1", u"Only A", u"Test.OnlyA"},
        {"no version-independent ProgID", Clsid(kBoth), S_OK, u"Test.Both.1", u"Both", u""},
        {"no user type", Clsid(kOnlyB), S_OK, u"Test.OnlyB", u"", u""},
        {"no ProgID", Clsid(kNoProgId), REGDB_E_READREGDB, nullptr, nullptr, nullptr},
        {"not registered", MakeGuid("A0000000-0000-0000-0000-0000000000FF"), REGDB_E_CLASSNOTREG,
         nullptr, nullptr, nullptr},
        {"the component itself", CLSID_OpcServerList, S_OK, u"OPC.ServerList.1", u"OPC Server List",
         u"OPC.ServerList"},
    };
    for (const DetailsCase& c : cases) {
        SCOPED_TRACE(c.what);
        LPOLESTR progId = nullptr, userType = nullptr, vi = nullptr;
        ASSERT_EQ(Details(c.clsid, &progId, &userType, &vi), c.result);
        EXPECT_EQ(Text(progId), Text(c.progId));
        EXPECT_EQ(Text(userType), Text(c.userType));
        EXPECT_EQ(Text(vi), Text(NewInterface() ? c.versionIndependentProgId : nullptr));
        CoTaskMemFree(progId);
        CoTaskMemFree(userType);
        CoTaskMemFree(vi);
    }
}

TEST_P(ServerListDetailsTest, MissingOutputsAreRefused) {
    LPOLESTR text = nullptr;
    EXPECT_EQ(Details(Clsid(kOnlyA), nullptr, &text, &text), E_INVALIDARG);
    EXPECT_EQ(Details(Clsid(kOnlyA), &text, nullptr, &text), E_INVALIDARG);
    EXPECT_EQ(text, nullptr);
}

TEST_P(ServerListDetailsTest, ProgIdsResolveThroughTheRegistry) {
    auto lookup = [&](LPCOLESTR progId, CLSID* clsid) {
        return NewInterface() ? list2_->CLSIDFromProgID(progId, clsid)
                              : list1_->CLSIDFromProgID(progId, clsid);
    };
    CLSID clsid{};
    EXPECT_EQ(lookup(u"OPC.ServerList.1", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_OpcServerList);
    clsid = GUID_NULL;
    EXPECT_EQ(lookup(u"opc.serverlist", &clsid), S_OK);  // names are case-insensitive
    EXPECT_EQ(clsid, CLSID_OpcServerList);
    EXPECT_EQ(lookup(u"No.Such.ProgID", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(lookup(nullptr, &clsid), E_INVALIDARG);
    EXPECT_EQ(lookup(u"OPC.ServerList", nullptr), E_INVALIDARG);
}

INSTANTIATE_TEST_SUITE_P(BothInterfaces, ServerListDetailsTest, ::testing::Bool(),
                         [](const auto& info) {
                             return std::string(info.param ? "ServerList2" : "ServerList");
                         });

// A server module's own registration is what the component finds.
TEST_F(ServerListTest, FindsARegisteredOpcServerByItsCategory) {
    ASSERT_EQ(korva::test::RegisterFaultServer(), S_OK);
    const GUID fault = *GuidFromAnsi(OPC_FAULT_SERVER_CLSID);
    CATID cat = CATID_OPCDAServer20;
    ComPtr<IEnumGUID> e;
    ASSERT_EQ(list2_->EnumClassesOfCategories(1, &cat, 0, nullptr, e.ReleaseAndGetAddressOf()),
              S_OK);
    EXPECT_EQ(Drain(e.Get()), std::set<GUID>{fault});
    LPOLESTR progId = nullptr, userType = nullptr, vi = nullptr;
    ASSERT_EQ(list2_->GetClassDetails(fault, &progId, &userType, &vi), S_OK);
    EXPECT_EQ(Utf16ToUtf8(Text(progId)), OPC_FAULT_SERVER_PROGID);
    EXPECT_EQ(Utf16ToUtf8(Text(userType)), OPC_FAULT_SERVER_USER_TYPE);
    EXPECT_EQ(Utf16ToUtf8(Text(vi)), OPC_FAULT_SERVER_VI_PROGID);
    CoTaskMemFree(progId);
    CoTaskMemFree(userType);
    CoTaskMemFree(vi);
}

TEST(ServerListRegistration, UnregisterLeavesTheRegistryAsBefore) {
    korva::test::PrivateRegistry registry;
    ASSERT_EQ(korva::test::RegisterServerListComponent(), S_OK);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"OPC.ServerList", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_OpcServerList);
    ASSERT_EQ(korva::test::UnregisterModule(korva::test::ServerListModulePath()), S_OK);
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    for (const char* key : {"\\OPC.ServerList", "\\OPC.ServerList.1", "\\CLSID"})
        EXPECT_FALSE(reg.KeyExists(key)) << key;
}

TEST(ServerListModule, OffersOnlyItsOwnClass) {
    korva::test::PrivateRegistry registry;
    void* module = dlopen(korva::test::ServerListModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr);
    auto get = reinterpret_cast<DllGetClassObjectFn>(dlsym(module, "DllGetClassObject"));
    ASSERT_NE(get, nullptr);
    void* factory = nullptr;
    EXPECT_EQ(get(CLSID_OpcServerList, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(get(GUID_NULL, IID_IClassFactory, &factory), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(factory, nullptr);
    ASSERT_EQ(get(CLSID_OpcServerList, IID_IClassFactory, &factory), S_OK);
    auto* cf = static_cast<IClassFactory*>(factory);
    IUnknown* outer = cf;
    void* object = nullptr;
    EXPECT_EQ(cf->CreateInstance(outer, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(cf->CreateInstance(nullptr, IID_IOPCServer, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    cf->Release();
    dlclose(module);
}

}  // namespace

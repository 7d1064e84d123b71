// A self-test of the fault-injecting server fixture: every knob of its configuration has the
// effect that client tests rely on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "opc/opc_common.h"
#include "opc/opc_da.h"
#include "platform/text/text.h"
#include "tests/fixtures/opc/fault_server.h"
#include "tests/support/private_registry.h"
#include "tests/support/test_servers.h"

namespace {

using Clock = std::chrono::steady_clock;

// Polls `done` with short yields until it holds or five seconds have passed.
bool WaitFor(const std::function<bool()>& done) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

std::u16string Text(LPCOLESTR s) {
    return s ? std::u16string(s) : std::u16string(u"<null>");
}

class ShutdownSink : public ComObject<IOPCShutdown> {
  public:
    HRESULT ShutdownRequest(LPCWSTR reason) override {
        std::lock_guard lock(mutex_);
        reasons_.push_back(reason ? reason : u"<null>");
        thread_ = std::this_thread::get_id();
        return S_OK;
    }
    std::vector<std::u16string> Reasons() {
        std::lock_guard lock(mutex_);
        return reasons_;
    }
    std::thread::id Thread() {
        std::lock_guard lock(mutex_);
        return thread_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::u16string> reasons_;
    std::thread::id thread_;
};

struct ReadResult {
    HRESULT call = E_UNEXPECTED;
    HRESULT item = E_UNEXPECTED;
    VARTYPE vt = VT_EMPTY;
    std::u16string text;
    WORD quality = 0xFFFF;
};

class FaultServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        api_ = &OpcFaultApi::Get();
        ASSERT_TRUE(api_->loaded) << "cannot load " OPC_FAULT_MODULE_PATH;
        api_->Reset();
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_EQ(korva::test::RegisterFaultServer(), S_OK);
        baseline_ = CoTaskMemLiveBlocks();
    }
    void TearDown() override {
        api_->ReleaseHeld();
        EXPECT_EQ(CoTaskMemLiveBlocks(), baseline_) << "task memory handed out was not freed";
        OpcFaultStats stats = Stats();
        EXPECT_EQ(stats.liveObjects, 0u) << "objects of the fixture outlive the test";
        EXPECT_EQ(stats.sinksAdvised, 0u);
        CoUninitialize();
        api_->Reset();
    }

    void Configure(const OpcFaultConfig& config) { ASSERT_EQ(api_->Configure(&config), S_OK); }
    OpcFaultStats Stats() {
        OpcFaultStats stats;
        api_->GetStats(&stats);
        return stats;
    }

    static HRESULT Create(REFCLSID clsid, ComPtr<IUnknown>* out) {
        return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                IID_IUnknown, out->AsOut());
    }
    static ComPtr<IOPCServer> Connect() {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(u"OPCFault.Server", &clsid), S_OK);
        ComPtr<IUnknown> unknown;
        EXPECT_EQ(Create(clsid, &unknown), S_OK);
        ComPtr<IOPCServer> server;
        if (unknown) {
            EXPECT_EQ(unknown.As(&server), S_OK);
        }
        return server;
    }
    static HRESULT AddGroup(IOPCServer* server, ComPtr<IOPCItemMgt>* group,
                            OPCHANDLE* handle = nullptr, const char16_t* name = u"Main") {
        OPCHANDLE h = 0;
        DWORD revised = 0;
        HRESULT hr =
            server->AddGroup(name, -1, 250, 0, nullptr, nullptr, 0, &h, &revised, IID_IOPCItemMgt,
                             reinterpret_cast<LPUNKNOWN*>(group->AsOut()));
        if (handle)
            *handle = h;
        return hr;
    }
    // AddItems with one item; answers the call's result, the item's in `item`.
    static HRESULT AddItem(IOPCItemMgt* group, const char16_t* id, OPCHANDLE* handle, HRESULT* item,
                           VARTYPE* canonical = nullptr) {
        OPCITEMDEF def{};
        def.szAccessPath = const_cast<LPWSTR>(u"");
        def.szItemID = const_cast<LPWSTR>(id);
        def.bActive = -1;
        OPCITEMRESULT* results = nullptr;
        HRESULT* errors = nullptr;
        HRESULT hr = group->AddItems(1, &def, &results, &errors);
        if (SUCCEEDED(hr)) {
            *item = errors[0];
            *handle = results[0].hServer;
            if (canonical)
                *canonical = results[0].vtCanonicalDataType;
            CoTaskMemFree(results[0].pBlob);
            CoTaskMemFree(results);
            CoTaskMemFree(errors);
        }
        return hr;
    }
    static ReadResult Read(IOPCItemMgt* group, OPCHANDLE handle) {
        ReadResult r;
        ComPtr<IOPCSyncIO> io;
        if (FAILED(r.call = ComPtr<IOPCItemMgt>(group).As(&io)))
            return r;
        OPCITEMSTATE* states = nullptr;
        HRESULT* errors = nullptr;
        r.call = io->Read(OPC_DS_CACHE, 1, &handle, &states, &errors);
        if (FAILED(r.call))
            return r;
        r.item = errors[0];
        r.vt = states[0].vDataValue.vt;
        r.text = VariantToText(states[0].vDataValue);
        r.quality = states[0].wQuality;
        VariantClear(&states[0].vDataValue);
        CoTaskMemFree(states);
        CoTaskMemFree(errors);
        return r;
    }
    static HRESULT Write(IOPCItemMgt* group, OPCHANDLE handle, Variant value, HRESULT* item) {
        ComPtr<IOPCSyncIO> io;
        HRESULT hr = ComPtr<IOPCItemMgt>(group).As(&io);
        if (FAILED(hr))
            return hr;
        HRESULT* errors = nullptr;
        hr = io->Write(1, &handle, value.ptr(), &errors);
        if (SUCCEEDED(hr)) {
            *item = errors[0];
            CoTaskMemFree(errors);
        }
        return hr;
    }
    std::string ItemValue(const char* id) {
        char text[256];
        return api_->ItemValue(id, text, sizeof text) < 0 ? "<none>" : text;
    }

    korva::test::PrivateRegistry registry_;
    const OpcFaultApi* api_ = nullptr;
    size_t baseline_ = 0;
};

TEST_F(FaultServerTest, DefaultItemsHaveTheirDocumentedTypesAndValues) {
    struct Case {
        const char16_t* id;
        VARTYPE type;
        const char16_t* text;  // in the C locale of the test process
    };
    const Case cases[] = {
        {u"Text.Comma", VT_BSTR, u"3,5"},   {u"Text.Thousands", VT_BSTR, u"1,234.5"},
        {u"Text.Empty", VT_BSTR, u""},      {u"Bool.True", VT_BOOL, u"True"},
        {u"Bool.False", VT_BOOL, u"False"}, {u"Number.R8", VT_R8, u"2.5"},
        {u"Number.I4", VT_I4, u"42"},       {u"Number.ReadOnly", VT_I4, u"7"},
    };
    ComPtr<IOPCServer> server = Connect();
    ASSERT_TRUE(server);
    ComPtr<IOPCItemMgt> group;
    ASSERT_EQ(AddGroup(server.Get(), &group), S_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.id));
        OPCHANDLE handle = 0;
        HRESULT item = E_UNEXPECTED;
        VARTYPE canonical = VT_NULL;
        ASSERT_EQ(AddItem(group.Get(), c.id, &handle, &item, &canonical), S_OK);
        EXPECT_EQ(item, S_OK);
        EXPECT_EQ(canonical, c.type);
        ReadResult r = Read(group.Get(), handle);
        EXPECT_EQ(r.call, S_OK);
        EXPECT_EQ(r.item, S_OK);
        EXPECT_EQ(r.vt, c.type);
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(r.quality, OPC_QUALITY_GOOD);
    }
}

TEST_F(FaultServerTest, ItemsCarryTheirConfiguredResultsAndQualities) {
    const OpcFaultItem items[] = {
        {"Plain", VT_R8, "1.5", 0, 0, 0, 0, 0},
        {"RejectedOnAdd", VT_I4, "1", 0, 0, OPC_E_BADRIGHTS, 0, 0},
        {"FailsOnRead", VT_I4, "3", 0, 0, 0, OPC_E_RANGE, 0},
        {"ClampedOnRead", VT_I4, "5", 0, 0, 0, OPC_S_CLAMP, 0},
        {"Uncertain", VT_BOOL, "-1", 0, OPC_FAULT_QUALITY(OPC_QUALITY_UNCERTAIN), 0, 0, 0},
        {"Bad", VT_BSTR, "x", 0, OPC_FAULT_QUALITY(OPC_QUALITY_BAD), 0, 0, 0},
    };
    OpcFaultConfig config{};
    config.items = items;
    config.itemCount = std::size(items);
    Configure(config);

    struct Case {
        const char16_t* id;
        HRESULT addCall, addItem;
        HRESULT readCall, readItem;
        const char16_t* text;
        WORD quality;
    };
    const Case cases[] = {
        {u"Plain", S_OK, S_OK, S_OK, S_OK, u"1.5", OPC_QUALITY_GOOD},
        {u"RejectedOnAdd", S_FALSE, OPC_E_BADRIGHTS, 0, 0, nullptr, 0},
        {u"Unknown", S_FALSE, OPC_E_UNKNOWNITEMID, 0, 0, nullptr, 0},
        {u"", S_FALSE, OPC_E_INVALIDITEMID, 0, 0, nullptr, 0},
        {u"FailsOnRead", S_OK, S_OK, S_FALSE, OPC_E_RANGE, u"", OPC_QUALITY_BAD},
        {u"ClampedOnRead", S_OK, S_OK, S_OK, OPC_S_CLAMP, u"5", OPC_QUALITY_GOOD},
        {u"Uncertain", S_OK, S_OK, S_OK, S_OK, u"True", OPC_QUALITY_UNCERTAIN},
        {u"Bad", S_OK, S_OK, S_OK, S_OK, u"x", OPC_QUALITY_BAD},
    };
    ComPtr<IOPCServer> server = Connect();
    ASSERT_TRUE(server);
    ComPtr<IOPCItemMgt> group;
    ASSERT_EQ(AddGroup(server.Get(), &group), S_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.id));
        OPCHANDLE handle = 0;
        HRESULT item = E_UNEXPECTED;
        ASSERT_EQ(AddItem(group.Get(), c.id, &handle, &item), c.addCall);
        EXPECT_EQ(item, c.addItem);
        if (FAILED(item))
            continue;
        ReadResult r = Read(group.Get(), handle);
        EXPECT_EQ(r.call, c.readCall);
        EXPECT_EQ(r.item, c.readItem);
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(r.quality, c.quality);
    }
}

TEST_F(FaultServerTest, WritesStoreConvertedValuesOrAnswerThePerItemFault) {
    const OpcFaultItem items[] = {
        {"Real", VT_R8, "0", 1, 0, 0, 0, 0},
        {"Int", VT_I4, "0", 1, 0, 0, 0, 0},
        {"Text", VT_BSTR, "", 1, 0, 0, 0, 0},
        {"ReadOnly", VT_I4, "7", 0, 0, 0, 0, 0},
        {"Refusing", VT_R8, "0", 1, 0, 0, 0, E_ACCESSDENIED},
    };
    OpcFaultConfig config{};
    config.items = items;
    config.itemCount = std::size(items);
    Configure(config);
    struct Case {
        const char* id;
        Variant value;
        HRESULT item;
        const char* stored;
    };
    const Case cases[] = {
        {"Real", Variant::FromDouble(12.25), S_OK, "12.25"},
        {"Int", Variant::FromDouble(41.0), S_OK, "41"},
        {"Text", Variant::FromDouble(3.5), S_OK, "3.5"},
        {"Real", Variant::FromText(u"not a number"), OPC_E_BADTYPE, "12.25"},
        {"Int", Variant::FromDouble(1e12), OPC_E_RANGE, "41"},
        {"ReadOnly", Variant::FromDouble(1.0), OPC_E_BADRIGHTS, "7"},
        {"Refusing", Variant::FromDouble(1.0), E_ACCESSDENIED, "0"},
    };
    ComPtr<IOPCServer> server = Connect();
    ASSERT_TRUE(server);
    ComPtr<IOPCItemMgt> group;
    ASSERT_EQ(AddGroup(server.Get(), &group), S_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        OPCHANDLE handle = 0;
        HRESULT item = E_UNEXPECTED;
        ASSERT_EQ(AddItem(group.Get(), Utf8ToUtf16(c.id).c_str(), &handle, &item), S_OK);
        EXPECT_EQ(Write(group.Get(), handle, c.value, &item), SUCCEEDED(c.item) ? S_OK : S_FALSE);
        EXPECT_EQ(item, c.item);
        EXPECT_EQ(ItemValue(c.id), c.stored);
    }
    EXPECT_EQ(ItemValue("NoSuchItem"), "<none>");
}

// Each call of the server, its groups, enumerators, connection point and the fake server list,
// failed on its own with a code of its own.
TEST_F(FaultServerTest, EveryCallCanBeFailedWithAChosenCode) {
    ASSERT_EQ(api_->RegisterAsServerList(), S_OK);
    struct World {
        ComPtr<IOPCServer> server;
        ComPtr<IOPCItemMgt> group;
        OPCHANDLE groupHandle = 0, item = 0;
        ComPtr<IOPCBrowseServerAddressSpace> browse;
        ComPtr<IEnumString> strings;
        ComPtr<IConnectionPoint> point;
        ComPtr<IOPCServerList2> list;
        ComPtr<IEnumGUID> guids;
        DWORD cookie = 0;
    };
    using Call = std::function<HRESULT(World&)>;
    const std::pair<OpcFaultCall, Call> calls[] = {
        {OPC_FAULT_CREATE_SERVER,
         [](World&) {
             ComPtr<IUnknown> u;
             HRESULT hr = Create(*GuidFromAnsi(OPC_FAULT_SERVER_CLSID), &u);
             EXPECT_EQ(FAILED(hr), !u);
             return hr;
         }},
        {OPC_FAULT_ADDGROUP,
         [](World& w) {
             ComPtr<IOPCItemMgt> g;
             HRESULT hr = AddGroup(w.server.Get(), &g, nullptr, u"Other");
             EXPECT_EQ(FAILED(hr), !g);
             return hr;
         }},
        {OPC_FAULT_GETSTATUS,
         [](World& w) {
             OPCSERVERSTATUS* status = reinterpret_cast<OPCSERVERSTATUS*>(1);
             HRESULT hr = w.server->GetStatus(&status);
             if (FAILED(hr)) {
                 EXPECT_EQ(status, nullptr);
             }
             if (SUCCEEDED(hr)) {
                 CoTaskMemFree(status->szVendorInfo);
                 CoTaskMemFree(status);
             }
             return hr;
         }},
        {OPC_FAULT_REMOVEGROUP, [](World& w) { return w.server->RemoveGroup(w.groupHandle, 0); }},
        {OPC_FAULT_ADDITEMS,
         [](World& w) {
             OPCHANDLE h;
             HRESULT item;
             return AddItem(w.group.Get(), u"Number.I4", &h, &item);
         }},
        {OPC_FAULT_REMOVEITEMS,
         [](World& w) {
             HRESULT* errors = nullptr;
             HRESULT hr = w.group->RemoveItems(1, &w.item, &errors);
             EXPECT_EQ(FAILED(hr), errors == nullptr);
             CoTaskMemFree(errors);
             return hr;
         }},
        {OPC_FAULT_READ, [](World& w) { return Read(w.group.Get(), w.item).call; }},
        {OPC_FAULT_WRITE,
         [](World& w) {
             HRESULT item;
             return Write(w.group.Get(), w.item, Variant::FromDouble(1), &item);
         }},
        {OPC_FAULT_QUERYORGANIZATION,
         [](World& w) {
             OPCNAMESPACETYPE org{};
             return w.browse->QueryOrganization(&org);
         }},
        {OPC_FAULT_CHANGEBROWSEPOSITION,
         [](World& w) { return w.browse->ChangeBrowsePosition(OPC_BROWSE_TO, u""); }},
        {OPC_FAULT_BROWSEOPCITEMIDS,
         [](World& w) {
             ComPtr<IEnumString> e;
             HRESULT hr =
                 w.browse->BrowseOPCItemIDs(OPC_FLAT, u"", VT_EMPTY, 0, e.ReleaseAndGetAddressOf());
             EXPECT_EQ(FAILED(hr), !e);
             return hr;
         }},
        {OPC_FAULT_STRING_NEXT,
         [](World& w) {
             LPOLESTR s = nullptr;
             ULONG n = 7;
             HRESULT hr = w.strings->Next(1, &s, &n);
             if (FAILED(hr)) {
                 EXPECT_EQ(n, 0u);
             }
             if (n)
                 CoTaskMemFree(s);
             return hr;
         }},
        {OPC_FAULT_FINDCONNECTIONPOINT,
         [](World& w) {
             ComPtr<IConnectionPointContainer> cpc;
             EXPECT_EQ(w.server.As(&cpc), S_OK);
             ComPtr<IConnectionPoint> p;
             return cpc->FindConnectionPoint(IID_IOPCShutdown, p.ReleaseAndGetAddressOf());
         }},
        {OPC_FAULT_ADVISE,
         [](World& w) {
             auto sink = MakeComObject<ShutdownSink>();
             DWORD cookie = 5;
             HRESULT hr = w.point->Advise(sink.Get(), &cookie);
             EXPECT_EQ(FAILED(hr), cookie == 0u);
             return hr;
         }},
        {OPC_FAULT_UNADVISE, [](World& w) { return w.point->Unadvise(w.cookie); }},
        {OPC_FAULT_CREATE_LIST,
         [](World&) {
             ComPtr<IUnknown> u;
             return Create(CLSID_OpcServerList, &u);
         }},
        {OPC_FAULT_ENUMCLASSES,
         [](World& w) {
             ComPtr<IEnumGUID> e;
             CATID cat = CATID_OPCDAServer20;
             return w.list->EnumClassesOfCategories(1, &cat, 0, nullptr,
                                                    e.ReleaseAndGetAddressOf());
         }},
        {OPC_FAULT_GUID_NEXT,
         [](World& w) {
             GUID g;
             ULONG n;
             return w.guids->Next(1, &g, &n);
         }},
        {OPC_FAULT_GETCLASSDETAILS,
         [](World& w) {
             LPOLESTR a = nullptr, b = nullptr, c = nullptr;
             HRESULT hr =
                 w.list->GetClassDetails(*GuidFromAnsi(OPC_FAULT_SERVER_CLSID), &a, &b, &c);
             if (FAILED(hr)) {
                 EXPECT_TRUE(!a && !b && !c);
             }
             for (LPOLESTR text : {a, b, c})
                 CoTaskMemFree(text);
             return hr;
         }},
        {OPC_FAULT_LIST_CLSIDFROMPROGID,
         [](World& w) {
             CLSID clsid;
             return w.list->CLSIDFromProgID(u"OPCFault.Server.1", &clsid);
         }},
    };
    ASSERT_EQ(std::size(calls), size_t(OPC_FAULT_CALL_COUNT));

    for (const auto& [call, run] : calls) {
        SCOPED_TRACE("call " + std::to_string(call));
        api_->Reset();
        World w;
        w.server = Connect();
        ASSERT_TRUE(w.server);
        ASSERT_EQ(AddGroup(w.server.Get(), &w.group, &w.groupHandle), S_OK);
        HRESULT item;
        ASSERT_EQ(AddItem(w.group.Get(), u"Number.I4", &w.item, &item), S_OK);
        ASSERT_EQ(w.server.As(&w.browse), S_OK);
        ASSERT_EQ(w.browse->BrowseOPCItemIDs(OPC_FLAT, u"", VT_EMPTY, 0,
                                             w.strings.ReleaseAndGetAddressOf()),
                  S_OK);
        ComPtr<IConnectionPointContainer> cpc;
        ASSERT_EQ(w.server.As(&cpc), S_OK);
        ASSERT_EQ(cpc->FindConnectionPoint(IID_IOPCShutdown, w.point.ReleaseAndGetAddressOf()),
                  S_OK);
        auto sink = MakeComObject<ShutdownSink>();
        ASSERT_EQ(w.point->Advise(sink.Get(), &w.cookie), S_OK);
        ComPtr<IUnknown> list;
        ASSERT_EQ(Create(CLSID_OpcServerList, &list), S_OK);
        ASSERT_EQ(list.As(&w.list), S_OK);
        CATID cat = CATID_OPCDAServer20;
        ASSERT_EQ(
            w.list->EnumClassesOfCategories(1, &cat, 0, nullptr, w.guids.ReleaseAndGetAddressOf()),
            S_OK);

        const HRESULT code = MakeHResult(0x80041000u + call);
        OpcFaultConfig config{};
        config.calls[call].result = code;
        Configure(config);
        const uint32_t before = Stats().calls[call];
        EXPECT_EQ(run(w), code);
        EXPECT_EQ(Stats().calls[call], before + 1);

        api_->Reset();  // the same call works again
        EXPECT_TRUE(SUCCEEDED(run(w)));
        if (call != OPC_FAULT_UNADVISE)
            w.point->Unadvise(w.cookie);
    }
}

TEST_F(FaultServerTest, RefusedInterfacesAnswerNoInterface) {
    ASSERT_EQ(api_->RegisterAsServerList(), S_OK);
    struct Case {
        uint32_t bit;
        const char* what;
        IID iid;
        bool onGroup, onList;
    };
    const Case cases[] = {
        {OPC_FAULT_REFUSE_SERVER, "server", IID_IOPCServer, false, false},
        {OPC_FAULT_REFUSE_BROWSE, "browse", IID_IOPCBrowseServerAddressSpace, false, false},
        {OPC_FAULT_REFUSE_CPC, "connection points", IID_IConnectionPointContainer, false, false},
        {OPC_FAULT_REFUSE_SYNCIO, "sync io", IID_IOPCSyncIO, true, false},
        {OPC_FAULT_REFUSE_ITEMMGT, "item management", IID_IOPCItemMgt, true, false},
        {OPC_FAULT_REFUSE_LIST2, "server list 2", IID_IOPCServerList2, false, true},
        {OPC_FAULT_REFUSE_LIST, "server list", IID_IOPCServerList, false, true},
    };
    ComPtr<IOPCServer> server = Connect();
    ASSERT_TRUE(server);
    ComPtr<IOPCItemMgt> group;
    ASSERT_EQ(AddGroup(server.Get(), &group), S_OK);
    ComPtr<IUnknown> list;
    ASSERT_EQ(Create(CLSID_OpcServerList, &list), S_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IUnknown* object = c.onList    ? list.Get()
                           : c.onGroup ? static_cast<IUnknown*>(group.Get())
                                       : static_cast<IUnknown*>(server.Get());
        OpcFaultConfig config{};
        config.refuse = c.bit;
        Configure(config);
        ComPtr<IUnknown> got;
        EXPECT_EQ(object->QueryInterface(c.iid, got.AsOut()), E_NOINTERFACE);
        EXPECT_FALSE(got);
        api_->Reset();
        EXPECT_EQ(object->QueryInterface(c.iid, got.AsOut()), S_OK);
    }
    // A server whose groups refuse item management cannot hand a group out.
    OpcFaultConfig config{};
    config.refuse = OPC_FAULT_REFUSE_ITEMMGT;
    Configure(config);
    ComPtr<IOPCItemMgt> refused;
    EXPECT_EQ(AddGroup(server.Get(), &refused, nullptr, u"Refused"), E_NOINTERFACE);
    EXPECT_FALSE(refused);
}

TEST_F(FaultServerTest, StatusReportsTheChosenStateAndVendor) {
    ComPtr<IOPCServer> server = Connect();
    ASSERT_TRUE(server);
    struct Case {
        uint32_t configured;
        const char* vendor;
        OPCSERVERSTATE state;
        const char16_t* text;
    };
    const Case cases[] = {
        {0, nullptr, OPC_STATUS_RUNNING, u"Felmaran Test Fixtures"},
        {OPC_STATUS_FAILED, "Acme", OPC_STATUS_FAILED, u"Acme"},
        {OPC_STATUS_NOCONFIG, nullptr, OPC_STATUS_NOCONFIG, u"Felmaran Test Fixtures"},
        {OPC_STATUS_SUSPENDED, "", OPC_STATUS_SUSPENDED, u""},
        {OPC_STATUS_TEST, nullptr, OPC_STATUS_TEST, u"Felmaran Test Fixtures"},
        {OPC_STATUS_COMM_FAULT, nullptr, OPC_STATUS_COMM_FAULT, u"Felmaran Test Fixtures"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.configured);
        OpcFaultConfig config{};
        config.serverState = c.configured;
        config.vendorInfo = c.vendor;
        Configure(config);
        OPCSERVERSTATUS* status = nullptr;
        ASSERT_EQ(server->GetStatus(&status), S_OK);
        EXPECT_EQ(status->dwServerState, c.state);
        EXPECT_EQ(Text(status->szVendorInfo), c.text);
        CoTaskMemFree(status->szVendorInfo);
        CoTaskMemFree(status);
    }
}

std::vector<std::u16string> Browse(IOPCBrowseServerAddressSpace* browse, OPCBROWSETYPE type,
                                   const char16_t* filter = u"", VARTYPE vt = VT_EMPTY,
                                   DWORD rights = 0) {
    std::vector<std::u16string> out;
    ComPtr<IEnumString> e;
    if (FAILED(browse->BrowseOPCItemIDs(type, filter, vt, rights, e.ReleaseAndGetAddressOf())))
        return {u"<failed>"};
    LPOLESTR s = nullptr;
    ULONG n = 0;
    while (e->Next(1, &s, &n) == S_OK) {
        out.push_back(s);
        CoTaskMemFree(s);
    }
    return out;
}

TEST_F(FaultServerTest, BrowsesHierarchicallyOrFlatAsConfigured) {
    using List = std::vector<std::u16string>;
    ComPtr<IOPCServer> server = Connect();
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ASSERT_EQ(server.As(&browse), S_OK);
    OPCNAMESPACETYPE org{};
    ASSERT_EQ(browse->QueryOrganization(&org), S_OK);
    EXPECT_EQ(org, OPC_NS_HIERARCHIAL);
    EXPECT_EQ(Browse(browse.Get(), OPC_BRANCH), (List{u"Text", u"Bool", u"Number"}));
    EXPECT_EQ(Browse(browse.Get(), OPC_LEAF), List{});
    EXPECT_EQ(Browse(browse.Get(), OPC_FLAT).size(), 8u);
    EXPECT_EQ(Browse(browse.Get(), OPC_FLAT, u"*.T*"), (List{u"Text.Thousands", u"Bool.True"}));
    EXPECT_EQ(Browse(browse.Get(), OPC_FLAT, u"", VT_BOOL), (List{u"Bool.True", u"Bool.False"}));
    EXPECT_EQ(Browse(browse.Get(), OPC_FLAT, u"", VT_EMPTY, OPC_WRITEABLE),
              (List{u"Text.Comma", u"Number.R8", u"Number.I4"}));

    EXPECT_EQ(browse->ChangeBrowsePosition(OPC_BROWSE_UP, u""), E_FAIL);
    EXPECT_EQ(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"Nope"), E_INVALIDARG);
    ASSERT_EQ(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"Bool"), S_OK);
    EXPECT_EQ(Browse(browse.Get(), OPC_LEAF), (List{u"True", u"False"}));
    LPWSTR id = nullptr;
    ASSERT_EQ(browse->GetItemID(const_cast<LPWSTR>(u"True"), &id), S_OK);
    EXPECT_EQ(Text(id), u"Bool.True");
    CoTaskMemFree(id);
    ASSERT_EQ(browse->ChangeBrowsePosition(OPC_BROWSE_TO, u"Text"), S_OK);
    EXPECT_EQ(Browse(browse.Get(), OPC_LEAF), (List{u"Comma", u"Thousands", u"Empty"}));
    ASSERT_EQ(browse->ChangeBrowsePosition(OPC_BROWSE_UP, u""), S_OK);
    EXPECT_EQ(Browse(browse.Get(), OPC_BRANCH).size(), 3u);

    OpcFaultConfig config{};
    config.organization = OPC_NS_FLAT;
    Configure(config);
    ASSERT_EQ(browse->QueryOrganization(&org), S_OK);
    EXPECT_EQ(org, OPC_NS_FLAT);
    EXPECT_EQ(Browse(browse.Get(), OPC_BRANCH), List{});
    EXPECT_EQ(Browse(browse.Get(), OPC_LEAF).front(), u"Text.Comma");
    EXPECT_EQ(browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"Text"), E_FAIL);
    EXPECT_EQ(browse->ChangeBrowsePosition(OPC_BROWSE_TO, u""), S_OK);
}

// How an enumerator ends: entries delivered one at a time, then the final answer.
struct EnumCase {
    const char* what;
    OpcFaultEnumConfig behaviour;
    uint32_t delivered;  // of 3 entries
    HRESULT end;
};
const EnumCase kEnumCases[] = {
    {"normal", {OPC_FAULT_ENUM_NORMAL, 0, 0}, 3, S_FALSE},
    {"empty at once", {OPC_FAULT_ENUM_EMPTY, 0, 0}, 0, S_FALSE},
    {"fails at once", {OPC_FAULT_ENUM_FAIL_AFTER, 0, 0}, 0, E_FAIL},
    {"fails part way", {OPC_FAULT_ENUM_FAIL_AFTER, 2, OPC_E_INVALIDHANDLE}, 2, OPC_E_INVALIDHANDLE},
    {"fails at the end", {OPC_FAULT_ENUM_FAIL_AFTER, 3, 0}, 3, E_FAIL},
    {"fails after more than there are", {OPC_FAULT_ENUM_FAIL_AFTER, 9, 0}, 3, S_FALSE},
};

TEST_F(FaultServerTest, BrowseEnumeratorEndsAsConfigured) {
    const OpcFaultItem items[] = {{"A", VT_I4, "1", 0, 0, 0, 0, 0},
                                  {"B", VT_I4, "2", 0, 0, 0, 0, 0},
                                  {"C", VT_I4, "3", 0, 0, 0, 0, 0}};
    ComPtr<IOPCServer> server = Connect();
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ASSERT_EQ(server.As(&browse), S_OK);
    for (const EnumCase& c : kEnumCases) {
        SCOPED_TRACE(c.what);
        OpcFaultConfig config{};
        config.items = items;
        config.itemCount = 3;
        config.browseEnum = c.behaviour;
        Configure(config);
        ComPtr<IEnumString> e;
        ASSERT_EQ(browse->BrowseOPCItemIDs(OPC_FLAT, u"", VT_EMPTY, 0, e.ReleaseAndGetAddressOf()),
                  S_OK);
        uint32_t delivered = 0;
        LPOLESTR s = nullptr;
        ULONG n = 0;
        HRESULT hr;
        while ((hr = e->Next(1, &s, &n)) == S_OK) {
            EXPECT_EQ(n, 1u);
            CoTaskMemFree(s);
            ++delivered;
        }
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(delivered, c.delivered);
        EXPECT_EQ(hr, c.end);
    }
}

TEST_F(FaultServerTest, FakeServerListReportsTheConfiguredClasses) {
    ASSERT_EQ(api_->RegisterAsServerList(), S_OK);
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(Create(CLSID_OpcServerList, &unknown), S_OK);
    ComPtr<IOPCServerList2> list2;
    ComPtr<IOPCServerList> list1;
    ASSERT_EQ(unknown.As(&list2), S_OK);
    ASSERT_EQ(unknown.As(&list1), S_OK);
    EXPECT_EQ(Stats().liveServerLists, 1u);

    const OpcFaultClass classes[] = {
        {"{B0000000-0000-0000-0000-000000000001}", "Vendor.One.1", "One", "Vendor.One", 0},
        {"{B0000000-0000-0000-0000-000000000002}", "Vendor.Two", nullptr, nullptr, 0},
        {"{B0000000-0000-0000-0000-000000000003}", "Vendor.Broken", "Broken", nullptr,
         REGDB_E_READREGDB},
    };
    struct Case {
        HRESULT result;
        const char16_t *progId, *userType, *vi;
    };
    const Case expected[] = {
        {S_OK, u"Vendor.One.1", u"One", u"Vendor.One"},
        {S_OK, u"Vendor.Two", u"<null>", u"<null>"},
        {REGDB_E_READREGDB, u"<null>", u"<null>", u"<null>"},
    };
    OpcFaultConfig config{};
    config.classes = classes;
    config.classCount = std::size(classes);
    Configure(config);

    CATID cat = CATID_OPCDAServer20;
    ComPtr<IEnumGUID> e;
    ASSERT_EQ(list2->EnumClassesOfCategories(1, &cat, 0, nullptr, e.ReleaseAndGetAddressOf()),
              S_OK);
    OpcFaultStats stats = Stats();
    EXPECT_STREQ(stats.lastCategory, "{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}");
    EXPECT_EQ(stats.lastImplementedCount, 1u);
    EXPECT_EQ(stats.lastRequiredCount, 0u);
    GUID g;
    ULONG n = 0;
    for (size_t i = 0; i < std::size(classes); ++i) {
        SCOPED_TRACE(classes[i].clsid);
        ASSERT_EQ(e->Next(1, &g, &n), S_OK);
        EXPECT_EQ(g, *GuidFromAnsi(classes[i].clsid));
        LPOLESTR progId = nullptr, userType = nullptr, vi = nullptr;
        EXPECT_EQ(list2->GetClassDetails(g, &progId, &userType, &vi), expected[i].result);
        EXPECT_EQ(Text(progId), expected[i].progId);
        EXPECT_EQ(Text(userType), expected[i].userType);
        EXPECT_EQ(Text(vi), expected[i].vi);
        CoTaskMemFree(progId);
        CoTaskMemFree(userType);
        CoTaskMemFree(vi);
        ASSERT_EQ(list1->GetClassDetails(g, &progId, &userType), expected[i].result);
        EXPECT_EQ(Text(progId), expected[i].progId);
        CoTaskMemFree(progId);
        CoTaskMemFree(userType);
    }
    EXPECT_EQ(e->Next(1, &g, &n), S_FALSE);
    LPOLESTR progId = nullptr, userType = nullptr;
    EXPECT_EQ(list1->GetClassDetails(GUID_NULL, &progId, &userType), REGDB_E_CLASSNOTREG);
    CLSID clsid{};
    EXPECT_EQ(list1->CLSIDFromProgID(u"vendor.two", &clsid), S_OK);
    EXPECT_EQ(clsid, *GuidFromAnsi(classes[1].clsid));
    EXPECT_EQ(list1->CLSIDFromProgID(u"Vendor.None", &clsid), CO_E_CLASSSTRING);
}

TEST_F(FaultServerTest, ClassEnumeratorEndsAsConfigured) {
    ASSERT_EQ(api_->RegisterAsServerList(), S_OK);
    const OpcFaultClass classes[] = {
        {"{B0000000-0000-0000-0000-000000000001}", "A", "A", "A", 0},
        {"{B0000000-0000-0000-0000-000000000002}", "B", "B", "B", 0},
        {"{B0000000-0000-0000-0000-000000000003}", "C", "C", "C", 0},
    };
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(Create(CLSID_OpcServerList, &unknown), S_OK);
    ComPtr<IOPCServerList> list;
    ASSERT_EQ(unknown.As(&list), S_OK);
    for (const EnumCase& c : kEnumCases) {
        SCOPED_TRACE(c.what);
        OpcFaultConfig config{};
        config.classes = classes;
        config.classCount = 3;
        config.classEnum = c.behaviour;
        Configure(config);
        CATID cat = CATID_OPCDAServer20;
        ComPtr<IEnumGUID> e;
        ASSERT_EQ(list->EnumClassesOfCategories(1, &cat, 0, nullptr, e.ReleaseAndGetAddressOf()),
                  S_OK);
        uint32_t delivered = 0;
        GUID g;
        ULONG n = 0;
        HRESULT hr;
        while ((hr = e->Next(1, &g, &n)) == S_OK)
            ++delivered;
        EXPECT_EQ(delivered, c.delivered);
        EXPECT_EQ(hr, c.end);
    }
}

TEST_F(FaultServerTest, DelayedCallsTakeAtLeastTheirDelay) {
    ComPtr<IOPCServer> server = Connect();
    ComPtr<IOPCItemMgt> group;
    ASSERT_EQ(AddGroup(server.Get(), &group), S_OK);
    OPCHANDLE handle = 0;
    HRESULT item;
    ASSERT_EQ(AddItem(group.Get(), u"Number.I4", &handle, &item), S_OK);
    struct Case {
        const char* what;
        uint32_t statusDelay, allDelay;
        std::chrono::milliseconds atLeast;
    };
    const Case cases[] = {{"one call", 60, 0, std::chrono::milliseconds(60)},
                          {"every call", 0, 40, std::chrono::milliseconds(40)},
                          {"both add up", 30, 30, std::chrono::milliseconds(60)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpcFaultConfig config{};
        config.calls[OPC_FAULT_GETSTATUS].delayMs = c.statusDelay;
        config.delayAllMs = c.allDelay;
        Configure(config);
        auto start = Clock::now();
        OPCSERVERSTATUS* status = nullptr;
        ASSERT_EQ(server->GetStatus(&status), S_OK);
        EXPECT_GE(Clock::now() - start, c.atLeast);
        CoTaskMemFree(status->szVendorInfo);
        CoTaskMemFree(status);
        if (c.allDelay) {
            start = Clock::now();
            EXPECT_EQ(Read(group.Get(), handle).call, S_OK);
            EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(c.allDelay));
        }
    }
}

TEST_F(FaultServerTest, HeldCallWaitsUntilReleased) {
    ComPtr<IOPCServer> server = Connect();
    OpcFaultConfig config{};
    config.calls[OPC_FAULT_GETSTATUS].hold = 1;
    Configure(config);
    std::atomic<bool> returned{false};
    HRESULT result = E_UNEXPECTED;
    std::thread caller([&] {
        OPCSERVERSTATUS* status = nullptr;
        result = server->GetStatus(&status);
        if (status) {
            CoTaskMemFree(status->szVendorInfo);
            CoTaskMemFree(status);
        }
        returned = true;
    });
    EXPECT_TRUE(WaitFor([&] { return Stats().heldCalls == 1; }));
    EXPECT_FALSE(returned);
    api_->ReleaseHeld();
    caller.join();
    EXPECT_EQ(result, S_OK);
    EXPECT_EQ(Stats().heldCalls, 0u);
    // The release also ends the hold: the next call goes straight through.
    OPCSERVERSTATUS* status = nullptr;
    ASSERT_EQ(server->GetStatus(&status), S_OK);
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
}

TEST_F(FaultServerTest, ShutdownReachesEverySinkInItsOwnApartment) {
    ComPtr<IOPCServer> server = Connect();
    ComPtr<IConnectionPointContainer> cpc;
    ASSERT_EQ(server.As(&cpc), S_OK);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(cpc->FindConnectionPoint(IID_IOPCServer, point.ReleaseAndGetAddressOf()),
              CONNECT_E_NOCONNECTION);
    ASSERT_EQ(cpc->FindConnectionPoint(IID_IOPCShutdown, point.ReleaseAndGetAddressOf()), S_OK);
    IID iid{};
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, IID_IOPCShutdown);

    // A sink that is no IOPCShutdown is turned away.
    ComPtr<IUnknown> notASink;
    ASSERT_EQ(Create(*GuidFromAnsi(OPC_FAULT_SERVER_CLSID), &notASink), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(notASink.Get(), &cookie), CONNECT_E_CANNOTCONNECT);
    notASink = nullptr;

    auto here = MakeComObject<ShutdownSink>();
    DWORD hereCookie = 0;
    ASSERT_EQ(point->Advise(here.Get(), &hereCookie), S_OK);

    // A second sink advised from another thread's apartment, which dispatches its calls.
    auto there = MakeComObject<ShutdownSink>();
    std::mutex m;
    std::condition_variable cv;
    bool advised = false, stop = false;
    std::thread::id otherThread;
    std::thread other([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        DWORD c = 0;
        EXPECT_EQ(point->Advise(there.Get(), &c), S_OK);
        {
            std::lock_guard lock(m);
            advised = true;
            otherThread = std::this_thread::get_id();
        }
        cv.notify_all();
        WaitFor([&] {
            CoDispatchApartmentCalls();
            std::lock_guard lock(m);
            return stop;
        });
        CoUninitialize();
    });
    {
        std::unique_lock lock(m);
        EXPECT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return advised; }));
    }
    EXPECT_EQ(Stats().sinksAdvised, 2u);
    EXPECT_EQ(api_->SendShutdown("going down"), 2);
    EXPECT_EQ(here->Reasons(), std::vector<std::u16string>{u"going down"});
    EXPECT_EQ(here->Thread(), std::this_thread::get_id());
    EXPECT_TRUE(WaitFor([&] { return there->Reasons().size() == 1; }));
    EXPECT_EQ(there->Reasons(), std::vector<std::u16string>{u"going down"});
    {
        std::lock_guard lock(m);
        EXPECT_EQ(there->Thread(), otherThread);
        stop = true;
    }
    other.join();
    EXPECT_EQ(Stats().shutdownsSent, 2u);

    ASSERT_EQ(point->Unadvise(hereCookie), S_OK);
    EXPECT_EQ(point->Unadvise(hereCookie), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(Stats().sinksAdvised, 1u);
    // Releasing the server lets go of the sinks still advised.
    point = nullptr;
    cpc = nullptr;
    server = nullptr;
    EXPECT_EQ(Stats().sinksAdvised, 0u);
    EXPECT_EQ(api_->SendShutdown("nobody"), 0);
}

TEST_F(FaultServerTest, CountsLiveObjectsAndRecordsTheLatestArguments) {
    ComPtr<IOPCServer> server = Connect();
    ComPtr<IOPCItemMgt> group;
    ASSERT_EQ(AddGroup(server.Get(), &group, nullptr, u"Main"), S_OK);
    ComPtr<IOPCItemMgt> duplicate;
    EXPECT_EQ(AddGroup(server.Get(), &duplicate, nullptr, u"Main"), OPC_E_DUPLICATENAME);
    OPCHANDLE handle = 0;
    HRESULT item;
    ASSERT_EQ(AddItem(group.Get(), u"Number.R8", &handle, &item), S_OK);
    Read(group.Get(), handle);
    OpcFaultStats stats = Stats();
    EXPECT_EQ(stats.liveServers, 1u);
    EXPECT_EQ(stats.liveGroups, 1u);
    EXPECT_EQ(stats.itemsInGroups, 1u);
    EXPECT_STREQ(stats.lastGroupName, "Main");
    EXPECT_EQ(stats.lastGroupActive, -1);
    EXPECT_EQ(stats.lastUpdateRate, 250u);
    EXPECT_STREQ(stats.lastItemId, "Number.R8");
    EXPECT_EQ(stats.lastItemActive, -1);
    EXPECT_EQ(stats.lastRequestedType, VT_EMPTY);
    EXPECT_EQ(stats.lastItemCount, 1u);
    EXPECT_EQ(stats.lastReadSource, uint32_t(OPC_DS_CACHE));

    HRESULT* errors = nullptr;
    ASSERT_EQ(group->RemoveItems(1, &handle, &errors), S_OK);
    EXPECT_EQ(errors[0], S_OK);
    CoTaskMemFree(errors);
    EXPECT_EQ(Stats().itemsInGroups, 0u);
    EXPECT_EQ(Read(group.Get(), handle).item, OPC_E_INVALIDHANDLE);
    // The client's reference keeps the group after the server let go of it.
    server = nullptr;
    EXPECT_EQ(Stats().liveServers, 0u);
    EXPECT_EQ(Stats().liveGroups, 1u);
    group = nullptr;
    EXPECT_EQ(Stats().liveObjects, 0u);
}

TEST_F(FaultServerTest, MalformedConfigurationIsRejectedAndChangesNothing) {
    OpcFaultConfig good{};
    good.serverState = OPC_STATUS_SUSPENDED;
    Configure(good);
    const OpcFaultItem noId[] = {{nullptr, VT_I4, "1", 0, 0, 0, 0, 0}};
    const OpcFaultItem notANumber[] = {{"X", VT_I4, "abc", 0, 0, 0, 0, 0}};
    const OpcFaultItem tooBig[] = {{"X", VT_I1, "300", 0, 0, 0, 0, 0}};
    const OpcFaultItem commaNumber[] = {{"X", VT_R8, "3,5", 0, 0, 0, 0, 0}};
    const OpcFaultItem notABoolean[] = {{"X", VT_BOOL, "yes", 0, 0, 0, 0, 0}};
    const OpcFaultItem badType[] = {{"X", VT_VARIANT, "", 0, 0, 0, 0, 0}};
    const OpcFaultClass badClsid[] = {{"{nope}", "P", "U", "V", 0}};
    const OpcFaultClass noClsid[] = {{nullptr, "P", "U", "V", 0}};
    struct Case {
        const char* what;
        const OpcFaultItem* items;
        const OpcFaultClass* classes;
    };
    const Case cases[] = {
        {"item without ID", noId, nullptr},
        {"not a number", notANumber, nullptr},
        {"out of range", tooBig, nullptr},
        {"comma in a number", commaNumber, nullptr},
        {"not a boolean", notABoolean, nullptr},
        {"unsupported type", badType, nullptr},
        {"malformed class identifier", nullptr, badClsid},
        {"missing class identifier", nullptr, noClsid},
    };
    ComPtr<IOPCServer> server = Connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpcFaultConfig bad{};
        bad.items = c.items;
        bad.itemCount = c.items ? 1 : 0;
        bad.classes = c.classes;
        bad.classCount = c.classes ? 1 : 0;
        EXPECT_EQ(api_->Configure(&bad), E_INVALIDARG);
        OPCSERVERSTATUS* status = nullptr;
        ASSERT_EQ(server->GetStatus(&status), S_OK);
        EXPECT_EQ(status->dwServerState, OPC_STATUS_SUSPENDED);
        CoTaskMemFree(status->szVendorInfo);
        CoTaskMemFree(status);
    }
}

}  // namespace

#include "tests/servers/opcsim_test_support.h"

namespace opcsim::test {

::testing::AssertionResult HrIs(HRESULT expected, HRESULT actual) {
    if (expected == actual)
        return ::testing::AssertionSuccess();
    RegisterOpcResultNames();
    return ::testing::AssertionFailure()
           << "expected " << DescribeHResult(expected) << ", got " << DescribeHResult(actual);
}

AddResult AddItem(IOPCItemMgt* group, std::u16string_view id, VARTYPE requested, BOOL active,
                  OPCHANDLE client) {
    std::u16string text(id);
    OPCITEMDEF def{};
    def.szAccessPath = const_cast<LPWSTR>(u"");
    def.szItemID = text.data();
    def.bActive = active;
    def.hClient = client;
    def.vtRequestedDataType = requested;
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    AddResult out;
    out.call = group->AddItems(1, &def, &results, &errors);
    if (SUCCEEDED(out.call)) {
        out.item = errors[0];
        out.handle = results[0].hServer;
        out.canonical = results[0].vtCanonicalDataType;
        out.rights = results[0].dwAccessRights;
        CoTaskMemFree(results[0].pBlob);
    }
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    return out;
}

HRESULT RemoveItem(IOPCItemMgt* group, OPCHANDLE handle) {
    HRESULT* errors = nullptr;
    HRESULT hr = group->RemoveItems(1, &handle, &errors);
    if (SUCCEEDED(hr))
        hr = errors[0];
    CoTaskMemFree(errors);
    return hr;
}

ReadResult ReadItem(IOPCItemMgt* group, OPCHANDLE handle, OPCDATASOURCE source) {
    ReadResult out;
    ComPtr<IOPCSyncIO> io;
    out.call = group->QueryInterface(IID_IOPCSyncIO, io.AsOut());
    if (FAILED(out.call))
        return out;
    OPCITEMSTATE* states = nullptr;
    HRESULT* errors = nullptr;
    out.call = io->Read(source, 1, &handle, &states, &errors);
    if (SUCCEEDED(out.call)) {
        out.item = errors[0];
        VariantCopy(out.value.ptr(), &states[0].vDataValue);
        out.quality = states[0].wQuality;
        out.timeStamp = states[0].ftTimeStamp;
        out.client = states[0].hClient;
        VariantClear(&states[0].vDataValue);
    }
    CoTaskMemFree(states);
    CoTaskMemFree(errors);
    return out;
}

HRESULT WriteItem(IOPCItemMgt* group, OPCHANDLE handle, const VARIANT& value) {
    ComPtr<IOPCSyncIO> io;
    HRESULT hr = group->QueryInterface(IID_IOPCSyncIO, io.AsOut());
    if (FAILED(hr))
        return hr;
    VARIANT copy;
    VariantInit(&copy);
    VariantCopy(&copy, &value);
    HRESULT* errors = nullptr;
    hr = io->Write(1, &handle, &copy, &errors);
    if (SUCCEEDED(hr))
        hr = errors[0];
    CoTaskMemFree(errors);
    VariantClear(&copy);
    return hr;
}

OPCSERVERSTATE ServerState(IOPCServer* server) {
    OPCSERVERSTATUS* status = nullptr;
    if (FAILED(server->GetStatus(&status)))
        return static_cast<OPCSERVERSTATE>(0);
    const OPCSERVERSTATE state = status->dwServerState;
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
    return state;
}

Value R8(double v) {
    return NumberValue(v, VT_R8);
}
Value I4(int32_t v) {
    return NumberValue(v, VT_I4);
}
Value Bool(bool v) {
    return NumberValue(v ? 1 : 0, VT_BOOL);
}
Value Text(std::u16string_view text) {
    Value out;
    out.ptr()->vt = VT_BSTR;
    out.ptr()->bstrVal = SysAllocStringView(text);
    return out;
}

double AsDouble(const VARIANT& v) {
    VARIANT d;
    VariantInit(&d);
    if (FAILED(VariantChangeType(&d, &v, 0, VT_R8))) {
        ADD_FAILURE() << "value of type " << v.vt << " is not a number";
        return 0;
    }
    return d.dblVal;
}

std::u16string AsText(const VARIANT& v) {
    return VariantToText(v);
}

void SimServerTest::SetUp() {
    ASSERT_TRUE(com_.Succeeded());
    // Shared for the rest of the process: build them before the task-memory count is taken.
    DefaultHierarchicalSpace();
    DefaultFlatSpace();
    taskMemoryBaseline_ = CoTaskMemLiveBlocks();
    CreateServerOf(ServerKind::Hierarchical);
}

void SimServerTest::TearDown() {
    server_.Reset();
    EXPECT_EQ(CoTaskMemLiveBlocks(), taskMemoryBaseline_) << "task memory left behind";
}

void SimServerTest::CreateServerOf(ServerKind kind) {
    server_.Reset();
    ASSERT_HR(S_OK, CreateServer(kind, clock_, IID_IOPCServer, server_.AsOut()));
}

ComPtr<IOPCItemMgt> SimServerTest::AddGroup(std::u16string_view name, DWORD rate, BOOL active,
                                            OPCHANDLE* handle) {
    std::u16string text(name);
    OPCHANDLE groupHandle = 0;
    DWORD revised = 0;
    ComPtr<IOPCItemMgt> group;
    HRESULT hr = server_->AddGroup(text.c_str(), active, rate, 0, nullptr, nullptr, 0, &groupHandle,
                                   &revised, IID_IOPCItemMgt,
                                   reinterpret_cast<LPUNKNOWN*>(group.ReleaseAndGetAddressOf()));
    EXPECT_HR(S_OK, hr);
    if (handle)
        *handle = groupHandle;
    return group;
}

}  // namespace opcsim::test

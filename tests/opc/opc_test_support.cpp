#include "tests/opc/opc_test_support.h"

#include "platform/kernel/kernel.h"
#include "platform/registry/registry.h"
#include "platform/text/text.h"
#include "tests/support/test_servers.h"

namespace opctest {

std::string VariantName(const ::testing::TestParamInfo<TextVariant>& info) {
    return info.param == TextVariant::Utf16 ? "Utf16" : "Ansi";
}

// ---- Access -------------------------------------------------------------------------------

namespace {

std::string A(std::u16string_view text) {
    return Utf16ToAnsi(text);
}
std::u16string W(std::string_view text) {
    return AnsiToUtf16(text);
}

}  // namespace

bool Access::Connect(std::u16string_view machine, std::u16string_view server,
                     ComPtr<IOPCServer>& out) const {
    if (variant == TextVariant::Utf16)
        return ConnectToServer(machine, server, out);
    return ConnectToServer(std::string_view(A(machine)), std::string_view(A(server)), out);
}

void Access::Browse(IOPCServer* server, std::vector<std::u16string>& items,
                    OPCNAMESPACETYPE& organization) const {
    if (variant == TextVariant::Utf16) {
        ServerBrowseItemIDs(server, items, organization);
        return;
    }
    // The 8-bit list starts with what the caller's list held, to see that it is cleared.
    std::vector<std::string> ansi;
    for (const std::u16string& item : items)
        ansi.push_back(A(item));
    ServerBrowseItemIDs(server, ansi, organization);
    items.clear();
    for (const std::string& item : ansi)
        items.push_back(W(item));
}

HRESULT Access::CreateGroup(IOPCServer* server, std::u16string_view name, BOOL active, DWORD rate,
                            ComPtr<IOPCItemMgt>& group, OPCHANDLE& handle) const {
    if (variant == TextVariant::Utf16)
        return ServerCreateGroup(server, name, active, rate, group, handle);
    return ServerCreateGroup(server, std::string_view(A(name)), active, rate, group, handle);
}

HRESULT Access::AddItem(IOPCItemMgt* group, std::u16string_view itemId, OPCHANDLE client,
                        VARTYPE requested, OPCHANDLE& handle, VARTYPE& canonical) const {
    if (variant == TextVariant::Utf16)
        return GroupAddItem(group, itemId, client, requested, handle, canonical);
    return GroupAddItem(group, std::string_view(A(itemId)), client, requested, handle, canonical);
}

HRESULT Access::ReadText(IOPCItemMgt* group, OPCHANDLE handle, std::u16string& text,
                         WORD& quality) const {
    if (variant == TextVariant::Utf16)
        return GroupReadItemText(group, handle, text, quality);
    std::string ansi = A(text);
    const HRESULT hr = GroupReadItemText(group, handle, ansi, quality);
    text = W(ansi);
    return hr;
}

void Access::Enumerate(std::u16string_view machine, std::vector<std::u16string>& names,
                       std::vector<std::u16string>& classIds) const {
    if (variant == TextVariant::Utf16) {
        EnumerateServers(machine, names, classIds);
        return;
    }
    std::vector<std::string> ansiNames;
    std::vector<std::string> ansiIds;
    for (const std::u16string& name : names)
        ansiNames.push_back(A(name));
    for (const std::u16string& id : classIds)
        ansiIds.push_back(A(id));
    EnumerateServers(std::string_view(A(machine)), ansiNames, ansiIds);
    names.clear();
    classIds.clear();
    for (const std::string& name : ansiNames)
        names.push_back(W(name));
    for (const std::string& id : ansiIds)
        classIds.push_back(W(id));
}

// ---- Activation observers -----------------------------------------------------------------

namespace {

std::mutex g_recordsMutex;
std::vector<ActivationRecord> g_records;

HRESULT RecordCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                             void** object) {
    {
        std::lock_guard lock(g_recordsMutex);
        g_records.push_back({false, context, u"", clsid});
    }
    return CoCreateInstance(clsid, outer, context, riid, object);
}

HRESULT RecordCreateInstanceEx(REFCLSID clsid, IUnknown* outer, DWORD context, COSERVERINFO* server,
                               DWORD count, MULTI_QI* results) {
    {
        std::lock_guard lock(g_recordsMutex);
        g_records.push_back(
            {true, context, server && server->pwszName ? server->pwszName : u"", clsid});
    }
    return CoCreateInstanceEx(clsid, outer, context, server, count, results);
}

}  // namespace

ActivationRecorder::ActivationRecorder() {
    {
        std::lock_guard lock(g_recordsMutex);
        g_records.clear();
    }
    previous_ = opc::detail::SetActivationCalls({&RecordCreateInstance, &RecordCreateInstanceEx});
}

ActivationRecorder::~ActivationRecorder() {
    opc::detail::SetActivationCalls(previous_);
}

std::vector<ActivationRecord> ActivationRecorder::Records() const {
    std::lock_guard lock(g_recordsMutex);
    return g_records;
}

HRESULT FakeRemoteActivation::CreateInstance(std::u16string_view machine, REFCLSID clsid,
                                             REFIID riid, void** object) {
    {
        std::lock_guard lock(mutex_);
        machines_.emplace_back(machine);
        classes_.push_back(clsid);
    }
    if (FAILED(fail_)) {
        *object = nullptr;
        return fail_;
    }
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, object);
}

std::vector<std::u16string> FakeRemoteActivation::Machines() const {
    std::lock_guard lock(mutex_);
    return machines_;
}

std::vector<CLSID> FakeRemoteActivation::Classes() const {
    std::lock_guard lock(mutex_);
    return classes_;
}

// ---- Fixture ------------------------------------------------------------------------------

void OpcTest::SetUp() {
    registry_.emplace();
    fault_ = &OpcFaultApi::Get();
    ASSERT_TRUE(fault_->loaded) << "cannot load " OPC_FAULT_MODULE_PATH;
    fault_->Reset();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    comInitialised_ = true;
    RegisterOpcResultNames();
    ASSERT_EQ(korva::test::RegisterFaultServer(), S_OK) << "cannot register the fault server";
    taskMemoryBaseline_ = CoTaskMemLiveBlocks();
}

void OpcTest::TearDown() {
    if (fault_ && fault_->loaded) {
        fault_->ReleaseHeld();
        const OpcFaultStats stats = Stats();
        EXPECT_EQ(stats.liveObjects, 0u) << "the fault server's objects outlive the test";
        EXPECT_EQ(stats.sinksAdvised, 0u) << "a shutdown sink is still subscribed";
    }
    EXPECT_EQ(CoTaskMemLiveBlocks(), taskMemoryBaseline_) << "task memory was not freed";
    if (remoteInstalled_)
        CoSetRemoteActivation(previousRemote_);
    if (comInitialised_)
        CoUninitialize();
    if (fault_ && fault_->loaded)
        fault_->Reset();
    registry_.reset();
}

void OpcTest::ResetTaskMemoryBaseline() {
    taskMemoryBaseline_ = CoTaskMemLiveBlocks();
}

void OpcTest::Configure(const OpcFaultConfig& config) {
    ASSERT_EQ(fault_->Configure(&config), S_OK);
}

OpcFaultStats OpcTest::Stats() const {
    OpcFaultStats stats{};
    fault_->GetStats(&stats);
    return stats;
}

void OpcTest::UseRemote(std::shared_ptr<RemoteActivation> remote) {
    std::shared_ptr<RemoteActivation> previous = CoSetRemoteActivation(std::move(remote));
    if (!remoteInstalled_)
        previousRemote_ = std::move(previous);
    remoteInstalled_ = true;
}

CLSID OpcTest::FaultClsid() {
    return *GuidFromAnsi(OPC_FAULT_SERVER_CLSID);
}

// ---- Helpers ------------------------------------------------------------------------------

std::u16string SwapCase(std::u16string_view text) {
    std::u16string swapped(text);
    for (char16_t& c : swapped) {
        if (c >= u'a' && c <= u'z')
            c = char16_t(c - u'a' + u'A');
        else if (c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
    }
    return swapped;
}

std::u16string ComputerName() {
    return Utf8ToUtf16(GetComputerName());
}

void WriteKey(const std::string& path, std::optional<std::string> defaultValue) {
    TRegistry registry(KEY_ALL_ACCESS);
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(registry.OpenKey("\\" + path, true)) << path;
    if (defaultValue) {
        ASSERT_TRUE(registry.WriteString("", *defaultValue)) << path;
    }
}

}  // namespace opctest

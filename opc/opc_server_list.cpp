#include "opc/opc_server_list.h"

#include "opc/detail/name_compare.h"
#include "opc/detail/server_activation.h"
#include "platform/registry/registry.h"
#include "platform/text/text.h"

using opc::detail::CompareNamesIgnoringCase;

namespace {

// GetClassDetails of the two interfaces: the newer one hands out a third text, which is freed
// as well.
HRESULT ClassDetails(IOPCServerList2* list, const CLSID& clsid, LPOLESTR* progId,
                     LPOLESTR* userType) {
    LPOLESTR versionIndependent = nullptr;
    const HRESULT hr = list->GetClassDetails(clsid, progId, userType, &versionIndependent);
    CoTaskMemFree(versionIndependent);
    return hr;
}

HRESULT ClassDetails(IOPCServerList* list, const CLSID& clsid, LPOLESTR* progId,
                     LPOLESTR* userType) {
    return list->GetClassDetails(clsid, progId, userType);
}

std::u16string TextOf(LPCOLESTR text) {
    return text ? std::u16string(text) : std::u16string();
}

}  // namespace

// ---- TOPCServerStrings --------------------------------------------------------------------

size_t TOPCServerStrings::LowerBound(std::u16string_view name) const {
    size_t low = 0;
    size_t high = entries_.size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (CompareNamesIgnoringCase(entries_[middle].first, name) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

ptrdiff_t TOPCServerStrings::IndexOf(std::u16string_view name) const {
    const size_t at = LowerBound(name);
    if (at < entries_.size() && CompareNamesIgnoringCase(entries_[at].first, name) == 0)
        return static_cast<ptrdiff_t>(at);
    return -1;
}

bool TOPCServerStrings::Add(std::u16string name, std::unique_ptr<TOPCServerInfo> info) {
    const size_t at = LowerBound(name);
    if (at < entries_.size() && CompareNamesIgnoringCase(entries_[at].first, name) == 0)
        return false;  // `info` goes with the refusal
    entries_.emplace(entries_.begin() + static_cast<ptrdiff_t>(at), std::move(name),
                     std::move(info));
    return true;
}

// ---- TOPCServerList -----------------------------------------------------------------------

TOPCServerList::TOPCServerList(std::u16string_view machineName, std::span<const CATID> categories,
                               bool useRegistry)
    : categories_(categories.begin(), categories.end()),
      machineName_(machineName),
      useRegistry_(useRegistry),
      useServerList_(!categories.empty()) {}

TOPCServerList::~TOPCServerList() {
    ClearServers();
}

int TOPCServerList::Refresh() {
    ClearServers();
    registryReachable_ = false;
    registryScanned_ = false;
    serverListUsed_ = false;
    serverListResult_ = S_OK;
    servers_ = std::make_unique<TOPCServerStrings>();
    if (useRegistry_)
        ScanRegistry();
    if (useServerList_)
        ScanServerList();
    return ServerCount();
}

int TOPCServerList::ServerCount() const {
    return servers_ ? static_cast<int>(servers_->Count()) : 0;
}

CLSID TOPCServerList::ClassIDAt(int index) const {
    if (!servers_ || index < 0 || static_cast<size_t>(index) >= servers_->Count())
        return GUID_NULL;
    return servers_->Objects(static_cast<size_t>(index)).ClassID;
}

void TOPCServerList::ClearServers() {
    servers_.reset();
}

void TOPCServerList::AddServer(std::u16string_view name, const CLSID& classId,
                               std::u16string_view description, std::u16string_view vendor) {
    // Linear: a machine has few OPC servers, and the first source to report a class wins.
    for (size_t i = 0; i < servers_->Count(); ++i)
        if (servers_->Objects(i).ClassID == classId)
            return;
    auto info = std::make_unique<TOPCServerInfo>(
        std::u16string(name), classId, std::u16string(description), std::u16string(vendor));
    servers_->Add(std::u16string(name), std::move(info));
}

void TOPCServerList::ScanRegistry() {
    TRegistry registry(KEY_READ);
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    registryReachable_ = true;
    if (!machineName_.empty()) {
        std::string machine = Utf16ToUtf8(machineName_);
        if (machine.front() != '\\')
            machine = "\\\\" + machine;
        if (!registry.RegistryConnect(machine))
            registryReachable_ = false;
    }
    if (!registryReachable_ || !registry.OpenKeyReadOnly("\\"))
        return;
    registryScanned_ = true;
    const std::vector<std::string> keys = registry.GetKeyNames();
    registry.CloseKey();

    const int count = static_cast<int>(keys.size());
    for (int i = 0; i < count; ++i) {
        if (OnScanProgress)
            OnScanProgress(*this, i, count);
        const std::string& key = keys[static_cast<size_t>(i)];
        // Almost no key is an OPC server: look for its "OPC" sub-key first, in one walk from
        // the root, and read the rest only for those that have one. What is listed is the same
        // as opening each key and reading its description first, at a fraction of the lookups.
        if (!registry.OpenKeyReadOnly("\\" + key + "\\OPC"))
            continue;
        if (!registry.OpenKeyReadOnly("\\" + key)) {
            registry.CloseKey();
            continue;
        }
        const std::u16string description = Utf8ToUtf16(registry.ReadString("").value_or(""));
        // The ProgID resolves through this computer's registration, also when the keys come
        // from another machine: that is where a connection would look it up.
        const std::u16string progId = Utf8ToUtf16(key);
        CLSID clsid{};
        if (SUCCEEDED(CLSIDFromProgID(progId.c_str(), &clsid))) {
            std::string vendor;
            if (registry.OpenKeyReadOnly("OPC\\Vendor"))
                vendor = registry.ReadString("").value_or("");
            AddServer(progId, clsid, description, Utf8ToUtf16(vendor));
        }
        registry.CloseKey();
    }
}

void TOPCServerList::ScanServerList() {
    serverListFailed_ = 0;
    ComPtr<IUnknown> object;
    serverListResult_ = opc::detail::CreateServerObject(machineName_, CLSID_OpcServerList, object);
    if (FAILED(serverListResult_)) {
        serverListFailed_ = 1;
        return;
    }
    ComPtr<IOPCServerList2> list2;
    ComPtr<IOPCServerList> list;
    if (SUCCEEDED(object->QueryInterface(IID_IOPCServerList2, list2.AsOut())) && list2) {
        serverListUsed_ = true;
        for (const CATID& category : categories_)
            ReadCategory(list2.Get(), category);
    } else if (SUCCEEDED(object->QueryInterface(IID_IOPCServerList, list.AsOut())) && list) {
        serverListUsed_ = true;
        for (const CATID& category : categories_)
            ReadCategory(list.Get(), category);
    } else {
        serverListResult_ = E_NOINTERFACE;
    }
}

template <class ServerList>
void TOPCServerList::ReadCategory(ServerList* serverList, const CATID& category) {
    CATID implemented = category;
    ComPtr<IEnumGUID> classes;
    if (FAILED(serverList->EnumClassesOfCategories(1, &implemented, 0, nullptr,
                                                   classes.GetAddressOf())) ||
        !classes)
        return;
    for (;;) {
        CLSID clsid{};
        ULONG fetched = 0;
        const HRESULT hr = classes->Next(1, &clsid, &fetched);
        if (FAILED(hr) || fetched != 1)
            break;
        LPOLESTR progId = nullptr;
        LPOLESTR userType = nullptr;
        // A class without a ProgID has no name to list it under, nor to connect with.
        if (SUCCEEDED(ClassDetails(serverList, clsid, &progId, &userType)) && progId && *progId)
            AddServer(progId, clsid, TextOf(userType), u"");
        CoTaskMemFree(progId);
        CoTaskMemFree(userType);
    }
}

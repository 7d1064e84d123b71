#include "servers/opcsim/server.h"

#include <cmath>

#include "platform/com/enum_string.h"
#include "servers/opcsim/browse.h"
#include "servers/opcsim/task_text.h"

namespace opcsim {
namespace {

constexpr LCID kEnglishUS = 0x0409;
constexpr LCID kSystemDefault = 0x0800;
constexpr LCID kUserDefault = 0x0400;
constexpr LCID kNeutral = 0x0000;

constexpr WORD kMajorVersion = 1;
constexpr WORD kMinorVersion = 0;
constexpr WORD kBuildNumber = 0;

std::u16string_view TextOrEmpty(LPCWSTR text) {
    return text ? std::u16string_view(text) : u"";
}

std::u16string NumberText(unsigned long n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace

OpcServer::OpcServer(SharedAddressSpace space, std::shared_ptr<const SimClock> clock)
    : core_(std::make_shared<ServerCore>(std::move(space), std::move(clock))) {}

OpcServer::~OpcServer() {
    core_->shutdown->Clear();
}

HRESULT OpcServer::AddGroup(LPCWSTR name, BOOL active, DWORD requestedUpdateRate, OPCHANDLE, LONG*,
                            FLOAT* percentDeadband, DWORD, OPCHANDLE* serverGroup,
                            DWORD* revisedUpdateRate, REFIID riid, LPUNKNOWN* group) {
    if (group)
        *group = nullptr;
    if (!group)
        return E_INVALIDARG;
    if (percentDeadband &&
        (std::isnan(*percentDeadband) || *percentDeadband < 0.0f || *percentDeadband > 100.0f))
        return E_INVALIDARG;

    // Declared before the lock so that they are released after it.
    auto created = MakeComObject<OpcGroup>(core_, active != FALSE, requestedUpdateRate);
    ComPtr<IUnknown> requested;
    if (HRESULT hr = created->QueryInterface(riid, requested.AsOut()); FAILED(hr))
        return hr;

    std::lock_guard lock(core_->mutex);
    std::u16string groupName(TextOrEmpty(name));
    auto taken = [this](std::u16string_view n) {
        for (const auto& [handle, entry] : groups_)
            if (entry.name == n)
                return true;
        return false;
    };
    if (groupName.empty()) {
        for (OPCHANDLE n = nextGroupHandle_;; ++n) {
            groupName = u"Group" + NumberText(n);
            if (!taken(groupName))
                break;
        }
    } else if (taken(groupName)) {
        return OPC_E_DUPLICATENAME;
    }
    const OPCHANDLE handle = nextGroupHandle_++;
    groups_.emplace(handle, GroupEntry{std::move(groupName), created});
    if (serverGroup)
        *serverGroup = handle;
    if (revisedUpdateRate)
        *revisedUpdateRate = requestedUpdateRate;
    *group = requested.Detach();
    return S_OK;
}

HRESULT OpcServer::GetErrorString(HRESULT error, LCID, LPWSTR* text) {
    return ErrorText(error, text);
}

HRESULT OpcServer::GetGroupByName(LPCWSTR name, REFIID riid, LPUNKNOWN* group) {
    if (group)
        *group = nullptr;
    if (!name || !group)
        return E_INVALIDARG;
    ComPtr<OpcGroup> found;
    {
        std::lock_guard lock(core_->mutex);
        for (const auto& [handle, entry] : groups_)
            if (entry.name == name)
                found = entry.group;
    }
    if (!found)
        return E_INVALIDARG;
    return found->QueryInterface(riid, reinterpret_cast<void**>(group));
}

HRESULT OpcServer::GetStatus(OPCSERVERSTATUS** status) {
    if (!status)
        return E_INVALIDARG;
    *status = nullptr;
    auto* record = CoTaskMemNew<OPCSERVERSTATUS>(1);
    LPWSTR vendor = TaskMemString(kVendorInfo);
    if (!record || !vendor) {
        CoTaskMemFree(record);
        CoTaskMemFree(vendor);
        return E_OUTOFMEMORY;
    }
    *record = OPCSERVERSTATUS{};
    {
        std::lock_guard lock(core_->mutex);
        const Device& device = core_->device;
        record->ftStartTime = device.ToFileTime(device.StartTime());
        record->ftCurrentTime = device.ToFileTime(device.Now());
        if (core_->lastUpdate.count() >= 0)
            record->ftLastUpdateTime = device.ToFileTime(core_->lastUpdate);
        record->dwServerState = device.State();
        record->dwGroupCount = static_cast<DWORD>(groups_.size());
    }
    record->dwBandWidth = 0xFFFFFFFF;  // not known
    record->wMajorVersion = kMajorVersion;
    record->wMinorVersion = kMinorVersion;
    record->wBuildNumber = kBuildNumber;
    record->szVendorInfo = vendor;
    *status = record;
    return S_OK;
}

HRESULT OpcServer::RemoveGroup(OPCHANDLE serverGroup, BOOL force) {
    ComPtr<OpcGroup> removed;  // released after the lock
    {
        std::lock_guard lock(core_->mutex);
        auto it = groups_.find(serverGroup);
        if (it == groups_.end())
            return E_INVALIDARG;
        removed = std::move(it->second.group);
        groups_.erase(it);
    }
    if (force) {
        removed->MarkRemoved();
        return S_OK;
    }
    // Our reference and the probe's own: anything above is the client's.
    const ULONG refs = removed->AddRef();
    removed->Release();
    return refs > 2 ? OPC_S_INUSE : S_OK;
}

HRESULT OpcServer::CreateGroupEnumerator(OPCENUMSCOPE scope, REFIID riid, LPUNKNOWN* enumerator) {
    if (enumerator)
        *enumerator = nullptr;
    if (!enumerator || scope < OPC_ENUM_PRIVATE_CONNECTIONS || scope > OPC_ENUM_ALL)
        return E_INVALIDARG;
    if (riid != IID_IEnumString)
        return E_NOINTERFACE;
    std::vector<std::u16string> names;
    // Every group here is private: public groups are not offered.
    if (scope != OPC_ENUM_PUBLIC_CONNECTIONS && scope != OPC_ENUM_PUBLIC) {
        std::lock_guard lock(core_->mutex);
        for (const auto& [handle, entry] : groups_)
            names.push_back(entry.name);
    }
    const bool empty = names.empty();
    *enumerator = MakeEnumString(std::move(names)).Detach();
    return empty ? S_FALSE : S_OK;
}

HRESULT OpcServer::SetLocaleID(LCID locale) {
    if (locale != kEnglishUS && locale != kSystemDefault && locale != kUserDefault &&
        locale != kNeutral)
        return E_INVALIDARG;
    std::lock_guard lock(core_->mutex);
    locale_ = locale;
    return S_OK;
}

HRESULT OpcServer::GetLocaleID(LCID* locale) {
    if (!locale)
        return E_INVALIDARG;
    std::lock_guard lock(core_->mutex);
    *locale = locale_;
    return S_OK;
}

HRESULT OpcServer::QueryAvailableLocaleIDs(DWORD* count, LCID** locales) {
    if (count)
        *count = 0;
    if (locales)
        *locales = nullptr;
    if (!count || !locales)
        return E_INVALIDARG;
    static constexpr LCID kLocales[] = {kEnglishUS, kSystemDefault, kUserDefault, kNeutral};
    auto* array = CoTaskMemNew<LCID>(std::size(kLocales));
    if (!array)
        return E_OUTOFMEMORY;
    std::copy(std::begin(kLocales), std::end(kLocales), array);
    *count = static_cast<DWORD>(std::size(kLocales));
    *locales = array;
    return S_OK;
}

HRESULT OpcServer::GetErrorString(HRESULT error, LPWSTR* text) {
    return ErrorText(error, text);
}

HRESULT OpcServer::SetClientName(LPCWSTR name) {
    std::lock_guard lock(core_->mutex);
    clientName_ = TextOrEmpty(name);
    return S_OK;
}

HRESULT OpcServer::QueryOrganization(OPCNAMESPACETYPE* organization) {
    if (!organization)
        return E_INVALIDARG;
    *organization = core_->device.Space().Organization();
    return S_OK;
}

HRESULT OpcServer::ChangeBrowsePosition(OPCBROWSEDIRECTION direction, LPCWSTR name) {
    std::lock_guard lock(core_->mutex);
    return opcsim::ChangeBrowsePosition(core_->device.Space(), browsePosition_, direction,
                                        TextOrEmpty(name));
}

HRESULT OpcServer::BrowseOPCItemIDs(OPCBROWSETYPE type, LPCWSTR filter, VARTYPE dataTypeFilter,
                                    DWORD accessRightsFilter, LPENUMSTRING* enumerator) {
    if (enumerator)
        *enumerator = nullptr;
    if (!enumerator)
        return E_INVALIDARG;
    size_t position;
    {
        std::lock_guard lock(core_->mutex);
        position = browsePosition_;
    }
    // The address space never changes: listing it needs no lock.
    std::vector<std::u16string> names;
    const HRESULT hr = BrowseNames(core_->device.Space(), position, type, TextOrEmpty(filter),
                                   dataTypeFilter, accessRightsFilter, names);
    if (FAILED(hr))
        return hr;
    // Nothing to list still hands out an (empty) enumerator, with S_FALSE.
    *enumerator = MakeEnumString(std::move(names)).Detach();
    return hr;
}

HRESULT OpcServer::GetItemID(LPWSTR itemDataId, LPWSTR* itemId) {
    if (itemId)
        *itemId = nullptr;
    if (!itemId)
        return E_INVALIDARG;
    size_t position;
    {
        std::lock_guard lock(core_->mutex);
        position = browsePosition_;
    }
    std::u16string id;
    if (HRESULT hr = FullItemId(core_->device.Space(), position, TextOrEmpty(itemDataId), id);
        FAILED(hr))
        return hr;
    *itemId = TaskMemString(id);
    return *itemId ? S_OK : E_OUTOFMEMORY;
}

HRESULT OpcServer::BrowseAccessPaths(LPCWSTR, LPENUMSTRING* enumerator) {
    // Items are reached without access paths.
    if (enumerator)
        *enumerator = nullptr;
    return E_NOTIMPL;
}

HRESULT OpcServer::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points)
        *points = nullptr;
    return E_NOTIMPL;
}

HRESULT OpcServer::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (!point)
        return E_POINTER;
    *point = nullptr;
    if (riid != IID_IOPCShutdown)
        return CONNECT_E_NOCONNECTION;
    *point = MakeComObject<ShutdownPoint>(this, core_->shutdown).Detach();
    return S_OK;
}

}  // namespace opcsim

#include "servers/opcsim/group.h"

#include <algorithm>
#include <cstring>

#include "servers/opcsim/item_id.h"

namespace opcsim {
namespace {

// A cache read of an inactive item or group: BAD, out of service, with the last cached value.
constexpr WORD kOutOfService = OPC_QUALITY_BAD | OPC_QUALITY_OUT_OF_SERVICE;

template <class T>
T* ZeroedArray(DWORD count) {
    T* array = CoTaskMemNew<T>(count);
    if (array)
        std::memset(static_cast<void*>(array), 0, sizeof(T) * count);
    return array;
}

}  // namespace

OpcGroup::OpcGroup(std::shared_ptr<ServerCore> core, bool active, DWORD updateRateMs)
    : core_(std::move(core)), active_(active), rateMs_(updateRateMs), epoch_(core_->device.Now()) {
    std::lock_guard lock(core_->mutex);
    core_->groups.push_back(this);
}

OpcGroup::~OpcGroup() {
    std::lock_guard lock(core_->mutex);
    auto& groups = core_->groups;
    groups.erase(std::remove(groups.begin(), groups.end(), this), groups.end());
}

Nanos OpcGroup::DueRefresh(Nanos t) const {
    if (rateMs_ == 0 || t < epoch_)
        return t;
    const Nanos rate = std::chrono::milliseconds(rateMs_);
    return epoch_ + ((t - epoch_) / rate) * rate;
}

void OpcGroup::RefreshLocked(Entry& entry, Nanos now) {
    // Rate 0 refreshes for every read, also twice within one tick of the clock.
    const Nanos due = DueRefresh(now);
    if (rateMs_ != 0 && due <= entry.sampledAt)
        return;
    core_->device.Sample(entry.item, due, entry.cache.ptr());
    entry.sampledAt = due;
    core_->lastUpdate = std::max(core_->lastUpdate, due);
}

void OpcGroup::CatchUpLocked(size_t item, Nanos now) {
    // A group of rate 0 refreshes when it is read: it has nothing to catch up.
    if (!active_ || rateMs_ == 0)
        return;
    for (auto& [handle, entry] : items_)
        if (entry.item == item && entry.active)
            RefreshLocked(entry, now);
}

HRESULT OpcGroup::CheckItem(const OPCITEMDEF& def, OPCITEMRESULT& result, size_t& item) const {
    const AddressSpace& space = core_->device.Space();
    if (!def.szItemID)
        return OPC_E_INVALIDITEMID;
    const std::u16string_view id(def.szItemID);
    if (!IsWellFormedItemId(id, space.Organization()))
        return OPC_E_INVALIDITEMID;
    const std::optional<size_t> found = space.Find(id);
    if (!found)
        return OPC_E_UNKNOWNITEMID;
    if (!IsRequestableType(def.vtRequestedDataType))
        return OPC_E_BADTYPE;
    const ItemDef& itemDef = space.Item(*found);
    item = *found;
    result.vtCanonicalDataType = itemDef.type;
    result.dwAccessRights = itemDef.access;
    return S_OK;
}

HRESULT OpcGroup::AddItems(DWORD count, OPCITEMDEF* items, OPCITEMRESULT** results,
                           HRESULT** errors) {
    if (results)
        *results = nullptr;
    if (errors)
        *errors = nullptr;
    if (removed_)
        return E_FAIL;
    if (count == 0 || !items || !results || !errors)
        return E_INVALIDARG;
    auto* res = ZeroedArray<OPCITEMRESULT>(count);
    auto* err = ZeroedArray<HRESULT>(count);
    if (!res || !err) {
        CoTaskMemFree(res);
        CoTaskMemFree(err);
        return E_OUTOFMEMORY;
    }
    bool allAdded = true;
    {
        std::lock_guard lock(core_->mutex);
        const Nanos now = core_->device.Now();
        for (DWORD i = 0; i < count; ++i) {
            size_t item = 0;
            err[i] = CheckItem(items[i], res[i], item);
            if (FAILED(err[i])) {
                allAdded = false;
                continue;
            }
            // The first cache read finds the value of the moment the item was added.
            Entry entry{item,
                        items[i].hClient,
                        items[i].vtRequestedDataType,
                        items[i].bActive != FALSE,
                        Value(),
                        now};
            core_->device.Sample(item, now, entry.cache.ptr());
            const OPCHANDLE handle = nextHandle_++;
            items_.emplace(handle, std::move(entry));
            res[i].hServer = handle;
        }
    }
    *results = res;
    *errors = err;
    return allAdded ? S_OK : S_FALSE;
}

HRESULT OpcGroup::ValidateItems(DWORD count, OPCITEMDEF* items, BOOL, OPCITEMRESULT** results,
                                HRESULT** errors) {
    if (results)
        *results = nullptr;
    if (errors)
        *errors = nullptr;
    if (removed_)
        return E_FAIL;
    if (count == 0 || !items || !results || !errors)
        return E_INVALIDARG;
    auto* res = ZeroedArray<OPCITEMRESULT>(count);
    auto* err = ZeroedArray<HRESULT>(count);
    if (!res || !err) {
        CoTaskMemFree(res);
        CoTaskMemFree(err);
        return E_OUTOFMEMORY;
    }
    bool allValid = true;
    for (DWORD i = 0; i < count; ++i) {
        size_t item = 0;
        // The address space never changes, so no lock is needed to check against it.
        err[i] = CheckItem(items[i], res[i], item);
        allValid = allValid && SUCCEEDED(err[i]);
    }
    *results = res;
    *errors = err;
    return allValid ? S_OK : S_FALSE;
}

template <class Op>
HRESULT OpcGroup::ForEachHandle(DWORD count, OPCHANDLE* handles, HRESULT** errors, Op op) {
    if (errors)
        *errors = nullptr;
    if (removed_)
        return E_FAIL;
    if (count == 0 || !handles || !errors)
        return E_INVALIDARG;
    auto* err = ZeroedArray<HRESULT>(count);
    if (!err)
        return E_OUTOFMEMORY;
    bool allDone = true;
    {
        std::lock_guard lock(core_->mutex);
        for (DWORD i = 0; i < count; ++i) {
            auto it = items_.find(handles[i]);
            err[i] = it == items_.end() ? OPC_E_INVALIDHANDLE : op(i, it);
            allDone = allDone && SUCCEEDED(err[i]);
        }
    }
    *errors = err;
    return allDone ? S_OK : S_FALSE;
}

HRESULT OpcGroup::RemoveItems(DWORD count, OPCHANDLE* serverHandles, HRESULT** errors) {
    // The values removed hold no COM references, so they may go while the lock is held.
    return ForEachHandle(count, serverHandles, errors, [this](DWORD, auto it) {
        items_.erase(it);
        return S_OK;
    });
}

HRESULT OpcGroup::SetActiveState(DWORD count, OPCHANDLE* serverHandles, BOOL active,
                                 HRESULT** errors) {
    return ForEachHandle(count, serverHandles, errors, [active](DWORD, auto it) {
        it->second.active = active != FALSE;
        return S_OK;
    });
}

HRESULT OpcGroup::SetClientHandles(DWORD count, OPCHANDLE* serverHandles, OPCHANDLE* clientHandles,
                                   HRESULT** errors) {
    if (!clientHandles) {
        if (errors)
            *errors = nullptr;
        return E_INVALIDARG;
    }
    return ForEachHandle(count, serverHandles, errors, [clientHandles](DWORD i, auto it) {
        it->second.client = clientHandles[i];
        return S_OK;
    });
}

HRESULT OpcGroup::SetDatatypes(DWORD count, OPCHANDLE* serverHandles, VARTYPE* requestedTypes,
                               HRESULT** errors) {
    if (!requestedTypes) {
        if (errors)
            *errors = nullptr;
        return E_INVALIDARG;
    }
    return ForEachHandle(count, serverHandles, errors, [requestedTypes](DWORD i, auto it) {
        if (!IsRequestableType(requestedTypes[i]))
            return OPC_E_BADTYPE;
        it->second.requested = requestedTypes[i];
        return S_OK;
    });
}

HRESULT OpcGroup::CreateEnumerator(REFIID, LPUNKNOWN* enumerator) {
    // Item attribute enumerators are not offered.
    if (enumerator)
        *enumerator = nullptr;
    return E_NOTIMPL;
}

HRESULT OpcGroup::Read(OPCDATASOURCE source, DWORD count, OPCHANDLE* serverHandles,
                       OPCITEMSTATE** states, HRESULT** errors) {
    if (states)
        *states = nullptr;
    if (errors)
        *errors = nullptr;
    if (removed_)
        return E_FAIL;
    if (count == 0 || !serverHandles || !states || !errors)
        return E_INVALIDARG;
    if (source != OPC_DS_CACHE && source != OPC_DS_DEVICE)
        return E_INVALIDARG;
    auto* st = ZeroedArray<OPCITEMSTATE>(count);  // zero bits are VT_EMPTY values
    auto* err = ZeroedArray<HRESULT>(count);
    if (!st || !err) {
        CoTaskMemFree(st);
        CoTaskMemFree(err);
        return E_OUTOFMEMORY;
    }
    bool allRead = true;
    {
        std::lock_guard lock(core_->mutex);
        const Device& device = core_->device;
        const Nanos now = device.Now();
        for (DWORD i = 0; i < count; ++i) {
            OPCITEMSTATE& state = st[i];
            state.wQuality = OPC_QUALITY_BAD;
            auto it = items_.find(serverHandles[i]);
            if (it == items_.end()) {
                err[i] = OPC_E_INVALIDHANDLE;
                allRead = false;
                continue;
            }
            Entry& entry = it->second;
            state.hClient = entry.client;
            if (!(device.Space().Item(entry.item).access & OPC_READABLE)) {
                err[i] = OPC_E_BADRIGHTS;
                allRead = false;
                continue;
            }
            WORD quality = OPC_QUALITY_GOOD;
            if (source == OPC_DS_DEVICE) {
                // A device read goes past the cache and leaves its value there.
                device.Sample(entry.item, now, entry.cache.ptr());
                entry.sampledAt = std::max(entry.sampledAt, now);
                core_->lastUpdate = std::max(core_->lastUpdate, now);
            } else if (active_ && entry.active) {
                RefreshLocked(entry, now);
            } else {
                quality = kOutOfService;
            }
            err[i] = ConvertForRead(entry.cache.get(), entry.requested, &state.vDataValue);
            if (FAILED(err[i])) {
                allRead = false;
                continue;
            }
            state.wQuality = quality;
            state.ftTimeStamp = device.ToFileTime(entry.sampledAt);
        }
    }
    *states = st;
    *errors = err;
    return allRead ? S_OK : S_FALSE;
}

HRESULT OpcGroup::Write(DWORD count, OPCHANDLE* serverHandles, VARIANT* values, HRESULT** errors) {
    if (errors)
        *errors = nullptr;
    if (removed_)
        return E_FAIL;
    if (count == 0 || !serverHandles || !values || !errors)
        return E_INVALIDARG;
    auto* err = ZeroedArray<HRESULT>(count);
    if (!err)
        return E_OUTOFMEMORY;
    // A sink of this apartment runs inside this call and may release the client's last
    // reference to the group or the server.
    ComPtr<OpcGroup> self(this);
    std::shared_ptr<ServerCore> core = core_;
    std::vector<std::u16string> shutdownReasons;
    bool allWritten = true;
    {
        std::lock_guard lock(core->mutex);
        const Nanos now = core->device.Now();
        for (DWORD i = 0; i < count; ++i) {
            auto it = items_.find(serverHandles[i]);
            if (it == items_.end()) {
                err[i] = OPC_E_INVALIDHANDLE;
                allWritten = false;
                continue;
            }
            const size_t item = it->second.item;
            // Caches that refreshed before this moment hold the value from before the write.
            for (OpcGroup* group : core->groups)
                group->CatchUpLocked(item, now);
            std::u16string reason;
            bool shutdown = core->device.Space().Item(item).special == Special::Shutdown;
            err[i] = core->device.Write(item, values[i], &reason);
            if (FAILED(err[i]))
                allWritten = false;
            else if (shutdown)
                shutdownReasons.push_back(std::move(reason));
        }
    }
    *errors = err;
    for (const std::u16string& reason : shutdownReasons)
        core->shutdown->Notify(reason);
    return allWritten ? S_OK : S_FALSE;
}

}  // namespace opcsim

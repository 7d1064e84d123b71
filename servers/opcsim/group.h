// A group of items: the client's items with their cache, refreshed at the group's update rate.
#pragma once

#include <atomic>
#include <memory>
#include <unordered_map>

#include "opc/opc_da.h"
#include "servers/opcsim/server_core.h"

namespace opcsim {

class OpcGroup final : public ComObject<IOPCItemMgt, IOPCSyncIO> {
  public:
    // `updateRateMs` 0: as fast as possible, i.e. every cache read gets the value of that moment.
    // Registers itself with the core (the caller must not hold the core's lock).
    // (The group's client handle only matters for callbacks, which this server does not make.)
    OpcGroup(std::shared_ptr<ServerCore> core, bool active, DWORD updateRateMs);

    // IOPCItemMgt. Result and error arrays are task memory; S_FALSE when some items failed.
    HRESULT AddItems(DWORD count, OPCITEMDEF* items, OPCITEMRESULT** results,
                     HRESULT** errors) override;
    HRESULT ValidateItems(DWORD count, OPCITEMDEF* items, BOOL blobUpdate, OPCITEMRESULT** results,
                          HRESULT** errors) override;
    HRESULT RemoveItems(DWORD count, OPCHANDLE* serverHandles, HRESULT** errors) override;
    HRESULT SetActiveState(DWORD count, OPCHANDLE* serverHandles, BOOL active,
                           HRESULT** errors) override;
    HRESULT SetClientHandles(DWORD count, OPCHANDLE* serverHandles, OPCHANDLE* clientHandles,
                             HRESULT** errors) override;
    HRESULT SetDatatypes(DWORD count, OPCHANDLE* serverHandles, VARTYPE* requestedTypes,
                         HRESULT** errors) override;
    HRESULT CreateEnumerator(REFIID riid, LPUNKNOWN* enumerator) override;

    // IOPCSyncIO.
    HRESULT Read(OPCDATASOURCE source, DWORD count, OPCHANDLE* serverHandles, OPCITEMSTATE** states,
                 HRESULT** errors) override;
    HRESULT Write(DWORD count, OPCHANDLE* serverHandles, VARIANT* values,
                  HRESULT** errors) override;

    DWORD UpdateRate() const { return rateMs_; }
    // A forced RemoveGroup: every later call answers E_FAIL.
    void MarkRemoved() { removed_.store(true); }

    // Carries out the refreshes of `item` that fell due by `now` and have not been observed yet.
    // The core's lock must be held.
    void CatchUpLocked(size_t item, Nanos now);

  protected:
    ~OpcGroup() override;

  private:
    struct Entry {
        size_t item;
        OPCHANDLE client;
        VARTYPE requested;
        bool active;
        Value cache;
        Nanos sampledAt;
    };

    // The latest refresh instant at or before `t`: multiples of the rate from the group's start.
    Nanos DueRefresh(Nanos t) const;
    void RefreshLocked(Entry& entry, Nanos now);
    // Checks one item definition; fills `result` (without a handle) on success.
    HRESULT CheckItem(const OPCITEMDEF& def, OPCITEMRESULT& result, size_t& item) const;
    // Applies `op` to each handle, collecting per-item answers into a task-memory array.
    template <class Op>
    HRESULT ForEachHandle(DWORD count, OPCHANDLE* handles, HRESULT** errors, Op op);

    std::shared_ptr<ServerCore> core_;
    const bool active_;
    const DWORD rateMs_;
    const Nanos epoch_;
    std::unordered_map<OPCHANDLE, Entry> items_;  // guarded by core_->mutex
    OPCHANDLE nextHandle_ = 1;
    std::atomic<bool> removed_{false};
    LiveObject live_;
};

}  // namespace opcsim

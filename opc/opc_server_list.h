// The OPC DA servers installed on a machine, found in its class registry (ProgID keys with an
// "OPC" sub-key) and through its server list component (by component category).
//
// A list runs on the calling thread, which must have initialised COM; it is not shared between
// threads. Nothing is reported and nothing is raised: a source that fails contributes nothing,
// and the status fields tell what happened.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "opc/opc_common.h"
#include "opc/opc_da.h"

// One server of the list.
class TOPCServerInfo {
  public:
    TOPCServerInfo(std::u16string progId, const CLSID& classId, std::u16string description,
                   std::u16string vendor)
        : ProgID(std::move(progId)),
          ClassID(classId),
          Description(std::move(description)),
          Vendor(std::move(vendor)) {}
    virtual ~TOPCServerInfo() = default;

    std::u16string ProgID;  // also the entry's name in the list
    CLSID ClassID;
    std::u16string Description;
    std::u16string Vendor;
};

// Names with their server, sorted without regard to letter case in the user's locale order; a
// name that differs from a listed one only in case is refused. Owns the servers.
class TOPCServerStrings {
  public:
    size_t Count() const { return entries_.size(); }
    const std::u16string& Strings(size_t index) const { return entries_[index].first; }
    const TOPCServerInfo& Objects(size_t index) const { return *entries_[index].second; }
    // The index of `name` (any letter case), or -1.
    ptrdiff_t IndexOf(std::u16string_view name) const;
    // Inserts `info` under `name` in sorted order. False, and `info` freed, when the name is
    // listed already.
    bool Add(std::u16string name, std::unique_ptr<TOPCServerInfo> info);
    void Clear() { entries_.clear(); }

  private:
    // Index of the first entry that does not sort before `name`.
    size_t LowerBound(std::u16string_view name) const;

    std::vector<std::pair<std::u16string, std::unique_ptr<TOPCServerInfo>>> entries_;
};

class TOPCServerList {
  public:
    // Called by the registry scan before each key with the list, the key's index (from 0) and
    // the number of keys. The function carries its own context.
    using TScanProgressEvent = std::function<void(TOPCServerList& list, int index, int count)>;

    // `machineName` empty: this computer. The categories are copied; the server list component
    // is asked exactly when there are some.
    TOPCServerList(std::u16string_view machineName, std::span<const CATID> categories,
                   bool useRegistry);
    virtual ~TOPCServerList();
    TOPCServerList(const TOPCServerList&) = delete;
    TOPCServerList& operator=(const TOPCServerList&) = delete;

    // Rebuilds the list: the registry first (so its description and vendor win), then the
    // server list component. Answers ServerCount().
    int Refresh();
    // 0 while the list is absent (before the first Refresh, after ClearServers).
    int ServerCount() const;
    // The sorted list, or null while it is absent.
    const TOPCServerStrings* Servers() const { return servers_.get(); }
    // The class identifier of entry `index` (from 0); GUID_NULL for an index out of range.
    CLSID ClassIDAt(int index) const;
    // Frees every server, then the list, which becomes absent.
    void ClearServers();

    const std::vector<CATID>& Categories() const { return categories_; }
    const std::u16string& MachineName() const { return machineName_; }
    bool UseRegistry() const { return useRegistry_; }
    bool UseServerList() const { return useServerList_; }

    // Status of the latest Refresh.
    bool RegistryReachable() const { return registryReachable_; }  // the class registry answered
    bool RegistryScanned() const { return registryScanned_; }      // its root was opened and walked
    bool ServerListUsed() const { return serverListUsed_; }  // the component offered an interface
    int32_t ServerListFailed() const { return serverListFailed_; }  // 1: it could not be created
    // Why the component was not used: the creation's failure, E_NOINTERFACE when it offered
    // neither interface; S_OK when it was used or not asked.
    HRESULT ServerListResult() const { return serverListResult_; }

    TScanProgressEvent OnScanProgress;  // optional

  private:
    void AddServer(std::u16string_view name, const CLSID& classId, std::u16string_view description,
                   std::u16string_view vendor);
    void ScanRegistry();
    void ScanServerList();
    template <class ServerList>
    void ReadCategory(ServerList* serverList, const CATID& category);

    std::vector<CATID> categories_;
    std::u16string machineName_;
    bool registryReachable_ = false;
    bool registryScanned_ = false;
    bool serverListUsed_ = false;
    std::unique_ptr<TOPCServerStrings> servers_;
    bool useRegistry_;
    bool useServerList_;
    int32_t serverListFailed_ = 0;
    HRESULT serverListResult_ = S_OK;
};

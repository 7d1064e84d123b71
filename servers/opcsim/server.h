// The OPC DA 2.0 server object: groups, status, browsing, locale and the shutdown connection
// point. Every method may be called from any thread.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "opc/opc_common.h"
#include "opc/opc_da.h"
#include "servers/opcsim/group.h"

namespace opcsim {

class OpcServer final : public ComObject<IOPCServer, IOPCCommon, IOPCBrowseServerAddressSpace,
                                         IConnectionPointContainer> {
  public:
    OpcServer(SharedAddressSpace space, std::shared_ptr<const SimClock> clock);

    // IOPCServer. An empty or null group name gets a generated unique one; the revised rate is
    // the requested rate (every rate is supported exactly).
    HRESULT AddGroup(LPCWSTR name, BOOL active, DWORD requestedUpdateRate, OPCHANDLE clientGroup,
                     LONG* timeBias, FLOAT* percentDeadband, DWORD lcid, OPCHANDLE* serverGroup,
                     DWORD* revisedUpdateRate, REFIID riid, LPUNKNOWN* group) override;
    HRESULT GetErrorString(HRESULT error, LCID locale, LPWSTR* text) override;
    HRESULT GetGroupByName(LPCWSTR name, REFIID riid, LPUNKNOWN* group) override;
    HRESULT GetStatus(OPCSERVERSTATUS** status) override;
    // OPC_S_INUSE when the client still holds the group: it keeps working until released,
    // unless `force`, which makes its later calls fail.
    HRESULT RemoveGroup(OPCHANDLE serverGroup, BOOL force) override;
    // IEnumString of the group names; no other enumerator is offered.
    HRESULT CreateGroupEnumerator(OPCENUMSCOPE scope, REFIID riid, LPUNKNOWN* enumerator) override;

    // IOPCCommon.
    HRESULT SetLocaleID(LCID locale) override;
    HRESULT GetLocaleID(LCID* locale) override;
    HRESULT QueryAvailableLocaleIDs(DWORD* count, LCID** locales) override;
    HRESULT GetErrorString(HRESULT error, LPWSTR* text) override;
    HRESULT SetClientName(LPCWSTR name) override;

    // IOPCBrowseServerAddressSpace. The browse position belongs to this server object.
    HRESULT QueryOrganization(OPCNAMESPACETYPE* organization) override;
    HRESULT ChangeBrowsePosition(OPCBROWSEDIRECTION direction, LPCWSTR name) override;
    HRESULT BrowseOPCItemIDs(OPCBROWSETYPE type, LPCWSTR filter, VARTYPE dataTypeFilter,
                             DWORD accessRightsFilter, LPENUMSTRING* enumerator) override;
    HRESULT GetItemID(LPWSTR itemDataId, LPWSTR* itemId) override;
    HRESULT BrowseAccessPaths(LPCWSTR itemId, LPENUMSTRING* enumerator) override;

    // IConnectionPointContainer: one point, for IOPCShutdown.
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    // For tests: the shared state of this server object.
    const std::shared_ptr<ServerCore>& Core() const { return core_; }

  protected:
    // Ends the subscriptions: a group the client still holds sends no notices to them.
    ~OpcServer() override;

  private:
    struct GroupEntry {
        std::u16string name;
        ComPtr<OpcGroup> group;
    };

    std::shared_ptr<ServerCore> core_;
    // Guarded by core_->mutex.
    std::map<OPCHANDLE, GroupEntry> groups_;
    OPCHANDLE nextGroupHandle_ = 1;
    size_t browsePosition_ = AddressSpace::kRoot;
    LCID locale_ = 0x0409;
    std::u16string clientName_;
    LiveObject live_;
};

// The texts of GetErrorString: the OPC codes and the common COM ones; E_INVALIDARG for a code
// without a text.
HRESULT ErrorText(HRESULT error, LPWSTR* text);

// The vendor text of GetStatus.
inline constexpr char16_t kVendorInfo[] = u"Felmaran OPC Simulation Server";

}  // namespace opcsim

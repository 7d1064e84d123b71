#include "opc/opc_access.h"

#include "opc/detail/server_activation.h"
#include "opc/opc_server_list.h"
#include "platform/text/text.h"

namespace {

// Arrays and texts that a server hands out are task memory; these free them on every path,
// also when a failing call handed something out after all.
void FreeErrors(HRESULT* errors) {
    CoTaskMemFree(errors);
}

void FreeItemResults(OPCITEMRESULT* results, DWORD count) {
    if (!results)
        return;
    for (DWORD i = 0; i < count; ++i)
        CoTaskMemFree(results[i].pBlob);
    CoTaskMemFree(results);
}

void FreeItemStates(OPCITEMSTATE* states, DWORD count) {
    if (!states)
        return;
    for (DWORD i = 0; i < count; ++i)
        VariantClear(&states[i].vDataValue);
    CoTaskMemFree(states);
}

void FreeServerStatus(OPCSERVERSTATUS* status) {
    if (!status)
        return;
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
}

bool HoldsNul(std::u16string_view text) {
    return text.find(u'\0') != text.npos;
}

// Reads one item through the group's IOPCSyncIO and hands its state to `onState` when the call
// succeeded; answers the call's failure or the item's own result.
template <class OnState>
HRESULT ReadOneItem(IOPCItemMgt* group, OPCHANDLE serverHandle, OPCDATASOURCE source,
                    OnState&& onState) {
    if (!group)
        return E_FAIL;
    ComPtr<IOPCSyncIO> syncIO;
    if (FAILED(group->QueryInterface(IID_IOPCSyncIO, syncIO.AsOut())) || !syncIO)
        return E_FAIL;

    OPCITEMSTATE* states = nullptr;
    HRESULT* errors = nullptr;
    const HRESULT hr = syncIO->Read(source, 1, &serverHandle, &states, &errors);
    HRESULT answer = hr;
    if (SUCCEEDED(hr)) {
        // A server that claims success but hands out no arrays has read nothing.
        answer = errors && states ? errors[0] : E_FAIL;
        if (states)
            onState(states[0]);
    }
    FreeErrors(errors);
    FreeItemStates(states, 1);
    return answer;
}

std::u16string ToUtf16(std::string_view ansi) {
    return AnsiToUtf16(ansi);
}

}  // namespace

// ---- Connecting ---------------------------------------------------------------------------

HRESULT ConnectToServerResult(std::u16string_view machine, std::u16string_view server,
                              ComPtr<IOPCServer>& out) {
    out.Reset();
    RegisterOpcResultNames();

    // A NUL would cut the name short on its way through the runtime: it names nothing.
    if (HoldsNul(server))
        return CO_E_CLASSSTRING;
    const std::u16string serverName(server);
    CLSID clsid{};
    HRESULT hr = serverName.find(u'{') != serverName.npos
                     ? CLSIDFromString(serverName.c_str(), &clsid)
                     : CLSIDFromProgID(serverName.c_str(), &clsid);
    if (FAILED(hr))
        return hr;

    ComPtr<IUnknown> object;
    hr = opc::detail::CreateServerObject(machine, clsid, object);
    if (FAILED(hr))
        return hr;

    hr = object->QueryInterface(IID_IOPCServer, out.AsOut());
    if (SUCCEEDED(hr) && !out)
        hr = E_NOINTERFACE;
    if (FAILED(hr))
        out.Reset();
    return hr;
}

bool ConnectToServer(std::u16string_view machine, std::u16string_view server,
                     ComPtr<IOPCServer>& out) {
    return SUCCEEDED(ConnectToServerResult(machine, server, out)) && out;
}

bool ConnectToServer(std::string_view machine, std::string_view server, ComPtr<IOPCServer>& out) {
    return ConnectToServer(ToUtf16(machine), ToUtf16(server), out);
}

// ---- Browsing -----------------------------------------------------------------------------

void ServerBrowseItemIDs(IOPCServer* server, std::vector<std::u16string>& items,
                         OPCNAMESPACETYPE& organization) {
    items.clear();
    if (!server)
        return;
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    if (FAILED(server->QueryInterface(IID_IOPCBrowseServerAddressSpace, browse.AsOut())) || !browse)
        return;

    browse->QueryOrganization(&organization);
    browse->ChangeBrowsePosition(OPC_BROWSE_TO, u"");

    ComPtr<IEnumString> strings;
    if (FAILED(browse->BrowseOPCItemIDs(OPC_FLAT, u"", VT_EMPTY, 0, strings.GetAddressOf())) ||
        !strings)
        return;

    for (;;) {
        LPOLESTR text = nullptr;
        ULONG fetched = 0;
        const HRESULT hr = strings->Next(1, &text, &fetched);
        // Only S_OK with a string goes on; an enumerator claiming S_OK with nothing would
        // otherwise keep the loop going for ever.
        const bool more = hr == S_OK && fetched == 1;
        if (more)
            items.emplace_back(text ? std::u16string(text) : std::u16string());
        CoTaskMemFree(text);
        if (!more)
            break;
    }
}

void ServerBrowseItemIDs(IOPCServer* server, std::vector<std::string>& items,
                         OPCNAMESPACETYPE& organization) {
    std::vector<std::u16string> wide;
    ServerBrowseItemIDs(server, wide, organization);
    items.clear();
    items.reserve(wide.size());
    for (const std::u16string& item : wide)
        items.push_back(Utf16ToAnsi(item));
}

// ---- Server -------------------------------------------------------------------------------

bool ServerAdviseShutdown(IOPCServer* server, IOPCShutdown* sink) {
    if (!server || !sink)
        return false;
    ComPtr<IConnectionPointContainer> container;
    if (FAILED(server->QueryInterface(IID_IConnectionPointContainer, container.AsOut())) ||
        !container)
        return false;
    ComPtr<IConnectionPoint> point;
    if (FAILED(container->FindConnectionPoint(IID_IOPCShutdown, point.GetAddressOf())) || !point)
        return false;
    // The cookie is not kept: the subscription lasts as long as the server keeps the sink.
    DWORD cookie = 0;
    return SUCCEEDED(point->Advise(sink, &cookie));
}

HRESULT ServerGetState(IOPCServer* server) {
    if (!server)
        return E_FAIL;
    OPCSERVERSTATUS* status = nullptr;
    const HRESULT hr = server->GetStatus(&status);
    HRESULT answer = E_FAIL;
    if (SUCCEEDED(hr) && status)
        answer = static_cast<HRESULT>(status->dwServerState);
    FreeServerStatus(status);
    return answer;
}

HRESULT ServerCreateGroup(IOPCServer* server, std::u16string_view name, BOOL active,
                          DWORD requestedUpdateRate, ComPtr<IOPCItemMgt>& group,
                          OPCHANDLE& groupHandle) {
    group.Reset();
    if (!server)
        return E_FAIL;
    const std::u16string groupName(name);
    FLOAT deadband = 0.0f;
    DWORD revisedRate = 0;
    HRESULT hr = server->AddGroup(groupName.c_str(), active, requestedUpdateRate, 0, nullptr,
                                  &deadband, 0, &groupHandle, &revisedRate, IID_IOPCItemMgt,
                                  reinterpret_cast<LPUNKNOWN*>(group.GetAddressOf()));
    // A success without a group would leave the caller nothing to add items to.
    if (SUCCEEDED(hr) && !group)
        hr = E_FAIL;
    if (FAILED(hr))
        group.Reset();
    return hr;
}

HRESULT ServerCreateGroup(IOPCServer* server, std::string_view name, BOOL active,
                          DWORD requestedUpdateRate, ComPtr<IOPCItemMgt>& group,
                          OPCHANDLE& groupHandle) {
    return ServerCreateGroup(server, ToUtf16(name), active, requestedUpdateRate, group,
                             groupHandle);
}

// ---- Items --------------------------------------------------------------------------------

HRESULT GroupAddItem(IOPCItemMgt* group, std::u16string_view itemId, OPCHANDLE clientHandle,
                     VARTYPE requestedType, OPCHANDLE& serverHandle, VARTYPE& canonicalType) {
    if (!group)
        return E_FAIL;
    // The server would see the identifier cut at the NUL: some other item, or none.
    if (HoldsNul(itemId))
        return OPC_E_INVALIDITEMID;
    std::u16string accessPath;
    std::u16string id(itemId);
    OPCITEMDEF def{};
    def.szAccessPath = accessPath.data();
    def.szItemID = id.data();
    def.bActive = -1;
    def.hClient = clientHandle;
    def.dwBlobSize = 0;
    def.pBlob = nullptr;
    def.vtRequestedDataType = requestedType;

    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    const HRESULT hr = group->AddItems(1, &def, &results, &errors);
    HRESULT answer = hr;
    if (SUCCEEDED(hr)) {
        answer = errors && results ? errors[0] : E_FAIL;
        if (SUCCEEDED(answer)) {
            serverHandle = results[0].hServer;
            canonicalType = results[0].vtCanonicalDataType;
        }
    }
    FreeItemResults(results, 1);
    FreeErrors(errors);
    return answer;
}

HRESULT GroupAddItem(IOPCItemMgt* group, std::string_view itemId, OPCHANDLE clientHandle,
                     VARTYPE requestedType, OPCHANDLE& serverHandle, VARTYPE& canonicalType) {
    return GroupAddItem(group, ToUtf16(itemId), clientHandle, requestedType, serverHandle,
                        canonicalType);
}

HRESULT GroupDeleteItem(IOPCItemMgt* group, OPCHANDLE serverHandle) {
    if (!group)
        return E_FAIL;
    HRESULT* errors = nullptr;
    const HRESULT hr = group->RemoveItems(1, &serverHandle, &errors);
    HRESULT answer = hr;
    if (SUCCEEDED(hr))
        answer = errors ? errors[0] : E_FAIL;
    FreeErrors(errors);
    return answer;
}

HRESULT GroupReadItemText(IOPCItemMgt* group, OPCHANDLE serverHandle, std::u16string& text,
                          WORD& quality) {
    return ReadOneItem(group, serverHandle, OPC_DS_CACHE, [&](const OPCITEMSTATE& state) {
        text = VariantToText(state.vDataValue);
        quality = state.wQuality;
    });
}

HRESULT GroupReadItemText(IOPCItemMgt* group, OPCHANDLE serverHandle, std::string& text,
                          WORD& quality) {
    return ReadOneItem(group, serverHandle, OPC_DS_CACHE, [&](const OPCITEMSTATE& state) {
        text = Utf16ToAnsi(VariantToText(state.vDataValue));
        quality = state.wQuality;
    });
}

HRESULT GroupReadItemState(IOPCItemMgt* group, OPCHANDLE serverHandle, OPCDATASOURCE source,
                           OpcItemReading& reading) {
    return ReadOneItem(group, serverHandle, source, [&](const OPCITEMSTATE& state) {
        if (FAILED(VariantCopy(reading.value.ptr(), &state.vDataValue)))
            VariantClear(reading.value.ptr());
        reading.quality = state.wQuality;
        reading.timeStamp = state.ftTimeStamp;
        reading.received = true;
    });
}

HRESULT GroupWriteItemValue(IOPCItemMgt* group, OPCHANDLE serverHandle, const VARIANT& value) {
    Variant copy;
    HRESULT hr = VariantCopy(copy.ptr(), &value);
    if (FAILED(hr))
        return hr;
    if (!group)
        return E_FAIL;
    ComPtr<IOPCSyncIO> syncIO;
    if (FAILED(group->QueryInterface(IID_IOPCSyncIO, syncIO.AsOut())) || !syncIO)
        return E_FAIL;

    HRESULT* errors = nullptr;
    hr = syncIO->Write(1, &serverHandle, copy.ptr(), &errors);
    HRESULT answer = hr;
    if (SUCCEEDED(hr))
        answer = errors ? errors[0] : E_FAIL;
    FreeErrors(errors);
    return answer;
}

// ---- Servers of a machine -----------------------------------------------------------------

void EnumerateServers(std::u16string_view machine, std::vector<std::u16string>& names,
                      std::vector<std::u16string>& classIds) {
    names.clear();
    classIds.clear();
    // Another machine's registry is rarely reachable; its server list component answers
    // instead. This computer's registry holds every server, so the component is not asked.
    static constexpr CATID kDataAccess20[] = {CATID_OPCDAServer20};
    std::span<const CATID> categories;
    if (!machine.empty())
        categories = kDataAccess20;
    TOPCServerList list(machine, categories, true);
    const int count = list.Refresh();
    names.reserve(static_cast<size_t>(count));
    classIds.reserve(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        names.push_back(list.Servers()->Strings(static_cast<size_t>(k)));
        classIds.push_back(GuidToString(list.ClassIDAt(k)));
    }
}

void EnumerateServers(std::string_view machine, std::vector<std::string>& names,
                      std::vector<std::string>& classIds) {
    std::vector<std::u16string> wideNames;
    std::vector<std::u16string> wideClassIds;
    EnumerateServers(ToUtf16(machine), wideNames, wideClassIds);
    names.clear();
    classIds.clear();
    for (const std::u16string& name : wideNames)
        names.push_back(Utf16ToAnsi(name));
    for (const std::u16string& classId : wideClassIds)
        classIds.push_back(Utf16ToAnsi(classId));
}

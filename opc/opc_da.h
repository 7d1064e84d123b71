// OPC Data Access 2.0 interfaces, with the identifiers the standard publishes.
#pragma once

#include "opc/opc_types.h"

struct IOPCServer : IUnknown {
    static constexpr IID kIID = MakeGuid("39C13A4D-011E-11D0-9675-0020AFD8ADB3");
    virtual HRESULT AddGroup(LPCWSTR name, BOOL active, DWORD requestedUpdateRate,
                             OPCHANDLE clientGroup, LONG* timeBias, FLOAT* percentDeadband,
                             DWORD lcid, OPCHANDLE* serverGroup, DWORD* revisedUpdateRate,
                             REFIID riid, LPUNKNOWN* group) = 0;
    virtual HRESULT GetErrorString(HRESULT error, LCID locale, LPWSTR* text) = 0;
    virtual HRESULT GetGroupByName(LPCWSTR name, REFIID riid, LPUNKNOWN* group) = 0;
    // The record and its vendor text are task memory.
    virtual HRESULT GetStatus(OPCSERVERSTATUS** status) = 0;
    virtual HRESULT RemoveGroup(OPCHANDLE serverGroup, BOOL force) = 0;
    virtual HRESULT CreateGroupEnumerator(OPCENUMSCOPE scope, REFIID riid, LPUNKNOWN* enumerator) = 0;

protected:
    ~IOPCServer() = default;
};

struct IOPCItemMgt : IUnknown {
    static constexpr IID kIID = MakeGuid("39C13A54-011E-11D0-9675-0020AFD8ADB3");
    // Arrays of `count` results and errors in task memory; S_FALSE when some items failed.
    virtual HRESULT AddItems(DWORD count, OPCITEMDEF* items, OPCITEMRESULT** results,
                             HRESULT** errors) = 0;
    virtual HRESULT ValidateItems(DWORD count, OPCITEMDEF* items, BOOL blobUpdate,
                                  OPCITEMRESULT** results, HRESULT** errors) = 0;
    virtual HRESULT RemoveItems(DWORD count, OPCHANDLE* serverHandles, HRESULT** errors) = 0;
    virtual HRESULT SetActiveState(DWORD count, OPCHANDLE* serverHandles, BOOL active,
                                   HRESULT** errors) = 0;
    virtual HRESULT SetClientHandles(DWORD count, OPCHANDLE* serverHandles,
                                     OPCHANDLE* clientHandles, HRESULT** errors) = 0;
    virtual HRESULT SetDatatypes(DWORD count, OPCHANDLE* serverHandles, VARTYPE* requestedTypes,
                                 HRESULT** errors) = 0;
    virtual HRESULT CreateEnumerator(REFIID riid, LPUNKNOWN* enumerator) = 0;

protected:
    ~IOPCItemMgt() = default;
};

struct IOPCSyncIO : IUnknown {
    static constexpr IID kIID = MakeGuid("39C13A52-011E-11D0-9675-0020AFD8ADB3");
    // `states` and `errors` are task memory; each state's value must be cleared before freeing.
    virtual HRESULT Read(OPCDATASOURCE source, DWORD count, OPCHANDLE* serverHandles,
                         OPCITEMSTATE** states, HRESULT** errors) = 0;
    virtual HRESULT Write(DWORD count, OPCHANDLE* serverHandles, VARIANT* values,
                          HRESULT** errors) = 0;

protected:
    ~IOPCSyncIO() = default;
};

struct IOPCBrowseServerAddressSpace : IUnknown {
    static constexpr IID kIID = MakeGuid("39C13A4F-011E-11D0-9675-0020AFD8ADB3");
    virtual HRESULT QueryOrganization(OPCNAMESPACETYPE* organization) = 0;
    virtual HRESULT ChangeBrowsePosition(OPCBROWSEDIRECTION direction, LPCWSTR name) = 0;
    virtual HRESULT BrowseOPCItemIDs(OPCBROWSETYPE type, LPCWSTR filter, VARTYPE dataTypeFilter,
                                     DWORD accessRightsFilter, LPENUMSTRING* enumerator) = 0;
    virtual HRESULT GetItemID(LPWSTR itemDataId, LPWSTR* itemId) = 0;
    virtual HRESULT BrowseAccessPaths(LPCWSTR itemId, LPENUMSTRING* enumerator) = 0;

protected:
    ~IOPCBrowseServerAddressSpace() = default;
};

constexpr IID IID_IOPCServer = IOPCServer::kIID;
constexpr IID IID_IOPCItemMgt = IOPCItemMgt::kIID;
constexpr IID IID_IOPCSyncIO = IOPCSyncIO::kIID;
constexpr IID IID_IOPCBrowseServerAddressSpace = IOPCBrowseServerAddressSpace::kIID;
constexpr IID IID_IOPCGroupStateMgt = MakeGuid("39C13A50-011E-11D0-9675-0020AFD8ADB3");

constexpr CATID CATID_OPCDAServer10 = MakeGuid("63D5F430-CFE4-11D1-B2C8-0060083BA1FB");
constexpr CATID CATID_OPCDAServer20 = MakeGuid("63D5F432-CFE4-11D1-B2C8-0060083BA1FB");

// Free functions through which both deliverables do their OPC work. They keep no state, borrow
// the references they are given, turn every failure into their answer, free everything a server
// hands back, and never show or log anything.
//
// Text comes in two variants: UTF-16 (the plug-in) and 8-bit text in the system code page (the
// test client). Both cross COM as UTF-16. Every call runs on the calling thread, which must have
// initialised COM; the references must belong to that thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "opc/opc_common.h"
#include "opc/opc_da.h"

// A machine name longer than this gives no connection.
constexpr size_t kMaxMachineNameLength = 1000;

// Connects to `server` (a ProgID, or a class identifier in registry text form when it contains
// "{") on `machine` (empty: this computer). True exactly when `out` holds a server; on failure
// `out` is empty.
bool ConnectToServer(std::u16string_view machine, std::u16string_view server, ComPtr<IOPCServer>& out);
bool ConnectToServer(std::string_view machine, std::string_view server, ComPtr<IOPCServer>& out);
// The same, answering why a connection failed: CO_E_CLASSSTRING for a malformed class
// identifier or an unknown ProgID, E_INVALIDARG for a machine name that is too long or holds a
// NUL, the creation's failure, or E_NOINTERFACE when the object is no OPC server.
HRESULT ConnectToServerResult(std::u16string_view machine, std::u16string_view server,
                              ComPtr<IOPCServer>& out);

// Clears `items` and fills it with the server's fully qualified item identifiers, flat, in the
// server's order. A server without browsing leaves the list empty and `organization` untouched.
void ServerBrowseItemIDs(IOPCServer* server, std::vector<std::u16string>& items,
                         OPCNAMESPACETYPE& organization);
void ServerBrowseItemIDs(IOPCServer* server, std::vector<std::string>& items,
                         OPCNAMESPACETYPE& organization);

// Subscribes `sink` to the server's shutdown notice. The cookie is not kept.
bool ServerAdviseShutdown(IOPCServer* server, IOPCShutdown* sink);

// The server state (1 running ... 6) or E_FAIL.
HRESULT ServerGetState(IOPCServer* server);

// Adds a group (client handle 0, no time bias, deadband 0.0, locale 0) and hands out its
// IOPCItemMgt and server handle. `group` is released first and stays empty on failure.
HRESULT ServerCreateGroup(IOPCServer* server, std::u16string_view name, BOOL active,
                          DWORD requestedUpdateRate, ComPtr<IOPCItemMgt>& group,
                          OPCHANDLE& groupHandle);
HRESULT ServerCreateGroup(IOPCServer* server, std::string_view name, BOOL active,
                          DWORD requestedUpdateRate, ComPtr<IOPCItemMgt>& group,
                          OPCHANDLE& groupHandle);

// Adds one item. The call's failure is the answer with the outputs untouched; otherwise the
// item's own result is, and the outputs are set only when that is a success.
HRESULT GroupAddItem(IOPCItemMgt* group, std::u16string_view itemId, OPCHANDLE clientHandle,
                     VARTYPE requestedType, OPCHANDLE& serverHandle, VARTYPE& canonicalType);
HRESULT GroupAddItem(IOPCItemMgt* group, std::string_view itemId, OPCHANDLE clientHandle,
                     VARTYPE requestedType, OPCHANDLE& serverHandle, VARTYPE& canonicalType);

HRESULT GroupDeleteItem(IOPCItemMgt* group, OPCHANDLE serverHandle);

// Reads one item from the server's cache as text (the platform's variant-to-text conversion).
// The text and quality are set whenever the call itself succeeded, also when the item failed.
HRESULT GroupReadItemText(IOPCItemMgt* group, OPCHANDLE serverHandle, std::u16string& text,
                          WORD& quality);
HRESULT GroupReadItemText(IOPCItemMgt* group, OPCHANDLE serverHandle, std::string& text,
                          WORD& quality);

// One item's state as a read hands it out: the value (a copy the caller owns), its quality and
// time stamp. `received` tells whether the server handed out a state at all.
struct OpcItemReading {
    Variant value;
    WORD quality = 0;
    FILETIME timeStamp{};
    bool received = false;
};
// Reads one item as GroupReadItemText does, from `source`, keeping the value and its time stamp.
// The reading is filled whenever the call itself succeeded, also when the item failed.
HRESULT GroupReadItemState(IOPCItemMgt* group, OPCHANDLE serverHandle, OPCDATASOURCE source,
                           OpcItemReading& reading);

// Writes one value (copied first).
HRESULT GroupWriteItemValue(IOPCItemMgt* group, OPCHANDLE serverHandle, const VARIANT& value);

// Lists the OPC servers of `machine` (empty: this computer) as two parallel lists, names and
// class identifiers in registry text form, sorted by name. Both lists are cleared first.
void EnumerateServers(std::u16string_view machine, std::vector<std::u16string>& names,
                      std::vector<std::u16string>& classIds);
void EnumerateServers(std::string_view machine, std::vector<std::string>& names,
                      std::vector<std::string>& classIds);

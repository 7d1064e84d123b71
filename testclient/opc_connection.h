// The test client's one connection to a server (TOPCConnection) and the callback object through
// which the server asks the client to let go of it (TOPCShutdown).
#pragma once

#include <QPointer>
#include <cstdint>
#include <string>
#include <vector>

#include "components/qnlist.h"
#include "opc/opc_common.h"
#include "opc/opc_da.h"

class TForm1;

// One connection to one server: the server, its group "Main", the items added to the group and
// their last values, and the shutdown callback object. The main window owns it and frees it on
// Disconnect; freeing it releases the references and sends nothing to the server (the group is
// not removed and the shutdown subscription is not cancelled). UI thread only.
class TOPCConnection {
  public:
    // Makes the empty lists and a new TOPCShutdown for `window`, held as ShutdownSink.
    explicit TOPCConnection(TForm1* window);
    ~TOPCConnection();
    TOPCConnection(const TOPCConnection&) = delete;
    TOPCConnection& operator=(const TOPCConnection&) = delete;

    // Tells this connection apart from every other one of the program, also from a later one
    // that happens to get the same address: a handler that waited for a dialog or a server call
    // checks that the connection it started with is still the window's.
    const uint64_t Id;

    std::string MachineName;  // as the selection dialog returned it (system code page)
    std::string ServerName;
    ComPtr<IOPCServer> OPCServer;
    ComPtr<IOPCItemMgt> Group;
    OPCHANDLE GroupHandle = 0;

    // Entry i of each list belongs to the same item; all have the same length.
    std::vector<std::string> ItemIDs;  // in the order added; duplicates allowed
    TIntegerList ItemHandles;          // the server's handle of each item (0 when refused)
    std::vector<double> ItemValues;    // the last value of each item
    // Whether the server accepted item i. A refused item has no handle of its own, so it is
    // never read or written (a handle of 0 could belong to another item); it shows -99999 and
    // its writes fail.
    std::vector<bool> ItemAccepted;

    ComPtr<IOPCShutdown> ShutdownSink;

    int ItemCount() const { return static_cast<int>(ItemIDs.size()); }
    OPCHANDLE ItemHandle(int i) const;
    // Appends one item to the three lists (and ItemAccepted) with the value 0.
    void AppendItem(const std::string& itemId, OPCHANDLE handle, bool accepted);
};

// The shutdown callback of one connection: the server calls ShutdownRequest when it asks its
// clients to disconnect. It acts on the main window on the window's thread; a call that arrives
// on another thread is handed to that thread's apartment. A request from the server of an
// earlier connection while another one is open is ignored: it must not end the wrong one.
class TOPCShutdown : public ComObject<IOPCShutdown> {
  public:
    TOPCShutdown(TForm1* window, uint64_t connectionId);

    // Ends the connection (without the user-disconnect status line), beeps, shows the shutdown
    // caption and status line. The reason is not used. Always S_OK.
    HRESULT ShutdownRequest(LPCWSTR reason) override;

  private:
    QPointer<TForm1> window_;
    const uint64_t connectionId_;
    const ApartmentId apartment_;
};

// The server's connection point for IOPCShutdown: the sinks clients advise, and the notice that
// reaches each of them in its own apartment. The sinks live in the state that the server object
// and its groups share (not in the server object, as the platform's reusable connection point
// would have it), because the shutdown item may be written through a group that its client
// still holds after releasing the server.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "opc/opc_common.h"
#include "servers/opcsim/object_count.h"

namespace opcsim {

// The advised sinks of one server object. Thread-safe.
class ShutdownSinks {
  public:
    // Keeps the sink's IOPCShutdown with the apartment of the calling thread.
    // CONNECT_E_CANNOTCONNECT when the sink does not offer IOPCShutdown, CO_E_NOTINITIALIZED on a
    // thread without COM.
    HRESULT Advise(IUnknown* sink, DWORD* cookie);
    // CONNECT_E_NOCONNECTION for a cookie that is not (or no longer) advised.
    HRESULT Unadvise(DWORD cookie);
    size_t Count() const;
    // Lets go of every sink (the server object ends its connections).
    void Clear();

    // Calls ShutdownRequest(reason) on every sink: at once for a sink of the calling thread's
    // apartment or of the multithreaded one, posted to the sink's apartment otherwise, where it
    // runs when that thread dispatches. No lock is held while a sink runs, so a sink may release
    // the server or call it again.
    void Notify(std::u16string_view reason);

  private:
    struct Sink {
        DWORD cookie;
        ComPtr<IOPCShutdown> sink;
        ApartmentId apartment;
    };
    mutable std::mutex mutex_;
    std::vector<Sink> sinks_;
    DWORD nextCookie_ = 1;
};

// The connection point object that FindConnectionPoint hands out; it keeps its container alive.
class ShutdownPoint final : public ComObject<IConnectionPoint> {
  public:
    ShutdownPoint(IConnectionPointContainer* container, std::shared_ptr<ShutdownSinks> sinks)
        : container_(container), sinks_(std::move(sinks)) {}

    HRESULT GetConnectionInterface(IID* iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT Unadvise(DWORD cookie) override;
    HRESULT EnumConnections(IEnumConnections** connections) override;

  private:
    ComPtr<IConnectionPointContainer> container_;
    std::shared_ptr<ShutdownSinks> sinks_;
    LiveObject live_;
};

}  // namespace opcsim

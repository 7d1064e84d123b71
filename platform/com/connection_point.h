// A reusable connection point: sinks of one interface advise on it, and the object that offers it
// calls every sink, each in the apartment it advised from (a client's shutdown sink is called
// on the client's thread, whichever thread the server notices the shutdown on).
#pragma once

#include <functional>
#include <initializer_list>
#include <mutex>
#include <vector>

#include "platform/com/interfaces.h"
#include "platform/com/runtime.h"

// Lives inside the object that offers it (the container), as a member: it shares the container's
// reference count, so a client's reference to the point keeps the container alive and the point
// never outlives it. Thread-safe.
class ConnectionPoint final : public IConnectionPoint {
  public:
    // `container` is the object that holds this point; `limit` caps the number of sinks (0: no
    // cap; Advise beyond it answers CONNECT_E_ADVISELIMIT).
    ConnectionPoint(IConnectionPointContainer* container, REFIID sinkIid, size_t limit = 0);
    ~ConnectionPoint();
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    // IUnknown: answers IUnknown and IConnectionPoint; the references are the container's.
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetConnectionInterface(IID* iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
    // Keeps a reference to the sink's interface together with the calling thread's apartment.
    // E_POINTER for a null sink or cookie, CONNECT_E_CANNOTCONNECT when the sink lacks the
    // interface, CO_E_NOTINITIALIZED on a thread without COM. Cookies are never 0.
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
    // Releases the sink; CONNECT_E_NOCONNECTION for an unknown cookie.
    HRESULT Unadvise(DWORD cookie) override;
    HRESULT EnumConnections(IEnumConnections** connections) override;  // E_NOTIMPL

    // Calls `call` with every sink advised at this moment, each in its own apartment: at once
    // for sinks of the calling apartment (and of the multithreaded one), otherwise queued for
    // their thread's next dispatch. Sinks whose apartment has ended are skipped. The point's lock
    // is not held while calls run, so a call may Advise or Unadvise. Answers the number of sinks
    // the call was run or queued for.
    template <class Sink, class F>
    size_t Notify(F call) {
        return NotifyAll([call](IUnknown* sink) { call(static_cast<Sink*>(sink)); });
    }
    size_t NotifyAll(std::function<void(IUnknown*)> call);

    size_t SinkCount() const;
    // Releases every sink (the container shutting down its connections).
    void UnadviseAll();

  private:
    struct Connection {
        DWORD cookie;
        ComPtr<IUnknown> sink;  // the sink's interface of the point, held as IUnknown
        ApartmentId apartment;
    };

    IConnectionPointContainer* const container_;
    const IID iid_;
    const size_t limit_;
    mutable std::mutex mutex_;
    std::vector<Connection> connections_;
    DWORD nextCookie_ = 1;
};

// FindConnectionPoint over a container's points: the one for `riid`, AddRef'ed.
// CONNECT_E_NOCONNECTION when none matches, E_POINTER for a null `point`.
HRESULT FindConnectionPointIn(std::initializer_list<ConnectionPoint*> points, REFIID riid,
                              IConnectionPoint** point);

#include "platform/com/connection_point.h"

#include <memory>

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, REFIID sinkIid, size_t limit)
    : container_(container), iid_(sinkIid), limit_(limit) {}

ConnectionPoint::~ConnectionPoint() = default;

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG ConnectionPoint::AddRef() {
    return container_->AddRef();
}

ULONG ConnectionPoint::Release() {
    return container_->Release();
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid)
        return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container)
        return E_POINTER;
    container_->AddRef();
    *container = container_;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie)
        return E_POINTER;
    *cookie = 0;
    const ApartmentId apartment = CoCurrentApartment();
    if (apartment == 0)
        return CO_E_NOTINITIALIZED;
    void* itf = nullptr;
    if (FAILED(sink->QueryInterface(iid_, &itf)) || !itf)
        return CONNECT_E_CANNOTCONNECT;
    ComPtr<IUnknown> held;
    held.Attach(static_cast<IUnknown*>(itf));

    std::lock_guard lock(mutex_);
    if (limit_ != 0 && connections_.size() >= limit_)
        return CONNECT_E_ADVISELIMIT;
    const DWORD id = nextCookie_;
    nextCookie_ = nextCookie_ == 0xFFFFFFFF ? 1 : nextCookie_ + 1;
    connections_.push_back({id, std::move(held), apartment});
    *cookie = id;
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
    ComPtr<IUnknown> released;  // released after the lock: the sink's end may call back
    {
        std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end(); ++it) {
            if (it->cookie == cookie) {
                released = std::move(it->sink);
                connections_.erase(it);
                return S_OK;
            }
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (connections)
        *connections = nullptr;
    return E_NOTIMPL;
}

size_t ConnectionPoint::NotifyAll(std::function<void(IUnknown*)> call) {
    std::vector<Connection> sinks;
    {
        std::lock_guard lock(mutex_);
        sinks = connections_;
    }
    auto shared = std::make_shared<const std::function<void(IUnknown*)>>(std::move(call));
    size_t handed = 0;
    for (Connection& c : sinks) {
        // The queued call holds its own reference to the sink, so an Unadvise before the sink's
        // thread dispatches cannot pull the sink away under it.
        HRESULT hr =
            CoPostToApartment(c.apartment, [shared, sink = c.sink] { (*shared)(sink.Get()); });
        if (SUCCEEDED(hr))
            ++handed;
    }
    return handed;
}

size_t ConnectionPoint::SinkCount() const {
    std::lock_guard lock(mutex_);
    return connections_.size();
}

void ConnectionPoint::UnadviseAll() {
    std::vector<Connection> released;
    std::lock_guard lock(mutex_);
    released.swap(connections_);
}

HRESULT FindConnectionPointIn(std::initializer_list<ConnectionPoint*> points, REFIID riid,
                              IConnectionPoint** point) {
    if (!point)
        return E_POINTER;
    *point = nullptr;
    for (ConnectionPoint* candidate : points) {
        IID iid;
        if (candidate && SUCCEEDED(candidate->GetConnectionInterface(&iid)) && iid == riid) {
            candidate->AddRef();
            *point = candidate;
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

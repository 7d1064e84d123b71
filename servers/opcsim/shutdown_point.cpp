#include "servers/opcsim/shutdown_point.h"

namespace opcsim {

HRESULT ShutdownSinks::Advise(IUnknown* sink, DWORD* cookie) {
    if (cookie)
        *cookie = 0;
    if (!sink || !cookie)
        return E_POINTER;
    const ApartmentId apartment = CoCurrentApartment();
    if (apartment == 0)
        return CO_E_NOTINITIALIZED;
    ComPtr<IOPCShutdown> shutdown;
    if (FAILED(sink->QueryInterface(IID_IOPCShutdown, shutdown.AsOut())) || !shutdown)
        return CONNECT_E_CANNOTCONNECT;
    std::lock_guard lock(mutex_);
    const DWORD id = nextCookie_++;
    if (nextCookie_ == 0)
        nextCookie_ = 1;  // 0 is never a cookie
    sinks_.push_back(Sink{id, std::move(shutdown), apartment});
    *cookie = id;
    return S_OK;
}

HRESULT ShutdownSinks::Unadvise(DWORD cookie) {
    ComPtr<IOPCShutdown> released;  // let go of outside the lock: the sink may call back
    std::lock_guard lock(mutex_);
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
        if (it->cookie == cookie) {
            released = std::move(it->sink);
            sinks_.erase(it);
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

size_t ShutdownSinks::Count() const {
    std::lock_guard lock(mutex_);
    return sinks_.size();
}

void ShutdownSinks::Clear() {
    std::vector<Sink> released;  // released after the lock: a sink may call back
    std::lock_guard lock(mutex_);
    released.swap(sinks_);
}

void ShutdownSinks::Notify(std::u16string_view reason) {
    std::vector<Sink> sinks;
    {
        std::lock_guard lock(mutex_);
        sinks = sinks_;
    }
    // The apartment queue runs a call for the calling apartment (or the multithreaded one) at
    // once and queues it for any other; an apartment that has ended drops it.
    for (Sink& s : sinks) {
        CoPostToApartment(s.apartment, [sink = s.sink, text = std::u16string(reason)] {
            sink->ShutdownRequest(text.c_str());
        });
    }
}

HRESULT ShutdownPoint::GetConnectionInterface(IID* iid) {
    if (!iid)
        return E_POINTER;
    *iid = IID_IOPCShutdown;
    return S_OK;
}

HRESULT ShutdownPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container)
        return E_POINTER;
    *container = container_.Get();
    (*container)->AddRef();
    return S_OK;
}

HRESULT ShutdownPoint::Advise(IUnknown* sink, DWORD* cookie) {
    return sinks_->Advise(sink, cookie);
}

HRESULT ShutdownPoint::Unadvise(DWORD cookie) {
    return sinks_->Unadvise(cookie);
}

HRESULT ShutdownPoint::EnumConnections(IEnumConnections** connections) {
    if (connections)
        *connections = nullptr;
    return E_NOTIMPL;
}

}  // namespace opcsim

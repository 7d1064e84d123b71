// Apartments: a single-threaded apartment belongs to one thread and runs calls posted to it when
// that thread dispatches; the multithreaded apartment is shared by every thread that joined it
// and, its objects being free-threaded, runs a posted call at once on the posting thread.
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/com/runtime.h"

namespace {

struct Apartment {
    Apartment(ApartmentId id, bool multithreaded) : id(id), multithreaded(multithreaded) {}
    const ApartmentId id;
    const bool multithreaded;

    std::mutex mutex;  // guards queue and alive
    std::deque<std::function<void()>> queue;
    bool alive = true;

    // Held while the hook runs or is replaced, so that once CoSetApartmentWakeup({}) returns no
    // thread is still inside the old hook.
    std::mutex wakeupMutex;
    std::function<void()> wakeup;
};

struct Directory {
    std::mutex mutex;
    std::unordered_map<ApartmentId, std::shared_ptr<Apartment>> apartments;
    std::shared_ptr<Apartment> mta;
    size_t mtaThreads = 0;
    ApartmentId next = 1;
};

// Never destroyed: threads may still leave their apartments while the process exits.
Directory& Apartments() {
    static Directory* directory = new Directory;
    return *directory;
}

std::shared_ptr<Apartment> Find(ApartmentId id) {
    Directory& d = Apartments();
    std::lock_guard lock(d.mutex);
    auto it = d.apartments.find(id);
    return it == d.apartments.end() ? nullptr : it->second;
}

std::shared_ptr<Apartment> Join(bool multithreaded) {
    Directory& d = Apartments();
    std::lock_guard lock(d.mutex);
    if (multithreaded) {
        if (!d.mta) {
            d.mta = std::make_shared<Apartment>(d.next++, true);
            d.apartments.emplace(d.mta->id, d.mta);
        }
        ++d.mtaThreads;
        return d.mta;
    }
    auto apartment = std::make_shared<Apartment>(d.next++, false);
    d.apartments.emplace(apartment->id, apartment);
    return apartment;
}

// The calling thread leaves `apartment`; a single-threaded one ends with it, the multithreaded
// one with its last thread. Queued calls and the wake-up hook are destroyed here, on the thread
// that owned them.
void Leave(const std::shared_ptr<Apartment>& apartment) {
    {
        Directory& d = Apartments();
        std::lock_guard lock(d.mutex);
        if (apartment->multithreaded && --d.mtaThreads > 0)
            return;
        d.apartments.erase(apartment->id);
        if (apartment->multithreaded)
            d.mta.reset();
    }
    std::deque<std::function<void()>> dropped;
    std::function<void()> hook;
    {
        std::lock_guard lock(apartment->mutex);
        apartment->alive = false;
        dropped.swap(apartment->queue);
    }
    {
        std::lock_guard lock(apartment->wakeupMutex);
        hook.swap(apartment->wakeup);
    }
}

struct ThreadCom {
    unsigned count = 0;
    std::shared_ptr<Apartment> apartment;

    ~ThreadCom() {
        // A thread that ends without balancing its CoInitializeEx calls still leaves.
        if (count > 0)
            End();
    }
    void End() {
        count = 0;
        std::shared_ptr<Apartment> left = std::move(apartment);
        Leave(left);
    }
};

thread_local ThreadCom threadCom;

constexpr DWORD kKnownInitFlags =
    COINIT_APARTMENTTHREADED | 0x4 /* no OLE1 DDE */ | 0x8 /* speed over memory */;

}  // namespace

HRESULT CoInitializeEx(void* reserved, DWORD model) {
    if (reserved || (model & ~kKnownInitFlags))
        return E_INVALIDARG;
    const bool multithreaded = (model & COINIT_APARTMENTTHREADED) == 0;
    ThreadCom& self = threadCom;
    if (self.count > 0) {
        if (self.apartment->multithreaded != multithreaded)
            return RPC_E_CHANGED_MODE;
        ++self.count;
        return S_FALSE;
    }
    self.apartment = Join(multithreaded);
    self.count = 1;
    return S_OK;
}

HRESULT CoInitialize(void* reserved) {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
    ThreadCom& self = threadCom;
    if (self.count == 0)
        return;  // unbalanced: nothing to leave
    if (--self.count == 0)
        self.End();
}

bool CoIsInitialized() {
    return threadCom.count > 0;
}

ApartmentId CoCurrentApartment() {
    const ThreadCom& self = threadCom;
    return self.count > 0 ? self.apartment->id : 0;
}

HRESULT CoPostToApartment(ApartmentId target, std::function<void()> call) {
    if (!call)
        return E_INVALIDARG;
    if (target != 0 && target == CoCurrentApartment()) {
        call();
        return S_OK;
    }
    std::shared_ptr<Apartment> apartment = target ? Find(target) : nullptr;
    if (!apartment)
        return CO_E_NOTINITIALIZED;
    if (apartment->multithreaded) {
        call();
        return S_OK;
    }
    {
        std::lock_guard lock(apartment->mutex);
        if (!apartment->alive)
            return CO_E_NOTINITIALIZED;
        apartment->queue.push_back(std::move(call));
    }
    std::lock_guard lock(apartment->wakeupMutex);
    if (apartment->wakeup)
        apartment->wakeup();
    return S_OK;
}

size_t CoDispatchApartmentCalls() {
    ThreadCom& self = threadCom;
    if (self.count == 0 || self.apartment->multithreaded)
        return 0;
    // Hold our own reference: a call may uninitialise COM and end the apartment.
    std::shared_ptr<Apartment> apartment = self.apartment;
    size_t waiting;
    {
        std::lock_guard lock(apartment->mutex);
        waiting = apartment->queue.size();
    }
    // Only the calls queued before the dispatch started run now, so a call that posts to its own
    // apartment again cannot keep the thread here for ever.
    size_t ran = 0;
    for (; ran < waiting; ++ran) {
        std::function<void()> call;
        {
            std::lock_guard lock(apartment->mutex);
            if (!apartment->alive || apartment->queue.empty())
                break;
            call = std::move(apartment->queue.front());
            apartment->queue.pop_front();
        }
        call();
    }
    return ran;
}

void CoSetApartmentWakeup(std::function<void()> wakeup) {
    ThreadCom& self = threadCom;
    if (self.count == 0)
        return;
    std::shared_ptr<Apartment> apartment = self.apartment;
    {
        std::lock_guard lock(apartment->wakeupMutex);
        apartment->wakeup.swap(wakeup);
    }
    // The previous hook is destroyed here, outside the lock.
}

// Counts the module's live COM objects and server locks, for DllCanUnloadNow.
#pragma once

#include <atomic>
#include <cstddef>

namespace opcsim {

std::atomic<long>& LiveObjectCount();
std::atomic<long>& ServerLockCount();

// A member that counts its object as live for as long as it exists.
class LiveObject {
  public:
    LiveObject() { LiveObjectCount().fetch_add(1, std::memory_order_relaxed); }
    LiveObject(const LiveObject&) : LiveObject() {}
    LiveObject& operator=(const LiveObject&) = default;
    ~LiveObject() { LiveObjectCount().fetch_sub(1, std::memory_order_relaxed); }
};

}  // namespace opcsim

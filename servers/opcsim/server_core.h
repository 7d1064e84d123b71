// What a server object and its groups share: the device, the lock that guards it and every
// group's items, and the shutdown sinks.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "servers/opcsim/device.h"
#include "servers/opcsim/shutdown_point.h"

namespace opcsim {

class OpcGroup;

struct ServerCore {
    ServerCore(SharedAddressSpace space, std::shared_ptr<const SimClock> clock)
        : device(std::move(space), std::move(clock)) {}

    // One lock per server object: the device, the groups' items and the server's own tables.
    // Never held while a client's sink runs or while a COM object is released.
    std::mutex mutex;
    Device device;
    // Groups alive (also removed ones a client still holds), for bringing caches up to date
    // before a write changes a register.
    std::vector<OpcGroup*> groups;
    Nanos lastUpdate{-1};  // the latest cache refresh; none yet while negative
    std::shared_ptr<ShutdownSinks> shutdown = std::make_shared<ShutdownSinks>();
};

}  // namespace opcsim

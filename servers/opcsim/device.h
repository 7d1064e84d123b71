// The simulated device behind one server object: the current values of its registers, its
// state, and the signals computed from the time since it started. Not thread-safe by itself: the
// server object's lock guards it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "servers/opcsim/address_space.h"
#include "servers/opcsim/clock.h"

namespace opcsim {

class Device {
  public:
    Device(SharedAddressSpace space, std::shared_ptr<const SimClock> clock);

    const AddressSpace& Space() const { return *space_; }
    Nanos Now() const { return clock_->Now(); }
    Nanos StartTime() const { return start_; }
    // The wall-clock time of a moment of the server's clock.
    FILETIME ToFileTime(Nanos t) const;

    // The item's value at time `t` (not before the start), in its canonical type, into `out`
    // (which is cleared first).
    void Sample(size_t item, Nanos t, VARIANT* out) const;

    // Writes a client's value: converts it to the item's type and stores it. Per-item answers:
    // OPC_E_BADRIGHTS (not writable), OPC_E_BADTYPE, OPC_E_RANGE. A write of the shutdown item
    // also answers its text in `shutdownReason` (the caller sends the notice once its lock is
    // released).
    HRESULT Write(size_t item, const VARIANT& value, std::u16string* shutdownReason);

    OPCSERVERSTATE State() const { return state_; }

  private:
    SharedAddressSpace space_;
    std::shared_ptr<const SimClock> clock_;
    Nanos start_;
    int64_t wallStart100ns_;        // FILETIME of start_
    std::vector<Value> registers_;  // per item; signals leave theirs empty
    OPCSERVERSTATE state_ = OPC_STATUS_RUNNING;
};

}  // namespace opcsim

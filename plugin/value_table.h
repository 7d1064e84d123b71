// The value table of a block: 50 slots of 80-bit values that the acquisition thread writes and
// the simulation step copies to the host, without a lock between the two threads.
//
// Each slot is a sequence lock: the writer makes the slot's counter odd, stores the value and
// makes it even again; a reader copies the value and keeps it only when the counter was even and
// unchanged around the copy. So the host never receives a value made of two readings, and a copy
// never waits for the thread's OPC calls (at most for the few instructions of one slot store).
// The value is kept in two atomic words (release stores, acquire loads), so the concurrent
// access is well defined and needs no fence.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "plugin/extended.h"

namespace virelon {

constexpr int kMaxItems = 50;

class ValueSlot {
  public:
    // One writer at a time (the acquisition thread, or the host's thread while no thread runs).
    void Store(long double value);
    void StoreBytes(const uint8_t* bytes);
    // Copies one whole value, as written by one Store, into 10 bytes at `out`.
    void CopyTo(uint8_t* out) const;
    long double Load() const;

  private:
    void Read(uint64_t& low, uint64_t& high) const;

    std::atomic<uint32_t> sequence_{0};
    std::atomic<uint64_t> low_{0};   // bytes 0..7: the significand
    std::atomic<uint64_t> high_{0};  // bytes 8..9: sign and exponent
};

// Slots numbered 1 to 50 as the block's items are; index 0 is slot 1.
class ValueTable {
  public:
    ValueSlot& operator[](size_t index) { return slots_[index]; }
    const ValueSlot& operator[](size_t index) const { return slots_[index]; }
    void Fill(long double value) {
        for (auto& slot : slots_)
            slot.Store(value);
    }
    static constexpr size_t size() { return kMaxItems; }

  private:
    ValueSlot slots_[kMaxItems];
};

}  // namespace virelon

// The value table of a block: 50 slots of 80-bit values that the acquisition thread writes and
// the simulation step copies to the host, without a lock between the two threads.
//
// Each slot keeps its value twice and a write counter. A store fills the copy that does not hold
// the latest value and then counts itself done; a copy takes the latest finished value and keeps
// it only when the writer has not begun to overwrite that copy meanwhile (which takes a whole
// further store). So the host never receives a value made of two readings, and a step never
// waits for the acquisition thread: not for its OPC calls, and not even for a store that the
// scheduler interrupted half-way, since that store goes to the other copy.
// The words are atomics (release stores, acquire loads), so the sharing is well defined.
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
    void Read(uint64_t& low, uint16_t& high) const;

    // 2k while k stores are done, 2k+1 while store k (into copy k mod 2) is under way.
    // Packed into 24 bytes: a step reads 50 slots, and every cache line it touches that the
    // thread has rewritten costs a transfer between the cores.
    std::atomic<uint32_t> sequence_{0};
    std::atomic<uint16_t> high_[2] = {0, 0};  // bytes 8..9: sign and exponent
    std::atomic<uint64_t> low_[2] = {0, 0};   // bytes 0..7: the significand
};

static_assert(sizeof(ValueSlot) == 24);

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

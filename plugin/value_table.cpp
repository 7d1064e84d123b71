#include "plugin/value_table.h"

#include <cstring>
#include <thread>

namespace virelon {

void ValueSlot::Store(long double value) {
    StoreBytes(ToExtended80(value).data());
}

void ValueSlot::StoreBytes(const uint8_t* bytes) {
    uint64_t low = 0, high = 0;
    std::memcpy(&low, bytes, 8);
    std::memcpy(&high, bytes + 8, 2);
    const uint32_t s = sequence_.load(std::memory_order_relaxed);
    sequence_.store(s + 1, std::memory_order_relaxed);
    // Release stores: whoever sees a part of the new value also sees the odd counter before it.
    low_.store(low, std::memory_order_release);
    high_.store(high, std::memory_order_release);
    sequence_.store(s + 2, std::memory_order_release);
}

void ValueSlot::Read(uint64_t& low, uint64_t& high) const {
    for (unsigned attempt = 0;; ++attempt) {
        const uint32_t before = sequence_.load(std::memory_order_acquire);
        if ((before & 1u) == 0) {
            // Acquire loads: a part of a newer value brings its odd counter along, so the second
            // reading of the counter differs and the copy is made again.
            low = low_.load(std::memory_order_acquire);
            high = high_.load(std::memory_order_acquire);
            if (sequence_.load(std::memory_order_relaxed) == before)
                return;
        }
        // A store takes a few instructions; only a writer preempted inside one keeps us here.
        if (attempt >= 64)
            std::this_thread::yield();
    }
}

void ValueSlot::CopyTo(uint8_t* out) const {
    uint64_t low, high;
    Read(low, high);
    std::memcpy(out, &low, 8);
    std::memcpy(out + 8, &high, 2);
}

long double ValueSlot::Load() const {
    uint8_t bytes[korva::abi::kOutputSlotSize];
    CopyTo(bytes);
    return FromExtended80(bytes);
}

}  // namespace virelon

#include "plugin/value_table.h"

#include <cstring>

namespace virelon {

void ValueSlot::Store(long double value) {
    StoreBytes(ToExtended80(value).data());
}

void ValueSlot::StoreBytes(const uint8_t* bytes) {
    uint64_t low = 0;
    uint16_t high = 0;
    std::memcpy(&low, bytes, 8);
    std::memcpy(&high, bytes + 8, 2);
    const uint32_t s = sequence_.load(std::memory_order_relaxed);  // 2k: store k comes now
    const unsigned copy = (s >> 1) & 1u;
    // Release throughout: whoever sees the odd counter also sees the previous store complete,
    // and whoever sees a part of this value also sees the odd counter.
    sequence_.store(s + 1, std::memory_order_release);
    low_[copy].store(low, std::memory_order_release);
    high_[copy].store(high, std::memory_order_release);
    sequence_.store(s + 2, std::memory_order_release);
}

void ValueSlot::Read(uint64_t& low, uint16_t& high) const {
    for (;;) {
        // With s = 2k or 2k+1 the latest finished value is store k-1's, in copy (k+1) mod 2; the
        // next store into that copy is store k+1, which makes the counter 2k+3.
        const uint32_t s = sequence_.load(std::memory_order_acquire);
        const unsigned copy = ((s >> 1) + 1) & 1u;
        low = low_[copy].load(std::memory_order_acquire);
        high = high_[copy].load(std::memory_order_acquire);
        if (sequence_.load(std::memory_order_relaxed) - (s & ~1u) < 3)
            return;
        // The writer finished a whole store and began the next meanwhile: take the newer value.
    }
}

void ValueSlot::CopyTo(uint8_t* out) const {
    uint64_t low;
    uint16_t high;
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

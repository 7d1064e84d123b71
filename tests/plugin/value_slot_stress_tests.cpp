// The host must never receive a value made of two readings: a writer stores values into the 50
// slots as fast as it can while the host's side copies them as a step does, and every copied
// value must be one that was written. Run under ThreadSanitizer, this also shows that the slots
// are shared without a data race.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "plugin/simulation.h"
#include "plugin/virelon_data.h"

namespace virelon {
namespace {

using Pattern = std::pair<uint64_t, uint16_t>;

Pattern PatternOf(const uint8_t* bytes) {
    Pattern pattern{};
    std::memcpy(&pattern.first, bytes, 8);
    std::memcpy(&pattern.second, bytes + 8, 2);
    return pattern;
}

// Values whose significand and sign/exponent both differ from one to the next, so a copy that
// mixed two of them would be found in neither half.
std::vector<long double> WrittenValues() {
    std::vector<long double> values;
    for (int i = 0; i < 257; ++i)
        values.push_back(std::ldexp((i % 2 ? -1.0L : 1.0L) * (1.0L + i / 1024.0L + i * 1e-15L),
                                    (i * 37) % 2000 - 1000));
    values.push_back(ReadFailedValue);
    return values;
}

// Slots in use: one slot hammered by the writer and copied at every step (where a copy meets a
// store most often), and all 50 as a full block has them.
class ValueSlotStress : public ::testing::TestWithParam<int> {};

TEST_P(ValueSlotStress, HostNeverSeesAMixOfTwoValues) {
    const int slots = GetParam();
    const std::vector<long double> values = WrittenValues();
    std::set<Pattern> written;
    for (long double value : values)
        written.insert(PatternOf(ToExtended80(value).data()));
    ASSERT_EQ(written.size(), values.size());

    TVirelonData data;
    data.Count = slots;
    data.Values.Fill(ReadFailedValue);
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> stores{0};
    std::thread writer([&] {
        size_t next = 0;
        while (!stop.load(std::memory_order_relaxed)) {
            for (int k = 0; k < slots; ++k) {
                data.Values[k].Store(values[next]);
                next = (next + 1) % values.size();
            }
            stores.fetch_add(slots, std::memory_order_relaxed);
        }
    });

    // Steps until the writer has rewritten every slot many times over.
    uint8_t outputs[10 * kMaxItems];
    uint64_t steps = 0, mixed = 0;
    while (stores.load(std::memory_order_relaxed) < 2'000'000 || steps * slots < 1'000'000) {
        Simulate(data, 0.1L, 0.2L, outputs);
        for (int k = 0; k < slots; ++k)
            if (!written.count(PatternOf(outputs + 10 * k)))
                ++mixed;
        ++steps;
    }
    stop = true;
    writer.join();
    EXPECT_EQ(mixed, 0u) << "of " << steps * slots << " copied values";
}

INSTANTIATE_TEST_SUITE_P(Slots, ValueSlotStress, ::testing::Values(1, kMaxItems));

}  // namespace
}  // namespace virelon

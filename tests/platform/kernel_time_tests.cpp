#include <time.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/kernel/kernel.h"

namespace {

struct TickCase {
    DWORD start;
    DWORD now;
    DWORD elapsed;
};
void PrintTo(const TickCase& c, std::ostream* out) {
    *out << c.start << " -> " << c.now;
}

class TickWrap : public ::testing::TestWithParam<TickCase> {
  protected:
    void TearDown() override { SetTickCountSource({}); }
};

// The counter runs through 2^32 about every 49.7 days; a pause measured across the wrap must
// still come out right.
TEST_P(TickWrap, ElapsedTimeAcrossTheWrap) {
    const TickCase c = GetParam();
    DWORD fake = c.start;
    SetTickCountSource([&fake] { return fake; });
    const DWORD start = GetTickCount();
    fake = c.now;
    EXPECT_EQ(TickElapsed(start, GetTickCount()), c.elapsed);
}

INSTANTIATE_TEST_SUITE_P(Kernel, TickWrap,
                         ::testing::Values(TickCase{1000, 1500, 500},
                                           TickCase{0xFFFFFFF0u, 0x10u, 0x20u},
                                           TickCase{0xFFFFFFFFu, 0u, 1u},
                                           TickCase{0x80000000u, 0x7FFFFFFFu, 0xFFFFFFFFu},
                                           TickCase{42, 42, 0}));

uint64_t MonotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

TEST(KernelTick, FollowsTheMonotonicClockModulo2To32AndComesBackAfterAFakeSource) {
    SetTickCountSource([] { return DWORD{7}; });
    EXPECT_EQ(GetTickCount(), 7u);
    SetTickCountSource({});

    const uint64_t before = MonotonicMilliseconds();
    const DWORD tick = GetTickCount();
    const uint64_t after = MonotonicMilliseconds();
    EXPECT_LE(TickElapsed(static_cast<DWORD>(before), tick), static_cast<DWORD>(after - before));
}

// The acquisition thread reads the counter while a test on another thread swaps the source.
TEST(KernelTick, SourceCanBeSwappedWhileAnotherThreadReads) {
    std::atomic<bool> stop{false};
    std::atomic<bool> sawFake{false};
    std::thread reader([&] {
        while (!stop.load()) {
            if (GetTickCount() == 0xC0FFEEu)
                sawFake = true;
        }
    });
    for (int i = 0; i < 200; ++i) {
        SetTickCountSource([] { return DWORD{0xC0FFEEu}; });
        SetTickCountSource({});
    }
    SetTickCountSource([] { return DWORD{0xC0FFEEu}; });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!sawFake.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    stop = true;
    reader.join();
    SetTickCountSource({});
    EXPECT_TRUE(sawFake.load());
}

TEST(KernelSleep, PausesAtLeastTheAskedTime) {
    const auto start = std::chrono::steady_clock::now();
    Sleep(30);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    Sleep(0);  // only yields; must return
}

}  // namespace

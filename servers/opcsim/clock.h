// The server's time source. The simulated signals are a function of the time since the server
// object started and group caches refresh on multiples of their rate, so a test that owns the
// clock sees exact values.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace opcsim {

using Nanos = std::chrono::nanoseconds;

class SimClock {
  public:
    virtual ~SimClock() = default;
    // Monotonic time; only differences matter. Any thread may call it.
    virtual Nanos Now() const = 0;
};

class SteadyClock final : public SimClock {
  public:
    Nanos Now() const override {
        return std::chrono::duration_cast<Nanos>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
};

// A clock that moves only when told (tests, benchmarks).
class ManualClock final : public SimClock {
  public:
    explicit ManualClock(Nanos start = Nanos{0}) : now_(start.count()) {}
    Nanos Now() const override { return Nanos{now_.load(std::memory_order_acquire)}; }
    void Set(Nanos t) { now_.store(t.count(), std::memory_order_release); }
    void Advance(Nanos d) { now_.fetch_add(d.count(), std::memory_order_acq_rel); }

  private:
    std::atomic<int64_t> now_;
};

}  // namespace opcsim

#include <time.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>

#include "platform/kernel/kernel.h"

namespace {

// A replaced clock is rare (tests only) while GetTickCount runs in every acquisition cycle, so
// the flag keeps the lock off the common path.
std::atomic<bool> g_sourceReplaced{false};
std::mutex g_sourceMutex;
std::function<DWORD()> g_source;

DWORD MonotonicTicks() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);  // modulo 2^32: the counter wraps after about 49.7 days
}

}  // namespace

DWORD GetTickCount() {
    if (g_sourceReplaced.load(std::memory_order_acquire)) {
        std::function<DWORD()> source;
        {
            std::lock_guard lock(g_sourceMutex);
            source = g_source;
        }
        if (source)
            return source();
    }
    return MonotonicTicks();
}

void SetTickCountSource(std::function<DWORD()> source) {
    std::lock_guard lock(g_sourceMutex);
    const bool replaced = static_cast<bool>(source);
    g_source = std::move(source);
    g_sourceReplaced.store(replaced, std::memory_order_release);
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        // Gives up the rest of the time slice, as the platform's Sleep(0) does.
        std::this_thread::yield();
        return;
    }
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
    // A signal handler interrupting the pause must not shorten it.
    while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
    }
}

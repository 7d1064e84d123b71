#include "platform/kernel/thread.h"

#include <chrono>

TThread::TThread() = default;

TThread::~TThread() {
    Terminate();
    WaitFor();
}

void TThread::Start() {
    if (thread_.joinable())
        return;
    thread_ = std::thread([this] {
        Execute();
        finished_.store(true, std::memory_order_release);
    });
}

void TThread::Terminate() {
    {
        // Taken so that a pause that has just tested the flag cannot miss the wake-up.
        std::lock_guard<std::mutex> lock(pauseMutex_);
        terminated_.store(true, std::memory_order_release);
    }
    pauseWake_.notify_all();
}

DWORD TThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
    return 0;
}

bool TThread::PauseUnlessTerminated(DWORD milliseconds) {
    std::unique_lock<std::mutex> lock(pauseMutex_);
    return pauseWake_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                               [this] { return Terminated(); });
}

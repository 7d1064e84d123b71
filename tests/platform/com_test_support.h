// Helpers of the COM runtime tests.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/com/com.h"
#include "platform/text/text.h"

namespace korva::test {

// Every test of the fixture must leave the task memory as it found it: each text and array the
// runtime handed out has been freed.
class TaskMemoryCheck : public ::testing::Test {
  protected:
    void SetUp() override { baseline_ = CoTaskMemLiveBlocks(); }
    void TearDown() override {
        EXPECT_EQ(CoTaskMemLiveBlocks(), baseline_) << "task memory blocks left behind";
    }

  private:
    size_t baseline_ = 0;
};

// Runs `body` on a thread of its own and waits for it: a thread starts without COM.
inline void RunOnThread(const std::function<void()>& body) {
    std::thread thread(body);
    thread.join();
}

// Dispatches the calling thread's apartment calls until `done` holds; false after the deadline.
inline bool DispatchUntil(const std::function<bool()>& done,
                          std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        CoDispatchApartmentCalls();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::yield();
    }
}

// Waits (without dispatching) until `done` holds; false after the deadline.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::yield();
    }
    return true;
}

inline std::string Narrow(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

}  // namespace korva::test

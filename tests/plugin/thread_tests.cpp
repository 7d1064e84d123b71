// The platform's thread class as the acquisition thread uses it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "platform/kernel/thread.h"
#include "plugin_test_support.h"

namespace {

using namespace std::chrono_literals;

class PausingThread final : public TThread {
  public:
    explicit PausingThread(DWORD pause) : pause_(pause) {}
    ~PausingThread() override {
        Terminate();
        WaitFor();
    }
    std::atomic<bool> pausing{false};
    std::atomic<bool> endedByTermination{false};

  protected:
    void Execute() override {
        pausing = true;
        endedByTermination = PauseUnlessTerminated(pause_);
    }

  private:
    DWORD pause_;
};

TEST(TThread, TerminateEndsAPauseAtOnce) {
    PausingThread thread(3600 * 1000);  // an hour
    thread.Start();
    ASSERT_TRUE(virelon::test::WaitUntil([&] { return thread.pausing.load(); }));
    EXPECT_FALSE(thread.Terminated());
    thread.Terminate();
    thread.WaitFor();
    EXPECT_TRUE(thread.Finished());
    EXPECT_TRUE(thread.endedByTermination);
}

TEST(TThread, ShortPauseRunsOut) {
    PausingThread thread(1);
    thread.Start();
    thread.WaitFor();
    EXPECT_TRUE(thread.Finished());
    EXPECT_FALSE(thread.endedByTermination);
}

TEST(TThread, TerminateBeforeThePauseIsNotMissed) {
    PausingThread thread(3600 * 1000);
    thread.Terminate();
    thread.Start();  // the body pauses only after the request: it must not wait the hour
    thread.WaitFor();
    EXPECT_TRUE(thread.endedByTermination);
}

TEST(TThread, NeverStartedWaitsForNothing) {
    PausingThread thread(10);
    EXPECT_EQ(thread.WaitFor(), 0u);
    EXPECT_FALSE(thread.Finished());
}

}  // namespace

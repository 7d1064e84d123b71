// The platform's thread class: an object that runs one overridable body on a thread of its own,
// carries a termination request, and can be waited for.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/kernel/wintypes.h"

class TThread {
  public:
    TThread();
    // The thread must have ended before a derived class's members go away, so a derived class
    // whose Execute uses its own members calls Terminate() and WaitFor() in its destructor.
    // This destructor does the same for whatever is left, so no thread outlives its object.
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts Execute on a new thread. Called once, after the object is fully constructed (a
    // constructor cannot start it: the body would run before the derived part exists).
    void Start();
    // Asks the body to end; wakes a PauseUnlessTerminated in progress. Any thread may call it.
    void Terminate();
    bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
    // Waits until the body has returned (at once when it never started). Answers 0. Called by
    // the owner, never by the thread itself.
    DWORD WaitFor();
    // The body has returned.
    bool Finished() const { return finished_.load(std::memory_order_acquire); }

  protected:
    virtual void Execute() = 0;
    // Sleeps for `milliseconds` or until Terminate is called, whichever comes first. Answers
    // true when the pause ended because of the termination request.
    bool PauseUnlessTerminated(DWORD milliseconds);

  private:
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::mutex pauseMutex_;
    std::condition_variable pauseWake_;
};

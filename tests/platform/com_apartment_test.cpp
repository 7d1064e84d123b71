#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/platform/com_test_support.h"

namespace korva::test {
namespace {

// ---- Initialisation ------------------------------------------------------------------------

struct InitCase {
    const char* name;
    std::vector<DWORD> models;     // CoInitializeEx calls in order
    std::vector<HRESULT> answers;  // expected answer of each
};

class ApartmentInit : public ::testing::TestWithParam<InitCase> {};

TEST_P(ApartmentInit, CountsPerThreadAndRefusesAnotherModel) {
    const InitCase& c = GetParam();
    RunOnThread([&] {
        EXPECT_FALSE(CoIsInitialized());
        EXPECT_EQ(CoCurrentApartment(), 0u);
        unsigned successes = 0;
        ApartmentId apartment = 0;
        for (size_t i = 0; i < c.models.size(); ++i) {
            const HRESULT hr = CoInitializeEx(nullptr, c.models[i]);
            EXPECT_EQ(hr, c.answers[i]) << "call " << i << ": " << DescribeHResult(hr);
            if (SUCCEEDED(hr))
                ++successes;
            if (successes > 0) {
                // The apartment stays the same however often the thread initialises.
                if (apartment == 0)
                    apartment = CoCurrentApartment();
                EXPECT_EQ(CoCurrentApartment(), apartment);
                EXPECT_NE(apartment, 0u);
            }
        }
        for (unsigned i = 0; i < successes; ++i) {
            EXPECT_TRUE(CoIsInitialized()) << "ended after " << i << " of " << successes;
            CoUninitialize();
        }
        EXPECT_FALSE(CoIsInitialized());
        EXPECT_EQ(CoCurrentApartment(), 0u);
        CoUninitialize();  // one too many is harmless
        EXPECT_FALSE(CoIsInitialized());
    });
}

constexpr DWORD STA = COINIT_APARTMENTTHREADED;
constexpr DWORD MTA = COINIT_MULTITHREADED;

INSTANTIATE_TEST_SUITE_P(
    Sequences, ApartmentInit,
    ::testing::Values(
        InitCase{"ApartmentTwice", {STA, STA}, {S_OK, S_FALSE}},
        InitCase{"MultithreadedTwice", {MTA, MTA, MTA}, {S_OK, S_FALSE, S_FALSE}},
        InitCase{
            "ApartmentThenMultithreaded", {STA, MTA, STA}, {S_OK, RPC_E_CHANGED_MODE, S_FALSE}},
        InitCase{"MultithreadedThenApartment", {MTA, STA}, {S_OK, RPC_E_CHANGED_MODE}},
        InitCase{"ExtraFlagsAccepted", {STA | 0x4 | 0x8}, {S_OK}},
        InitCase{"UnknownFlag", {0x100, STA}, {E_INVALIDARG, S_OK}}),
    [](const auto& info) { return info.param.name; });

TEST(ApartmentInitArguments, ReservedMustBeNull) {
    RunOnThread([] {
        int reserved = 0;
        EXPECT_EQ(CoInitializeEx(&reserved, STA), E_INVALIDARG);
        EXPECT_FALSE(CoIsInitialized());
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, MTA), RPC_E_CHANGED_MODE);  // CoInitialize is STA
        CoUninitialize();
    });
}

TEST(ApartmentIdentity, ApartmentThreadsAreApartMultithreadedThreadsShareOne) {
    auto apartmentOf = [](DWORD model, std::atomic<int>* arrived, int expected) {
        ApartmentId id = 0;
        std::thread([&] {
            ComInit com(model);
            id = CoCurrentApartment();
            // Hold the apartment until every thread of this round has joined it.
            arrived->fetch_add(1);
            WaitUntil([&] { return arrived->load() >= expected; });
        }).join();
        return id;
    };
    // The threads must overlap for the multithreaded apartment to be one and the same.
    std::atomic<int> arrived{0};
    ApartmentId mta1 = 0, mta2 = 0;
    std::thread a([&] { mta1 = apartmentOf(MTA, &arrived, 2); });
    std::thread b([&] { mta2 = apartmentOf(MTA, &arrived, 2); });
    a.join();
    b.join();
    EXPECT_NE(mta1, 0u);
    EXPECT_EQ(mta1, mta2);

    std::atomic<int> arrivedSta{0};
    ApartmentId sta1 = 0, sta2 = 0;
    std::thread c([&] { sta1 = apartmentOf(STA, &arrivedSta, 2); });
    std::thread d([&] { sta2 = apartmentOf(STA, &arrivedSta, 2); });
    c.join();
    d.join();
    EXPECT_NE(sta1, sta2);
    EXPECT_NE(sta1, mta1);

    // A new apartment never takes an old identifier.
    ApartmentId later = 0;
    RunOnThread([&] {
        ComInit com;
        later = CoCurrentApartment();
    });
    EXPECT_NE(later, sta1);
    EXPECT_NE(later, sta2);
}

// ---- The call queue ------------------------------------------------------------------------

// A thread in an apartment of its own that runs what the test hands it, and dispatches its
// apartment's calls while it waits.
class ApartmentThread {
  public:
    ApartmentThread() : thread_([this] { Run(); }) {
        WaitUntil([this] { return apartment_.load() != 0; });
    }
    ~ApartmentThread() {
        stop_ = true;
        thread_.join();
    }
    ApartmentId apartment() const { return apartment_; }
    std::thread::id id() const { return thread_.get_id(); }
    // Dispatching is switched on by the test, so that calls can pile up first.
    void SetDispatching(bool on) { dispatching_ = on; }
    size_t dispatched() const { return dispatched_; }

  private:
    void Run() {
        ComInit com;
        apartment_ = CoCurrentApartment();
        while (!stop_) {
            if (dispatching_)
                dispatched_ += CoDispatchApartmentCalls();
            std::this_thread::yield();
        }
    }
    std::atomic<ApartmentId> apartment_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> dispatching_{true};
    std::atomic<size_t> dispatched_{0};
    std::thread thread_;
};

TEST(ApartmentCalls, PostedCallsRunOnTheApartmentsThreadInOrder) {
    ApartmentThread target;
    target.SetDispatching(false);
    std::mutex mutex;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(CoPostToApartment(target.apartment(),
                                    [&, i] {
                                        std::lock_guard lock(mutex);
                                        order.push_back(i);
                                        threads.push_back(std::this_thread::get_id());
                                    }),
                  S_OK);
    }
    {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(order.empty()) << "ran before the apartment dispatched";
    }
    target.SetDispatching(true);
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard lock(mutex);
        return order.size() == 5;
    }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    for (std::thread::id id : threads)
        EXPECT_EQ(id, target.id());
}

TEST(ApartmentCalls, CallsForTheOwnApartmentRunAtOnce) {
    RunOnThread([] {
        ComInit com;
        bool ran = false;
        EXPECT_EQ(CoPostToApartment(CoCurrentApartment(), [&] { ran = true; }), S_OK);
        EXPECT_TRUE(ran);
        EXPECT_EQ(CoDispatchApartmentCalls(), 0u);
    });
}

TEST(ApartmentCalls, CallsForTheMultithreadedApartmentRunOnThePostingThread) {
    std::atomic<ApartmentId> mta{0};
    std::atomic<bool> release{false};
    std::thread member([&] {
        ComInit com(MTA);
        mta = CoCurrentApartment();
        WaitUntil([&] { return release.load(); });
    });
    ASSERT_TRUE(WaitUntil([&] { return mta.load() != 0; }));
    std::thread::id ranOn;
    EXPECT_EQ(CoPostToApartment(mta, [&] { ranOn = std::this_thread::get_id(); }), S_OK);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    release = true;
    member.join();
    EXPECT_EQ(CoPostToApartment(mta, [] {}), CO_E_NOTINITIALIZED);  // ended with its last thread
}

TEST(ApartmentCalls, RefusedCalls) {
    EXPECT_EQ(CoPostToApartment(0, [] {}), CO_E_NOTINITIALIZED);
    ApartmentThread target;
    EXPECT_EQ(CoPostToApartment(target.apartment(), {}), E_INVALIDARG);
    EXPECT_EQ(CoDispatchApartmentCalls(), 0u);  // this thread has no COM
}

// Records where and whether it ran, and on which thread it was destroyed.
struct Tracer {
    std::atomic<int>* runs;
    std::atomic<int>* destroyedOnOwner;
    std::thread::id owner;
    bool armed = true;
    Tracer(std::atomic<int>* r, std::atomic<int>* d, std::thread::id o)
        : runs(r), destroyedOnOwner(d), owner(o) {}
    Tracer(Tracer&& other) noexcept
        : runs(other.runs), destroyedOnOwner(other.destroyedOnOwner), owner(other.owner) {
        other.armed = false;
    }
    Tracer(const Tracer& other) = default;
    ~Tracer() {
        if (armed && std::this_thread::get_id() == owner)
            ++*destroyedOnOwner;
    }
    void operator()() const { ++*runs; }
};

TEST(ApartmentCalls, AnEndingApartmentDropsItsQueuedCallsOnItsOwnThread) {
    std::atomic<ApartmentId> apartment{0};
    std::atomic<bool> posted{false};
    std::atomic<int> runs{0};
    std::atomic<int> destroyedOnOwner{0};
    std::thread owner([&] {
        CoInitializeEx(nullptr, STA);
        apartment = CoCurrentApartment();
        WaitUntil([&] { return posted.load(); });
        CoUninitialize();  // ends the apartment with three calls queued
    });
    ASSERT_TRUE(WaitUntil([&] { return apartment.load() != 0; }));
    const std::thread::id ownerId = owner.get_id();
    // A std::function holds a copy; count only the destruction of those copies on the owner.
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(CoPostToApartment(apartment, Tracer(&runs, &destroyedOnOwner, ownerId)), S_OK);
    posted = true;
    owner.join();
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(destroyedOnOwner, 3);
    EXPECT_EQ(CoPostToApartment(apartment, [] {}), CO_E_NOTINITIALIZED);
}

TEST(ApartmentCalls, AThreadThatEndsWithoutUninitialisingLeavesItsApartment) {
    ApartmentId apartment = 0;
    RunOnThread([&] {
        CoInitializeEx(nullptr, STA);
        CoInitializeEx(nullptr, STA);
        apartment = CoCurrentApartment();
    });
    EXPECT_EQ(CoPostToApartment(apartment, [] {}), CO_E_NOTINITIALIZED);
}

TEST(ApartmentCalls, ADispatchRunsOnlyWhatWasQueuedBeforeIt) {
    RunOnThread([] {
        ComInit com;
        const ApartmentId self = CoCurrentApartment();
        int runs = 0;
        std::function<void()> again;
        // Each run posts itself again from another thread, as a notifier repeating a call would.
        again = [&] {
            ++runs;
            std::thread([&, self] { CoPostToApartment(self, again); }).join();
        };
        std::thread([&] { CoPostToApartment(self, again); }).join();
        EXPECT_EQ(CoDispatchApartmentCalls(), 1u);
        EXPECT_EQ(runs, 1);
        EXPECT_EQ(CoDispatchApartmentCalls(), 1u);
        EXPECT_EQ(runs, 2);
    });  // the last repost is dropped when the apartment ends
}

TEST(ApartmentCalls, ACallMayEndItsOwnApartment) {
    RunOnThread([] {
        CoInitializeEx(nullptr, STA);
        const ApartmentId self = CoCurrentApartment();
        int later = 0;
        std::thread([&] {
            CoPostToApartment(self, [] { CoUninitialize(); });
            CoPostToApartment(self, [&] { ++later; });
        }).join();
        EXPECT_EQ(CoDispatchApartmentCalls(), 1u);
        EXPECT_FALSE(CoIsInitialized());
        EXPECT_EQ(later, 0);
    });
}

TEST(ApartmentCalls, TheWakeupHookHearsOfEveryQueuedCall) {
    std::mutex mutex;
    std::condition_variable woken;
    int wakeups = 0;
    std::atomic<ApartmentId> apartment{0};
    std::atomic<bool> done{false};
    std::atomic<int> ran{0};
    std::thread owner([&] {
        ComInit com;
        CoSetApartmentWakeup([&] {
            std::lock_guard lock(mutex);
            ++wakeups;
            woken.notify_all();
        });
        apartment = CoCurrentApartment();
        // An event loop: sleep until woken, then dispatch.
        std::unique_lock lock(mutex);
        while (ran < 3) {
            woken.wait_for(lock, std::chrono::milliseconds(100), [&] { return wakeups > 0; });
            lock.unlock();
            CoDispatchApartmentCalls();
            lock.lock();
        }
        lock.unlock();
        CoSetApartmentWakeup({});
        done = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return apartment.load() != 0; }));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(CoPostToApartment(apartment, [&] { ++ran; }), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    owner.join();
    EXPECT_EQ(ran, 3);
    std::lock_guard lock(mutex);
    EXPECT_EQ(wakeups, 3);
}

TEST(ApartmentCalls, ManyThreadsPostingToOneApartment) {
    ApartmentThread target;
    constexpr int kThreads = 4;
    constexpr int kCalls = 500;
    std::atomic<int> ran{0};
    std::atomic<int> wrongThread{0};
    const std::thread::id targetId = target.id();
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&] {
            for (int i = 0; i < kCalls; ++i) {
                CoPostToApartment(target.apartment(), [&] {
                    if (std::this_thread::get_id() != targetId)
                        ++wrongThread;
                    ++ran;
                });
            }
        });
    }
    for (std::thread& p : posters)
        p.join();
    ASSERT_TRUE(WaitUntil([&] { return ran.load() == kThreads * kCalls; }));
    EXPECT_EQ(wrongThread, 0);
    EXPECT_EQ(target.dispatched(), size_t(kThreads * kCalls));
}

// ---- Security ------------------------------------------------------------------------------

// Process-wide and once only, so it runs in a child process of its own.
int SecurityOnceThenTooLate() {
    auto init = [] {
        return CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    };
    int failures = 0;
    auto expect = [&](HRESULT got, HRESULT want, const char* what) {
        if (got != want) {
            fprintf(stderr, "%s: %s, expected %s\n", what, DescribeHResult(got).c_str(),
                    DescribeHResult(want).c_str());
            ++failures;
        }
    };
    expect(init(), CO_E_NOTINITIALIZED, "without COM");
    ComInit com;
    expect(CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 99, 3, nullptr, 0, nullptr),
           E_INVALIDARG, "authentication level out of range");
    expect(init(), S_OK, "first call");
    expect(init(), RPC_E_TOO_LATE, "second call");
    HRESULT other = S_OK;
    std::thread([&] {
        ComInit threadCom;
        other = init();
    }).join();
    expect(other, RPC_E_TOO_LATE, "another thread");
    return failures == 0 ? 0 : 1;
}

TEST(ApartmentSecurity, OncePerProcessThenTooLate) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(SecurityOnceThenTooLate()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace korva::test

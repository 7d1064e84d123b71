// The shutdown connection point: subscribing sinks, and the notice a write of Server.Shutdown
// sends to each sink in its own apartment.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "tests/servers/opcsim_test_support.h"

namespace opcsim::test {
namespace {

constexpr auto kDeadline = 10s;

class RecordingSink final : public ComObject<IOPCShutdown> {
  public:
    HRESULT ShutdownRequest(LPCWSTR reason) override {
        {
            std::lock_guard lock(mutex_);
            reasons_.emplace_back(reason ? reason : u"");
            threads_.push_back(std::this_thread::get_id());
        }
        changed_.notify_all();
        if (onShutdown)
            onShutdown();
        return S_OK;
    }

    std::vector<std::u16string> Reasons() const {
        std::lock_guard lock(mutex_);
        return reasons_;
    }
    std::vector<std::thread::id> Threads() const {
        std::lock_guard lock(mutex_);
        return threads_;
    }
    bool WaitForCalls(size_t count, std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        return changed_.wait_until(lock, deadline, [&] { return reasons_.size() >= count; });
    }

    std::function<void()> onShutdown;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::u16string> reasons_;
    std::vector<std::thread::id> threads_;
};

class ShutdownTest : public SimServerTest {
  protected:
    ComPtr<IConnectionPoint> Point() {
        ComPtr<IConnectionPointContainer> container;
        EXPECT_HR(S_OK, server_.As(&container));
        ComPtr<IConnectionPoint> point;
        EXPECT_HR(S_OK,
                  container->FindConnectionPoint(IID_IOPCShutdown, point.ReleaseAndGetAddressOf()));
        return point;
    }
    // Writes the shutdown item through a group of its own.
    HRESULT SendShutdown(std::u16string_view reason) {
        auto group = AddGroup(u"Trigger" + std::u16string(1, char16_t(u'A' + triggers_++)), 0);
        OPCHANDLE item = AddItem(group.Get(), u"Server.Shutdown").handle;
        return WriteItem(group.Get(), item, Text(reason).get());
    }

    int triggers_ = 0;
};

TEST_F(ShutdownTest, ASinkOfTheWritersApartmentIsCalledDuringTheWrite) {
    auto sink = MakeComObject<RecordingSink>();
    auto second = MakeComObject<RecordingSink>();
    DWORD cookie = 0, secondCookie = 0;
    ASSERT_HR(S_OK, Point()->Advise(sink.Get(), &cookie));
    ASSERT_HR(S_OK, Point()->Advise(second.Get(), &secondCookie));
    EXPECT_NE(cookie, 0u);
    EXPECT_NE(cookie, secondCookie);

    ASSERT_HR(S_OK, SendShutdown(u"maintenance at noon"));
    EXPECT_EQ(sink->Reasons(), std::vector<std::u16string>{u"maintenance at noon"});
    EXPECT_EQ(sink->Threads(), std::vector<std::thread::id>{std::this_thread::get_id()});
    EXPECT_EQ(second->Reasons().size(), 1u);

    // The item keeps the text last written.
    auto group = AddGroup(u"Reader", 0);
    OPCHANDLE item = AddItem(group.Get(), u"Server.Shutdown").handle;
    EXPECT_EQ(AsText(ReadItem(group.Get(), item).value.get()), u"maintenance at noon");

    // An unsubscribed sink hears no more.
    ASSERT_HR(S_OK, Point()->Unadvise(cookie));
    EXPECT_HR(CONNECT_E_NOCONNECTION, Point()->Unadvise(cookie));
    ASSERT_HR(S_OK, SendShutdown(u"again"));
    EXPECT_EQ(sink->Reasons().size(), 1u);
    EXPECT_EQ(second->Reasons().size(), 2u);
    // Numbers become the reason's text.
    auto numeric = AddGroup(u"Numeric", 0);
    ASSERT_HR(S_OK, WriteItem(numeric.Get(), AddItem(numeric.Get(), u"Server.Shutdown").handle,
                              I4(3).get()));
    EXPECT_EQ(second->Reasons().back(), u"3");
}

TEST_F(ShutdownTest, ASinkOfAnotherApartmentIsCalledOnItsThread) {
    auto local = MakeComObject<RecordingSink>();
    DWORD localCookie = 0;
    ASSERT_HR(S_OK, Point()->Advise(local.Get(), &localCookie));

    ComPtr<IConnectionPoint> point = Point();
    std::mutex mutex;
    std::condition_variable changed;
    bool advised = false, wake = false;
    std::thread::id remoteThread;
    ComPtr<RecordingSink> remote = MakeComObject<RecordingSink>();
    bool delivered = false;

    HRESULT advise = E_FAIL;
    std::thread client([&] {
        ComInit com(COINIT_APARTMENTTHREADED);
        CoSetApartmentWakeup([&] {
            std::lock_guard lock(mutex);
            wake = true;
            changed.notify_all();
        });
        DWORD cookie = 0;
        const HRESULT hr = com.Succeeded() ? point->Advise(remote.Get(), &cookie) : com.Result();
        {
            std::lock_guard lock(mutex);
            advise = hr;
            advised = true;
            remoteThread = std::this_thread::get_id();
        }
        changed.notify_all();
        // The thread's message loop: dispatch whenever a call is queued for this apartment.
        const auto deadline = std::chrono::steady_clock::now() + kDeadline;
        while (SUCCEEDED(hr) && remote->Reasons().empty()) {
            std::unique_lock lock(mutex);
            if (!changed.wait_until(lock, deadline, [&] { return wake; }))
                break;
            wake = false;
            lock.unlock();
            CoDispatchApartmentCalls();
        }
        delivered = !remote->Reasons().empty();
        CoSetApartmentWakeup({});
    });
    bool ready;
    {
        std::unique_lock lock(mutex);
        ready = changed.wait_until(lock, std::chrono::steady_clock::now() + kDeadline,
                                   [&] { return advised; });
    }
    if (!ready || FAILED(advise)) {
        client.join();
        FAIL() << "the client thread could not subscribe: " << DescribeHResult(advise);
    }
    ASSERT_HR(S_OK, SendShutdown(u"going down"));
    // The writer's own sink ran inside the write; the other waits for its thread.
    EXPECT_EQ(local->Reasons().size(), 1u);
    client.join();
    EXPECT_TRUE(delivered);
    EXPECT_EQ(remote->Reasons(), std::vector<std::u16string>{u"going down"});
    EXPECT_EQ(remote->Threads(), std::vector<std::thread::id>{remoteThread});
}

TEST_F(ShutdownTest, ASinkWhoseApartmentEndedIsSkipped) {
    auto sink = MakeComObject<RecordingSink>();
    ComPtr<IConnectionPoint> point = Point();
    HRESULT advised = E_FAIL;
    std::thread([&] {
        ComInit com(COINIT_APARTMENTTHREADED);
        DWORD cookie = 0;
        advised = point->Advise(sink.Get(), &cookie);
    }).join();
    ASSERT_HR(S_OK, advised);
    EXPECT_HR(S_OK, SendShutdown(u"nobody listens"));
    EXPECT_TRUE(sink->Reasons().empty());
}

TEST_F(ShutdownTest, ASinkMayReleaseTheServerWhileItIsCalled) {
    auto sink = MakeComObject<RecordingSink>();
    DWORD cookie = 0;
    ASSERT_HR(S_OK, Point()->Advise(sink.Get(), &cookie));
    auto group = AddGroup(u"Main", 0);
    OPCHANDLE item = AddItem(group.Get(), u"Server.Shutdown").handle;
    OPCHANDLE reg = AddItem(group.Get(), u"Registers.I4").handle;
    // As a client ends its connection when told to shut down.
    sink->onShutdown = [this] { server_.Reset(); };
    EXPECT_HR(S_OK, WriteItem(group.Get(), item, Text(u"bye").get()));
    EXPECT_FALSE(server_);
    EXPECT_EQ(sink->Reasons().size(), 1u);
    // The group the client still holds goes on working.
    EXPECT_HR(S_OK, WriteItem(group.Get(), reg, I4(5).get()));
    EXPECT_EQ(AsDouble(ReadItem(group.Get(), reg).value.get()), 5);
}

TEST_F(ShutdownTest, ReleasingTheServerEndsTheSubscriptions) {
    auto sink = MakeComObject<RecordingSink>();
    DWORD cookie = 0;
    ASSERT_HR(S_OK, Point()->Advise(sink.Get(), &cookie));
    auto group = AddGroup(u"Main", 0);
    OPCHANDLE item = AddItem(group.Get(), u"Server.Shutdown").handle;
    server_.Reset();
    // Only this test's reference is left.
    EXPECT_EQ(sink->AddRef(), 2u);
    sink->Release();
    EXPECT_HR(S_OK, WriteItem(group.Get(), item, Text(u"late").get()));
    EXPECT_TRUE(sink->Reasons().empty());
}

TEST_F(ShutdownTest, ConnectionPointDetails) {
    ComPtr<IConnectionPointContainer> container;
    ASSERT_HR(S_OK, server_.As(&container));
    ComPtr<IConnectionPoint> point;
    EXPECT_HR(CONNECT_E_NOCONNECTION,
              container->FindConnectionPoint(IID_IOPCServer, point.ReleaseAndGetAddressOf()));
    EXPECT_FALSE(point);
    EXPECT_HR(E_NOTIMPL, container->EnumConnectionPoints(nullptr));
    point = Point();
    IID iid{};
    ASSERT_HR(S_OK, point->GetConnectionInterface(&iid));
    EXPECT_EQ(iid, IID_IOPCShutdown);
    ComPtr<IConnectionPointContainer> back;
    ASSERT_HR(S_OK, point->GetConnectionPointContainer(back.GetAddressOf()));
    ComPtr<IUnknown> a, b;
    ASSERT_HR(S_OK, back.As(&a));
    ASSERT_HR(S_OK, server_.As(&b));
    EXPECT_EQ(a.Get(), b.Get()) << "the container is the server object";

    // The point keeps its server alive.
    server_.Reset();
    container.Reset();
    back.Reset();
    a.Reset();
    b.Reset();
    ASSERT_HR(S_OK, point->GetConnectionPointContainer(back.GetAddressOf()));
    EXPECT_TRUE(back);
    back.Reset();

    DWORD cookie = 7;
    EXPECT_HR(CONNECT_E_CANNOTCONNECT, point->Advise(point.Get(), &cookie)) << "not a sink";
    EXPECT_EQ(cookie, 0u);
    EXPECT_HR(E_POINTER, point->Advise(nullptr, &cookie));
    EXPECT_HR(CONNECT_E_NOCONNECTION, point->Unadvise(12345));

    HRESULT withoutCom = S_OK;
    auto sink = MakeComObject<RecordingSink>();
    std::thread([&] { withoutCom = point->Advise(sink.Get(), &cookie); }).join();
    EXPECT_HR(CO_E_NOTINITIALIZED, withoutCom);
}

}  // namespace
}  // namespace opcsim::test

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/com/connection_point.h"
#include "tests/platform/com_test_support.h"

namespace korva::test {
namespace {

struct ITestSink : IUnknown {
    static constexpr IID kIID = MakeGuid("6A1E3F30-2B4C-4D5E-8F60-718293A4B5C6");
    virtual HRESULT Notice(LONG value) = 0;

  protected:
    ~ITestSink() = default;
};

struct IOtherSink : IUnknown {
    static constexpr IID kIID = MakeGuid("6A1E3F31-2B4C-4D5E-8F60-718293A4B5C6");

  protected:
    ~IOtherSink() = default;
};

std::atomic<int> liveContainers{0};

// An object offering a connection point for ITestSink, as a server offers its shutdown point.
class Container final : public ComObject<IConnectionPointContainer> {
  public:
    Container() { ++liveContainers; }
    HRESULT EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
        return FindConnectionPointIn({&point_}, riid, point);
    }
    ConnectionPoint& point() { return point_; }

  private:
    ~Container() override { --liveContainers; }
    ConnectionPoint point_{this, ITestSink::kIID, 3};
};

class Sink final : public ComObject<ITestSink> {
  public:
    HRESULT Notice(LONG value) override {
        std::lock_guard lock(mutex);
        values.push_back(value);
        threads.push_back(std::this_thread::get_id());
        if (onNotice)
            onNotice();
        return S_OK;
    }
    size_t count() {
        std::lock_guard lock(mutex);
        return values.size();
    }
    std::mutex mutex;
    std::vector<LONG> values;
    std::vector<std::thread::id> threads;
    std::function<void()> onNotice;
};

// Not a sink of the point's interface.
class Stranger final : public ComObject<IOtherSink> {};

class ConnectionPoints : public TaskMemoryCheck {
  protected:
    void SetUp() override {
        TaskMemoryCheck::SetUp();
        container_ = MakeComObject<Container>();
        ASSERT_EQ(container_->FindConnectionPoint(ITestSink::kIID, point_.ReleaseAndGetAddressOf()),
                  S_OK);
    }
    ComInit com_;
    ComPtr<Container> container_;
    ComPtr<IConnectionPoint> point_;
};

TEST_F(ConnectionPoints, FindsItsPointAndNoOther) {
    ComPtr<IConnectionPoint> none;
    EXPECT_EQ(container_->FindConnectionPoint(IOtherSink::kIID, none.ReleaseAndGetAddressOf()),
              CONNECT_E_NOCONNECTION);
    EXPECT_FALSE(none);
    EXPECT_EQ(container_->FindConnectionPoint(ITestSink::kIID, nullptr), E_POINTER);
    IID iid{};
    EXPECT_EQ(point_->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, ITestSink::kIID);
    ComPtr<IConnectionPointContainer> back;
    ASSERT_EQ(point_->GetConnectionPointContainer(back.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(back.Get(), static_cast<IConnectionPointContainer*>(container_.Get()));
    ComPtr<IConnectionPoint> again;
    EXPECT_EQ(point_.As(&again), S_OK);
    ComPtr<ITestSink> wrong;
    EXPECT_EQ(point_.As(&wrong), E_NOINTERFACE);
    IEnumConnections* connections = nullptr;
    EXPECT_EQ(point_->EnumConnections(&connections), E_NOTIMPL);
}

TEST_F(ConnectionPoints, ThePointKeepsItsContainerAlive) {
    const int before = liveContainers;
    container_.Reset();
    EXPECT_EQ(liveContainers, before) << "the container went while its point was held";
    point_.Reset();
    EXPECT_EQ(liveContainers, before - 1);
}

TEST_F(ConnectionPoints, AdviseAndUnadvise) {
    ComPtr<Sink> sinks[4] = {MakeComObject<Sink>(), MakeComObject<Sink>(), MakeComObject<Sink>(),
                             MakeComObject<Sink>()};
    DWORD cookies[4] = {};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(point_->Advise(static_cast<ITestSink*>(sinks[i].Get()), &cookies[i]), S_OK);
        EXPECT_NE(cookies[i], 0u);
    }
    EXPECT_NE(cookies[0], cookies[1]);
    EXPECT_EQ(point_->Advise(static_cast<ITestSink*>(sinks[3].Get()), &cookies[3]),
              CONNECT_E_ADVISELIMIT);
    EXPECT_EQ(container_->point().SinkCount(), 3u);

    ComPtr<Stranger> stranger = MakeComObject<Stranger>();
    DWORD cookie = 99;
    EXPECT_EQ(point_->Advise(static_cast<IOtherSink*>(stranger.Get()), &cookie),
              CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(point_->Advise(nullptr, &cookie), E_POINTER);

    EXPECT_EQ(point_->Unadvise(cookies[1]), S_OK);
    EXPECT_EQ(point_->Unadvise(cookies[1]), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point_->Unadvise(0), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(container_->point().Notify<ITestSink>([](ITestSink* s) { s->Notice(5); }), 2u);
    EXPECT_EQ(sinks[0]->count(), 1u);
    EXPECT_EQ(sinks[1]->count(), 0u);
    container_->point().UnadviseAll();
    EXPECT_EQ(container_->point().SinkCount(), 0u);
    EXPECT_EQ(container_->point().Notify<ITestSink>([](ITestSink* s) { s->Notice(6); }), 0u);
}

TEST_F(ConnectionPoints, ASinkMayUnadviseWhileItIsCalled) {
    ComPtr<Sink> sink = MakeComObject<Sink>();
    DWORD cookie = 0;
    ASSERT_EQ(point_->Advise(static_cast<ITestSink*>(sink.Get()), &cookie), S_OK);
    sink->onNotice = [&] { EXPECT_EQ(point_->Unadvise(cookie), S_OK); };
    EXPECT_EQ(container_->point().Notify<ITestSink>([](ITestSink* s) { s->Notice(1); }), 1u);
    EXPECT_EQ(container_->point().SinkCount(), 0u);
    sink->onNotice = nullptr;
}

TEST_F(ConnectionPoints, ASinkIsCalledInTheApartmentItAdvisedFrom) {
    ComPtr<Sink> sink = MakeComObject<Sink>();
    std::atomic<bool> advised{false};
    std::atomic<bool> finished{false};
    std::thread::id clientThread;
    std::thread client([&] {
        ComInit com;
        clientThread = std::this_thread::get_id();
        DWORD cookie = 0;
        EXPECT_EQ(point_->Advise(static_cast<ITestSink*>(sink.Get()), &cookie), S_OK);
        advised = true;
        EXPECT_TRUE(DispatchUntil([&] { return sink->count() == 2; }));
        EXPECT_EQ(point_->Unadvise(cookie), S_OK);
        finished = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return advised.load(); }));
    // The server side notices on its own thread (this one).
    auto& point = container_->point();
    EXPECT_EQ(point.Notify<ITestSink>([](ITestSink* s) { s->Notice(1); }), 1u);
    EXPECT_EQ(point.Notify<ITestSink>([](ITestSink* s) { s->Notice(2); }), 1u);
    client.join();
    ASSERT_TRUE(finished);
    std::lock_guard lock(sink->mutex);
    EXPECT_EQ(sink->values, (std::vector<LONG>{1, 2}));
    for (std::thread::id id : sink->threads)
        EXPECT_EQ(id, clientThread);
}

TEST_F(ConnectionPoints, SinksOfAnEndedApartmentAreSkipped) {
    ComPtr<Sink> sink = MakeComObject<Sink>();
    RunOnThread([&] {
        ComInit com;
        DWORD cookie = 0;
        EXPECT_EQ(point_->Advise(static_cast<ITestSink*>(sink.Get()), &cookie), S_OK);
    });  // the client thread ends without unadvising
    EXPECT_EQ(container_->point().Notify<ITestSink>([](ITestSink* s) { s->Notice(1); }), 0u);
    EXPECT_EQ(sink->count(), 0u);
}

TEST_F(ConnectionPoints, AdviseNeedsCom) {
    ComPtr<Sink> sink = MakeComObject<Sink>();
    RunOnThread([&] {
        DWORD cookie = 1;
        EXPECT_EQ(point_->Advise(static_cast<ITestSink*>(sink.Get()), &cookie),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(cookie, 0u);
    });
}

}  // namespace
}  // namespace korva::test

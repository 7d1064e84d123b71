// Several client threads at once, each in its own apartment: with a server object each, and all
// on one shared server object. Run under ThreadSanitizer, these show the server's locking.
#include <atomic>
#include <barrier>
#include <thread>

#include "tests/servers/opcsim_test_support.h"

namespace opcsim::test {
namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 200;

// One client's work: its own group, items added and removed, its own register written and read
// back, the shared signals read, browsing, status.
void ClientRounds(IOPCServer* server, int index, std::atomic<int>& failures) {
    auto fail = [&](const char* what) {
        ADD_FAILURE() << "client " << index << ": " << what;
        failures.fetch_add(1);
    };
    ComPtr<IOPCItemMgt> group;
    const std::u16string name = u"Client" + std::u16string(1, char16_t(u'0' + index));
    if (FAILED(server->AddGroup(name.c_str(), TRUE, index * 10, 0, nullptr, nullptr, 0, nullptr,
                                nullptr, IID_IOPCItemMgt,
                                reinterpret_cast<LPUNKNOWN*>(group.AsOut()))))
        return fail("AddGroup");
    // Each client owns one register, so what it reads back must be what it wrote.
    static const char16_t* const kOwn[] = {u"Registers.I4", u"Registers.R8", u"Registers.UI2",
                                           u"Registers.I8"};
    const OPCHANDLE own = AddItem(group.Get(), kOwn[index % 4]).handle;
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    server->QueryInterface(IID_IOPCBrowseServerAddressSpace, browse.AsOut());
    for (int round = 0; round < kRounds; ++round) {
        const int32_t value = index * 1000 + round;
        if (FAILED(WriteItem(group.Get(), own, I4(value).get())))
            return fail("Write");
        ReadResult back = ReadItem(group.Get(), own, OPC_DS_DEVICE);
        if (back.item != S_OK || AsDouble(back.value.get()) != value)
            return fail("read back");

        AddResult sine = AddItem(group.Get(), u"Signals.Sine");
        ReadResult read = ReadItem(group.Get(), sine.handle);
        if (read.item != S_OK || read.quality != OPC_QUALITY_GOOD)
            return fail("Read");
        if (RemoveItem(group.Get(), sine.handle) != S_OK)
            return fail("RemoveItems");

        if (ServerState(server) == 0)
            return fail("GetStatus");
        if (round % 20 == 0 && browse) {
            ComPtr<IEnumString> names;
            if (FAILED(browse->BrowseOPCItemIDs(OPC_FLAT, u"Signals.*", VT_EMPTY, 0,
                                                names.ReleaseAndGetAddressOf())))
                return fail("Browse");
        }
    }
}

using ThreadsTest = SimServerTest;

TEST_F(ThreadsTest, ClientsWithAServerObjectEach) {
    std::atomic<int> failures{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kThreads; ++i) {
        clients.emplace_back([&, i] {
            ComInit com(COINIT_APARTMENTTHREADED);
            ComPtr<IOPCServer> server;
            if (FAILED(CreateServer(ServerKind::Hierarchical, nullptr, IID_IOPCServer,
                                    server.AsOut()))) {
                failures.fetch_add(1);
                return;
            }
            ClientRounds(server.Get(), i, failures);
        });
    }
    for (auto& t : clients)
        t.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(ThreadsTest, ClientsSharingOneServerObject) {
    std::atomic<int> failures{0};
    std::barrier start(kThreads + 1);
    std::vector<std::thread> clients;
    for (int i = 0; i < kThreads; ++i) {
        clients.emplace_back([&, i] {
            ComInit com(i % 2 ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED);
            start.arrive_and_wait();
            ClientRounds(server_.Get(), i, failures);
        });
    }
    // Meanwhile this thread moves the clock, flips the server state and browses about.
    start.arrive_and_wait();
    auto group = AddGroup(u"Controller", 0);
    OPCHANDLE state = AddItem(group.Get(), u"Server.State").handle;
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ASSERT_HR(S_OK, server_.As(&browse));
    for (int round = 0; round < kRounds; ++round) {
        clock_->Advance(7ms);
        EXPECT_HR(S_OK, WriteItem(group.Get(), state,
                                  I4(round % 2 ? OPC_STATUS_TEST : OPC_STATUS_RUNNING).get()));
        browse->ChangeBrowsePosition(round % 2 ? OPC_BROWSE_TO : OPC_BROWSE_DOWN,
                                     round % 2 ? u"" : u"Registers");
    }
    for (auto& t : clients)
        t.join();
    EXPECT_EQ(failures.load(), 0);

    OPCSERVERSTATUS* status = nullptr;
    ASSERT_HR(S_OK, server_->GetStatus(&status));
    EXPECT_EQ(status->dwGroupCount, static_cast<DWORD>(kThreads + 1));
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
}

}  // namespace
}  // namespace opcsim::test

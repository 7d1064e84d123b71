// What the simulation server's tests share: COM on the test's thread, a server object on a clock
// the test moves, one-item calls that free what the server hands back, and the task-memory
// baseline checked when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "opc/opc_common.h"
#include "opc/opc_da.h"
#include "servers/opcsim/item_value.h"
#include "servers/opcsim/opcsim.h"
#include "tests/platform/scoped_env.h"

namespace opcsim::test {

using namespace std::chrono_literals;

// "OPC_E_RANGE (0xC004000B): ..." in failure messages.
::testing::AssertionResult HrIs(HRESULT expected, HRESULT actual);
#define EXPECT_HR(expected, actual) EXPECT_TRUE(::opcsim::test::HrIs((expected), (actual)))
#define ASSERT_HR(expected, actual) ASSERT_TRUE(::opcsim::test::HrIs((expected), (actual)))

struct AddResult {
    HRESULT call = E_FAIL;
    HRESULT item = E_FAIL;
    OPCHANDLE handle = 0;
    VARTYPE canonical = VT_EMPTY;
    DWORD rights = 0;
};

struct ReadResult {
    HRESULT call = E_FAIL;
    HRESULT item = E_FAIL;
    Value value;
    WORD quality = 0;
    FILETIME timeStamp{};
    OPCHANDLE client = 0;
};

// One item per call, as the client layer uses the interfaces; every array is freed.
AddResult AddItem(IOPCItemMgt* group, std::u16string_view id, VARTYPE requested = VT_EMPTY,
                  BOOL active = TRUE, OPCHANDLE client = 0);
HRESULT RemoveItem(IOPCItemMgt* group, OPCHANDLE handle);
ReadResult ReadItem(IOPCItemMgt* group, OPCHANDLE handle, OPCDATASOURCE source = OPC_DS_CACHE);
// The item's answer, or the call's when the call failed.
HRESULT WriteItem(IOPCItemMgt* group, OPCHANDLE handle, const VARIANT& value);
OPCSERVERSTATE ServerState(IOPCServer* server);

// Values.
Value R8(double v);
Value I4(int32_t v);
Value Text(std::u16string_view text);
Value Bool(bool v);
double AsDouble(const VARIANT& v);  // VT_R8 or anything VariantChangeType makes a number of
std::u16string AsText(const VARIANT& v);

// Test base: COM initialised, the default address spaces built (they live as long as the
// process), the task-memory count taken, and a server object on a manual clock.
class SimServerTest : public ::testing::Test {
  protected:
    static constexpr Nanos kStart = 5s;

    void SetUp() override;
    void TearDown() override;

    // A server object of the given kind on `clock_` (replaces `server_`).
    void CreateServerOf(ServerKind kind);
    ComPtr<IOPCItemMgt> AddGroup(std::u16string_view name, DWORD rate, BOOL active = TRUE,
                                 OPCHANDLE* handle = nullptr);

    // No address-space file from the environment the tests run in.
    korva::test::ScopedEnv noFile_{kAddressSpaceVariable, std::nullopt};
    ComInit com_{COINIT_APARTMENTTHREADED};
    std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>(kStart);
    ComPtr<IOPCServer> server_;
    size_t taskMemoryBaseline_ = 0;
};

}  // namespace opcsim::test

// Reading and writing through IOPCSyncIO: the simulated signals over time, the cache and its
// update rate, writes with type conversion and their errors, the server state item and status,
// and the groups of IOPCServer.
#include <cmath>
#include <numbers>

#include "tests/servers/opcsim_test_support.h"

namespace opcsim::test {
namespace {

int64_t Ticks(const FILETIME& t) {
    return static_cast<int64_t>((uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime);
}

struct SignalCase {
    const char16_t* id;
    Nanos at;  // since the server started
    double expected;
};

// The signals are a function of the time since the server object started.
const SignalCase kSignalCases[] = {
    {u"Signals.Sine", 0s, 0.0},         {u"Signals.Sine", 2500ms, 1.0},
    {u"Signals.Sine", 5s, 0.0},         {u"Signals.Sine", 7500ms, -1.0},
    {u"Signals.Sine", 12500ms, 1.0},    {u"Signals.Sine", 1s, std::sin(2 * std::numbers::pi / 10)},
    {u"Signals.Ramp", 0s, 0.0},         {u"Signals.Ramp", 2500ms, 25.0},
    {u"Signals.Ramp", 9990ms, 99.9},    {u"Signals.Ramp", 10s, 0.0},
    {u"Signals.Ramp", 31s, 10.0},       {u"Signals.Square", 0s, 1.0},
    {u"Signals.Square", 999ms, 1.0},    {u"Signals.Square", 1s, -1.0},
    {u"Signals.Square", 1999ms, -1.0},  {u"Signals.Square", 2s, 1.0},
    {u"Signals.Counter", 0s, 0},        {u"Signals.Counter", 99ms, 0},
    {u"Signals.Counter", 100ms, 1},     {u"Signals.Counter", 1050ms, 10},
    {u"Signals.Counter", 3600s, 36000}, {u"Signals.Toggle", 0s, 0},
    {u"Signals.Toggle", 999ms, 0},      {u"Signals.Toggle", 1s, -1},  // VARIANT_TRUE
    {u"Signals.Toggle", 2s, 0},         {u"Signals.Constant", 0s, 42.5},
    {u"Signals.Constant", 1000s, 42.5},
};

using SignalTest = SimServerTest;

TEST_F(SignalTest, ValuesFollowTheTimeSinceTheStart) {
    for (const SignalCase& c : kSignalCases) {
        SCOPED_TRACE(testing::Message()
                     << std::string(c.id, c.id + std::char_traits<char16_t>::length(c.id)) << " at "
                     << c.at.count() << " ns");
        CreateServerOf(ServerKind::Hierarchical);  // starts at the clock's time
        const Nanos start = clock_->Now();
        auto group = AddGroup(u"Main", 0);
        OPCHANDLE handle = AddItem(group.Get(), c.id).handle;
        clock_->Set(start + c.at);
        ReadResult read = ReadItem(group.Get(), handle);
        ASSERT_HR(S_OK, read.item);
        EXPECT_NEAR(AsDouble(read.value.get()), c.expected, 1e-9);
        group.Reset();
        clock_->Set(kStart);
    }
}

TEST_F(SignalTest, RandomIsInTheUnitIntervalAndAFunctionOfTime) {
    auto group = AddGroup(u"Main", 0);
    OPCHANDLE handle = AddItem(group.Get(), u"Signals.Random").handle;
    std::vector<double> values;
    for (int i = 0; i < 200; ++i) {
        clock_->Advance(1ms);
        const double v = AsDouble(ReadItem(group.Get(), handle).value.get());
        EXPECT_GE(v, 0.0);
        EXPECT_LT(v, 1.0);
        values.push_back(v);
    }
    std::sort(values.begin(), values.end());
    EXPECT_EQ(std::unique(values.begin(), values.end()), values.end()) << "repeated values";
    EXPECT_LT(values.front(), 0.1);
    EXPECT_GT(values.back(), 0.9);

    // Another server object at the same time since its start gives the same value.
    clock_->Set(kStart + 1234ms);
    const double first = AsDouble(ReadItem(group.Get(), handle).value.get());
    ComPtr<IOPCServer> other;
    clock_->Set(kStart);
    ASSERT_HR(S_OK, CreateServer(ServerKind::Hierarchical, clock_, IID_IOPCServer, other.AsOut()));
    ComPtr<IOPCItemMgt> otherGroup;
    ASSERT_HR(S_OK,
              other->AddGroup(u"G", TRUE, 0, 0, nullptr, nullptr, 0, nullptr, nullptr,
                              IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN*>(otherGroup.AsOut())));
    OPCHANDLE otherHandle = AddItem(otherGroup.Get(), u"Signals.Random").handle;
    clock_->Set(kStart + 1234ms);
    EXPECT_EQ(AsDouble(ReadItem(otherGroup.Get(), otherHandle).value.get()), first);
}

TEST_F(SignalTest, TheCacheRefreshesOnMultiplesOfTheRate) {
    clock_->Advance(300ms);
    auto group = AddGroup(u"Slow", 1000);  // refreshes at +1.3 s, +2.3 s, ...
    auto fast = AddGroup(u"Fast", 0);
    OPCHANDLE slowRamp = AddItem(group.Get(), u"Signals.Ramp").handle;
    OPCHANDLE fastRamp = AddItem(fast.Get(), u"Signals.Ramp").handle;

    ReadResult added = ReadItem(group.Get(), slowRamp);
    EXPECT_DOUBLE_EQ(AsDouble(added.value.get()), 3.0);

    clock_->Advance(900ms);  // +1.2 s: no refresh yet
    ReadResult before = ReadItem(group.Get(), slowRamp);
    EXPECT_DOUBLE_EQ(AsDouble(before.value.get()), 3.0);
    EXPECT_EQ(Ticks(before.timeStamp), Ticks(added.timeStamp));
    // A group with rate 0 reads the value of the moment.
    EXPECT_DOUBLE_EQ(AsDouble(ReadItem(fast.Get(), fastRamp).value.get()), 12.0);

    clock_->Advance(550ms);  // +1.75 s: the refresh at +1.3 s is due
    ReadResult after = ReadItem(group.Get(), slowRamp);
    EXPECT_DOUBLE_EQ(AsDouble(after.value.get()), 13.0);
    EXPECT_EQ(Ticks(after.timeStamp) - Ticks(added.timeStamp), 10'000'000) << "one second";

    clock_->Advance(5s);  // several refreshes passed unobserved: the latest counts
    EXPECT_DOUBLE_EQ(AsDouble(ReadItem(group.Get(), slowRamp).value.get()), 63.0);
}

TEST_F(SignalTest, DeviceReadsGoPastTheCacheAndRefreshIt) {
    auto group = AddGroup(u"Slow", 10000);
    OPCHANDLE ramp = AddItem(group.Get(), u"Signals.Ramp").handle;
    clock_->Advance(4s);
    EXPECT_DOUBLE_EQ(AsDouble(ReadItem(group.Get(), ramp).value.get()), 0.0);
    ReadResult device = ReadItem(group.Get(), ramp, OPC_DS_DEVICE);
    EXPECT_DOUBLE_EQ(AsDouble(device.value.get()), 40.0);
    ReadResult cached = ReadItem(group.Get(), ramp);
    EXPECT_DOUBLE_EQ(AsDouble(cached.value.get()), 40.0);
    EXPECT_EQ(Ticks(cached.timeStamp), Ticks(device.timeStamp));
}

TEST_F(SignalTest, AWriteReachesACacheAtItsNextRefresh) {
    auto slow = AddGroup(u"Slow", 1000);
    auto fast = AddGroup(u"Fast", 0);
    OPCHANDLE slowItem = AddItem(slow.Get(), u"Registers.R8").handle;
    OPCHANDLE fastItem = AddItem(fast.Get(), u"Registers.R8").handle;

    clock_->Advance(1200ms);  // the slow cache's refresh at +1 s has not been read yet
    ASSERT_HR(S_OK, WriteItem(fast.Get(), fastItem, R8(5).get()));
    clock_->Advance(100ms);
    ASSERT_HR(S_OK, WriteItem(fast.Get(), fastItem, R8(6).get()));
    EXPECT_EQ(AsDouble(ReadItem(fast.Get(), fastItem).value.get()), 6.0);
    // The slow cache refreshed at +1 s, before both writes.
    EXPECT_EQ(AsDouble(ReadItem(slow.Get(), slowItem).value.get()), 0.0);
    clock_->Advance(800ms);  // +2.1 s
    EXPECT_EQ(AsDouble(ReadItem(slow.Get(), slowItem).value.get()), 6.0);
}

struct WriteCase {
    const char* name;
    const char16_t* id;
    Value value;
    HRESULT expected;
    double readBack;  // numeric items, when the write succeeds
};
void PrintTo(const WriteCase& c, std::ostream* out) {
    *out << c.name;
}

class WriteTest : public SimServerTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteTest, ConvertsToTheItemsTypeOrRefuses) {
    const WriteCase& c = GetParam();
    auto group = AddGroup(u"Main", 0);
    AddResult added = AddItem(group.Get(), c.id);
    ASSERT_HR(S_OK, added.item);
    const Value before = ReadItem(group.Get(), added.handle).value;
    EXPECT_HR(c.expected, WriteItem(group.Get(), added.handle, c.value.get()));
    ReadResult after = ReadItem(group.Get(), added.handle);
    ASSERT_HR(S_OK, after.item);
    EXPECT_EQ(after.value.get().vt, added.canonical) << "the item keeps its type";
    if (SUCCEEDED(c.expected))
        EXPECT_DOUBLE_EQ(AsDouble(after.value.get()), c.readBack);
    else
        EXPECT_EQ(AsText(after.value.get()), AsText(before.get()))
            << "a refused write changes nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Registers, WriteTest,
    ::testing::Values(
        WriteCase{"I1Max", u"Registers.I1", R8(127), S_OK, 127},
        WriteCase{"I1Rounds", u"Registers.I1", R8(-12.4), S_OK, -12},
        WriteCase{"I1Overflow", u"Registers.I1", I4(128), OPC_E_RANGE, 0},
        WriteCase{"I1FromText", u"Registers.I1", Text(u"12"), S_OK, 12},
        WriteCase{"I1FromBadText", u"Registers.I1", Text(u"twelve"), OPC_E_BADTYPE, 0},
        WriteCase{"UI1Max", u"Registers.UI1", I4(255), S_OK, 255},
        WriteCase{"UI1Negative", u"Registers.UI1", I4(-1), OPC_E_RANGE, 0},
        WriteCase{"I2Overflow", u"Registers.I2", I4(32768), OPC_E_RANGE, 0},
        WriteCase{"UI2Max", u"Registers.UI2", I4(65535), S_OK, 65535},
        WriteCase{"I4Overflow", u"Registers.I4", R8(2147483648.0), OPC_E_RANGE, 0},
        WriteCase{"I4FromText", u"Registers.I4", Text(u"-5"), S_OK, -5},
        WriteCase{"UI4Negative", u"Registers.UI4", I4(-1), OPC_E_RANGE, 0},
        WriteCase{"I8Large", u"Registers.I8", R8(1e18), S_OK, 1e18},
        WriteCase{"UI8Negative", u"Registers.UI8", I4(-1), OPC_E_RANGE, 0},
        WriteCase{"INT", u"Registers.INT", R8(-70000), S_OK, -70000},
        WriteCase{"UINT", u"Registers.UINT", R8(4e9), S_OK, 4e9},
        WriteCase{"R4", u"Registers.R4", R8(1.5), S_OK, 1.5},
        WriteCase{"R4Overflow", u"Registers.R4", R8(1e39), OPC_E_RANGE, 0},
        WriteCase{"R8FromText", u"Registers.R8", Text(u"2.5"), S_OK, 2.5},
        WriteCase{"R8FromBool", u"Registers.R8", Bool(true), S_OK, -1},
        WriteCase{"R8FromEmpty", u"Registers.R8", Value(), OPC_E_BADTYPE, 0},
        WriteCase{"BoolFromZero", u"Registers.BOOL", I4(0), S_OK, 0},
        WriteCase{"BoolFromText", u"Registers.BOOL", Text(u"True"), S_OK, -1},
        WriteCase{"BoolFromBadText", u"Registers.BOOL", Text(u"maybe"), OPC_E_BADTYPE, 0},
        WriteCase{"Date", u"Registers.DATE", R8(45000.5), S_OK, 45000.5},
        WriteCase{"Currency", u"Registers.CY", R8(1.2345), S_OK, 1.2345},
        WriteCase{"CurrencyOverflow", u"Registers.CY", R8(1e16), OPC_E_RANGE, 0},
        WriteCase{"ReadOnlyRegister", u"Registers.ReadOnly", I4(1), OPC_E_BADRIGHTS, 0},
        WriteCase{"Signal", u"Signals.Constant", R8(1), OPC_E_BADRIGHTS, 0},
        WriteCase{"StateTooLow", u"Server.State", I4(0), OPC_E_RANGE, 0},
        WriteCase{"StateTooHigh", u"Server.State", I4(7), OPC_E_RANGE, 0},
        WriteCase{"StateText", u"Server.State", Text(u"running"), OPC_E_BADTYPE, 0},
        WriteCase{"StateSuspended", u"Server.State", I4(4), S_OK, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SignalTest, TextRegistersTakeAnyValueAsText) {
    auto group = AddGroup(u"Main", 0);
    OPCHANDLE text = AddItem(group.Get(), u"Registers.BSTR").handle;
    ASSERT_HR(S_OK, WriteItem(group.Get(), text, Text(u"hello, plant").get()));
    EXPECT_EQ(AsText(ReadItem(group.Get(), text).value.get()), u"hello, plant");
    ASSERT_HR(S_OK, WriteItem(group.Get(), text, I4(42).get()));
    ReadResult read = ReadItem(group.Get(), text);
    EXPECT_EQ(read.value.get().vt, VT_BSTR);
    EXPECT_EQ(AsText(read.value.get()), u"42");
    EXPECT_HR(OPC_E_BADTYPE, WriteItem(group.Get(), text, Value().get()));
}

TEST_F(SignalTest, SeveralWritesInOneCallAnswerEach) {
    auto group = AddGroup(u"Main", 0);
    ComPtr<IOPCSyncIO> io;
    ASSERT_HR(S_OK, group.As(&io));
    OPCHANDLE handles[] = {AddItem(group.Get(), u"Registers.I2").handle,
                           AddItem(group.Get(), u"Registers.ReadOnly").handle, 777,
                           AddItem(group.Get(), u"Registers.UI1").handle};
    VARIANT values[] = {I4(-3).get(), I4(1).get(), I4(1).get(), I4(300).get()};
    HRESULT* errors = nullptr;
    ASSERT_HR(S_FALSE, io->Write(4, handles, values, &errors));
    EXPECT_HR(S_OK, errors[0]);
    EXPECT_HR(OPC_E_BADRIGHTS, errors[1]);
    EXPECT_HR(OPC_E_INVALIDHANDLE, errors[2]);
    EXPECT_HR(OPC_E_RANGE, errors[3]);
    CoTaskMemFree(errors);
    EXPECT_EQ(AsDouble(ReadItem(group.Get(), handles[0]).value.get()), -3);
}

TEST_F(SignalTest, TheStateItemSetsTheServerState) {
    auto group = AddGroup(u"Main", 0);
    OPCHANDLE state = AddItem(group.Get(), u"Server.State").handle;
    EXPECT_EQ(ServerState(server_.Get()), OPC_STATUS_RUNNING);
    for (int32_t s : {2, 3, 4, 5, 6, 1}) {
        ASSERT_HR(S_OK, WriteItem(group.Get(), state, I4(s).get()));
        EXPECT_EQ(ServerState(server_.Get()), static_cast<OPCSERVERSTATE>(s));
        EXPECT_EQ(AsDouble(ReadItem(group.Get(), state).value.get()), s);
    }
    EXPECT_HR(OPC_E_RANGE, WriteItem(group.Get(), state, I4(-1).get()));
    EXPECT_EQ(ServerState(server_.Get()), OPC_STATUS_RUNNING);
}

TEST_F(SignalTest, StatusTellsStateTimesGroupsAndVendor) {
    OPCSERVERSTATUS* status = nullptr;
    EXPECT_HR(E_INVALIDARG, server_->GetStatus(nullptr));
    ASSERT_HR(S_OK, server_->GetStatus(&status));
    EXPECT_EQ(status->dwServerState, OPC_STATUS_RUNNING);
    EXPECT_EQ(std::u16string(status->szVendorInfo), u"Felmaran OPC Simulation Server");
    EXPECT_EQ(status->dwGroupCount, 0u);
    EXPECT_EQ(Ticks(status->ftCurrentTime), Ticks(status->ftStartTime));
    EXPECT_EQ(Ticks(status->ftLastUpdateTime), 0) << "no cache refreshed yet";
    const int64_t start = Ticks(status->ftStartTime);
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);

    auto group = AddGroup(u"Main", 100);
    OPCHANDLE sine = AddItem(group.Get(), u"Signals.Sine").handle;
    clock_->Advance(2s);
    ReadItem(group.Get(), sine);
    ASSERT_HR(S_OK, server_->GetStatus(&status));
    EXPECT_EQ(status->dwGroupCount, 1u);
    EXPECT_EQ(Ticks(status->ftStartTime), start);
    EXPECT_EQ(Ticks(status->ftCurrentTime) - start, 20'000'000);
    EXPECT_EQ(Ticks(status->ftLastUpdateTime) - start, 20'000'000);
    EXPECT_EQ(status->wMajorVersion, 1);
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
}

using GroupTest = SimServerTest;

TEST_F(GroupTest, NamesAreUniqueAndFoundAgain) {
    OPCHANDLE mainHandle = 0;
    auto main = AddGroup(u"Main", 250, TRUE, &mainHandle);
    EXPECT_NE(mainHandle, 0u);

    ComPtr<IUnknown> again;
    OPCHANDLE handle = 0;
    EXPECT_HR(OPC_E_DUPLICATENAME,
              server_->AddGroup(u"Main", TRUE, 0, 0, nullptr, nullptr, 0, &handle, nullptr,
                                IID_IOPCItemMgt, again.ReleaseAndGetAddressOf()));
    EXPECT_FALSE(again);

    // Groups without a name get one of their own.
    DWORD revised = 0;
    OPCHANDLE h1 = 0, h2 = 0;
    ComPtr<IUnknown> g1, g2;
    ASSERT_HR(S_OK, server_->AddGroup(nullptr, TRUE, 1234, 0, nullptr, nullptr, 0, &h1, &revised,
                                      IID_IOPCSyncIO, g1.ReleaseAndGetAddressOf()));
    EXPECT_EQ(revised, 1234u) << "every rate is kept as asked";
    ASSERT_HR(S_OK, server_->AddGroup(u"", TRUE, 0, 0, nullptr, nullptr, 0, &h2, nullptr,
                                      IID_IUnknown, g2.ReleaseAndGetAddressOf()));
    EXPECT_NE(h1, h2);

    ComPtr<IEnumString> names;
    ASSERT_HR(S_OK, server_->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IEnumString,
                                                   reinterpret_cast<LPUNKNOWN*>(names.AsOut())));
    std::vector<std::u16string> listed;
    LPOLESTR name = nullptr;
    while (names->Next(1, &name, nullptr) == S_OK) {
        listed.emplace_back(name);
        CoTaskMemFree(name);
    }
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0], u"Main");
    EXPECT_NE(listed[1], listed[2]);
    EXPECT_HR(S_FALSE, server_->CreateGroupEnumerator(OPC_ENUM_PUBLIC, IID_IEnumString,
                                                      reinterpret_cast<LPUNKNOWN*>(names.AsOut())));

    ComPtr<IOPCSyncIO> found;
    ASSERT_HR(S_OK, server_->GetGroupByName(u"Main", IID_IOPCSyncIO,
                                            reinterpret_cast<LPUNKNOWN*>(found.AsOut())));
    ComPtr<IOPCSyncIO> mainIo;
    ASSERT_HR(S_OK, main.As(&mainIo));
    EXPECT_EQ(found.Get(), mainIo.Get());
    EXPECT_HR(E_INVALIDARG, server_->GetGroupByName(u"Other", IID_IOPCSyncIO,
                                                    reinterpret_cast<LPUNKNOWN*>(found.AsOut())));
}

TEST_F(GroupTest, AddGroupRefusals) {
    ComPtr<IUnknown> group;
    FLOAT deadband = 150.0f;
    EXPECT_HR(E_INVALIDARG,
              server_->AddGroup(u"A", TRUE, 0, 0, nullptr, &deadband, 0, nullptr, nullptr,
                                IID_IOPCItemMgt, group.ReleaseAndGetAddressOf()));
    EXPECT_HR(E_INVALIDARG, server_->AddGroup(u"A", TRUE, 0, 0, nullptr, nullptr, 0, nullptr,
                                              nullptr, IID_IOPCItemMgt, nullptr));
    EXPECT_HR(E_NOINTERFACE,
              server_->AddGroup(u"A", TRUE, 0, 0, nullptr, nullptr, 0, nullptr, nullptr,
                                IID_IOPCServer, group.ReleaseAndGetAddressOf()));
    // None of them left a group behind: the name is free.
    EXPECT_TRUE(AddGroup(u"A", 0));
}

TEST_F(GroupTest, RemoveGroup) {
    OPCHANDLE handle = 0;
    auto group = AddGroup(u"Main", 0, TRUE, &handle);
    OPCHANDLE item = AddItem(group.Get(), u"Signals.Constant").handle;
    EXPECT_HR(E_INVALIDARG, server_->RemoveGroup(handle + 100, FALSE));
    // The client still holds the group: it keeps working until released.
    EXPECT_HR(OPC_S_INUSE, server_->RemoveGroup(handle, FALSE));
    EXPECT_HR(E_INVALIDARG, server_->RemoveGroup(handle, FALSE));
    EXPECT_HR(S_OK, ReadItem(group.Get(), item).item);
    EXPECT_TRUE(AddGroup(u"Main", 0)) << "the name is free again";

    OPCHANDLE forcedHandle = 0;
    auto forced = AddGroup(u"Forced", 0, TRUE, &forcedHandle);
    OPCHANDLE forcedItem = AddItem(forced.Get(), u"Signals.Constant").handle;
    EXPECT_HR(S_OK, server_->RemoveGroup(forcedHandle, TRUE));
    EXPECT_HR(E_FAIL, ReadItem(forced.Get(), forcedItem).call);

    // A group the client no longer holds is simply gone.
    OPCHANDLE releasedHandle = 0;
    AddGroup(u"Released", 0, TRUE, &releasedHandle);
    EXPECT_HR(S_OK, server_->RemoveGroup(releasedHandle, FALSE));
}

TEST_F(GroupTest, AGroupOutlivesItsServerObject) {
    auto group = AddGroup(u"Main", 0);
    OPCHANDLE item = AddItem(group.Get(), u"Registers.I4").handle;
    server_.Reset();
    EXPECT_HR(S_OK, WriteItem(group.Get(), item, I4(3).get()));
    EXPECT_EQ(AsDouble(ReadItem(group.Get(), item).value.get()), 3);
}

TEST_F(GroupTest, ErrorStringsAndLocales) {
    LPWSTR text = nullptr;
    ASSERT_HR(S_OK, server_->GetErrorString(OPC_E_UNKNOWNITEMID, 0, &text));
    EXPECT_EQ(std::u16string(text), u"The item is not in the server's address space.");
    CoTaskMemFree(text);
    ComPtr<IOPCCommon> common;
    ASSERT_HR(S_OK, server_.As(&common));
    ASSERT_HR(S_OK, common->GetErrorString(E_INVALIDARG, &text));
    EXPECT_FALSE(std::u16string(text).empty());
    CoTaskMemFree(text);
    EXPECT_HR(E_INVALIDARG, common->GetErrorString(MakeHResult(0x80041234), &text));
    EXPECT_EQ(text, nullptr);

    EXPECT_HR(S_OK, common->SetLocaleID(0x0409));
    EXPECT_HR(E_INVALIDARG, common->SetLocaleID(0x0407));
    LCID locale = 0;
    EXPECT_HR(S_OK, common->GetLocaleID(&locale));
    EXPECT_EQ(locale, 0x0409u);
    DWORD count = 0;
    LCID* locales = nullptr;
    ASSERT_HR(S_OK, common->QueryAvailableLocaleIDs(&count, &locales));
    EXPECT_GE(count, 1u);
    EXPECT_EQ(locales[0], 0x0409u);
    CoTaskMemFree(locales);
    EXPECT_HR(S_OK, common->SetClientName(u"test"));
}

}  // namespace
}  // namespace opcsim::test

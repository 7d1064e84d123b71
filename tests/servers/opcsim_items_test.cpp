// The simulation server's items through IOPCItemMgt: what each default item is, which
// identifiers are refused and how, requested types, and the per-item handle operations.
#include <cstring>

#include "servers/opcsim/item_id.h"
#include "tests/servers/opcsim_test_support.h"

namespace opcsim::test {
namespace {

constexpr DWORD R = OPC_READABLE;
constexpr DWORD RW = OPC_READABLE | OPC_WRITEABLE;

struct ItemCase {
    const char16_t* id;
    VARTYPE type;
    DWORD rights;
};

// Every item of the default hierarchical address space.
const ItemCase kHierarchicalItems[] = {
    {u"Signals.Sine", VT_R8, R},      {u"Signals.Ramp", VT_R8, R},
    {u"Signals.Square", VT_R8, R},    {u"Signals.Random", VT_R8, R},
    {u"Signals.Counter", VT_I4, R},   {u"Signals.Toggle", VT_BOOL, R},
    {u"Signals.Constant", VT_R8, R},  {u"Registers.I1", VT_I1, RW},
    {u"Registers.UI1", VT_UI1, RW},   {u"Registers.I2", VT_I2, RW},
    {u"Registers.UI2", VT_UI2, RW},   {u"Registers.I4", VT_I4, RW},
    {u"Registers.UI4", VT_UI4, RW},   {u"Registers.I8", VT_I8, RW},
    {u"Registers.UI8", VT_UI8, RW},   {u"Registers.INT", VT_INT, RW},
    {u"Registers.UINT", VT_UINT, RW}, {u"Registers.R4", VT_R4, RW},
    {u"Registers.R8", VT_R8, RW},     {u"Registers.BOOL", VT_BOOL, RW},
    {u"Registers.BSTR", VT_BSTR, RW}, {u"Registers.DATE", VT_DATE, RW},
    {u"Registers.CY", VT_CY, RW},     {u"Registers.ReadOnly", VT_I4, R},
    {u"Server.State", VT_I4, RW},     {u"Server.Shutdown", VT_BSTR, RW},
};

const ItemCase kFlatItems[] = {
    {u"Plant.Line1.Temperature", VT_R8, R},
    {u"Plant.Line1.Pressure", VT_R8, R},
    {u"Plant.Line2.Temperature", VT_R8, R},
    {u"Plant.Line2.Pressure", VT_R8, RW},
    {u"Plant.Mixer.Speed", VT_R8, RW},
    {u"Plant.Mixer.Running", VT_BOOL, RW},
    {u"Tag.", VT_I4, RW},
    {u"Server.State", VT_I4, RW},
    {u"Server.Shutdown", VT_BSTR, RW},
};

using ItemsTest = SimServerTest;

TEST_F(ItemsTest, EveryDefaultItemHasItsTypeRightsAndAGoodFirstValue) {
    for (ServerKind kind : {ServerKind::Hierarchical, ServerKind::Flat}) {
        CreateServerOf(kind);
        auto group = AddGroup(u"Main", 1000);
        const auto& cases =
            kind == ServerKind::Flat
                ? std::vector<ItemCase>(std::begin(kFlatItems), std::end(kFlatItems))
                : std::vector<ItemCase>(std::begin(kHierarchicalItems),
                                        std::end(kHierarchicalItems));
        for (const ItemCase& c : cases) {
            SCOPED_TRACE(std::string(c.id, c.id + std::char_traits<char16_t>::length(c.id)));
            AddResult added = AddItem(group.Get(), c.id);
            ASSERT_HR(S_OK, added.call);
            ASSERT_HR(S_OK, added.item);
            EXPECT_NE(added.handle, 0u);
            EXPECT_EQ(added.canonical, c.type);
            EXPECT_EQ(added.rights, c.rights);
            // Added items carry the value of that moment: the first cache read is good.
            ReadResult read = ReadItem(group.Get(), added.handle);
            EXPECT_HR(S_OK, read.item);
            EXPECT_EQ(read.quality, OPC_QUALITY_GOOD);
            EXPECT_EQ(read.value.get().vt, c.type);
        }
    }
}

TEST_F(ItemsTest, InitialValuesOfTheDefaultSpace) {
    auto group = AddGroup(u"Main", 0);
    EXPECT_EQ(
        AsDouble(
            ReadItem(group.Get(), AddItem(group.Get(), u"Signals.Constant").handle).value.get()),
        42.5);
    EXPECT_EQ(
        AsDouble(
            ReadItem(group.Get(), AddItem(group.Get(), u"Registers.ReadOnly").handle).value.get()),
        7);
    EXPECT_EQ(
        AsDouble(ReadItem(group.Get(), AddItem(group.Get(), u"Registers.R8").handle).value.get()),
        0);
    EXPECT_EQ(
        ReadItem(group.Get(), AddItem(group.Get(), u"Registers.BOOL").handle).value.get().boolVal,
        VARIANT_FALSE);
    ReadResult text = ReadItem(group.Get(), AddItem(group.Get(), u"Registers.BSTR").handle);
    ASSERT_EQ(text.value.get().vt, VT_BSTR);
    EXPECT_EQ(AsText(text.value.get()), u"");
    EXPECT_EQ(
        AsDouble(ReadItem(group.Get(), AddItem(group.Get(), u"Server.State").handle).value.get()),
        OPC_STATUS_RUNNING);
}

struct IdCase {
    const char* name;
    ServerKind kind;
    std::u16string id;
    HRESULT expected;
};
void PrintTo(const IdCase& c, std::ostream* out) {
    *out << c.name;
}

class ItemIdTest : public SimServerTest, public ::testing::WithParamInterface<IdCase> {};

TEST_P(ItemIdTest, AddItemsAnswersPerItem) {
    const IdCase& c = GetParam();
    CreateServerOf(c.kind);
    auto group = AddGroup(u"Main", 0);
    AddResult added = AddItem(group.Get(), c.id);
    // One item that fails makes the call S_FALSE; its result holds no handle.
    EXPECT_HR(SUCCEEDED(c.expected) ? S_OK : S_FALSE, added.call);
    EXPECT_HR(c.expected, added.item);
    if (FAILED(c.expected)) {
        EXPECT_EQ(added.handle, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Identifiers, ItemIdTest,
    ::testing::Values(
        IdCase{"Known", ServerKind::Hierarchical, u"Signals.Sine", S_OK},
        IdCase{"Empty", ServerKind::Hierarchical, u"", OPC_E_INVALIDITEMID},
        IdCase{"LeadingBlank", ServerKind::Hierarchical, u" Signals.Sine", OPC_E_INVALIDITEMID},
        IdCase{"TrailingBlank", ServerKind::Hierarchical, u"Signals.Sine ", OPC_E_INVALIDITEMID},
        IdCase{"DoubleDot", ServerKind::Hierarchical, u"Signals..Sine", OPC_E_INVALIDITEMID},
        IdCase{"LeadingDot", ServerKind::Hierarchical, u".Signals.Sine", OPC_E_INVALIDITEMID},
        IdCase{"TrailingDot", ServerKind::Hierarchical, u"Signals.", OPC_E_INVALIDITEMID},
        IdCase{"Tab", ServerKind::Hierarchical, u"Signals.\tSine", OPC_E_INVALIDITEMID},
        IdCase{"ControlCharacter", ServerKind::Hierarchical, u"Signals.Si\u0001ne",
               OPC_E_INVALIDITEMID},
        IdCase{"LoneSurrogate", ServerKind::Hierarchical, std::u16string(u"Signals.") + u'\xD800',
               OPC_E_INVALIDITEMID},
        IdCase{"Unknown", ServerKind::Hierarchical, u"Signals.Cosine", OPC_E_UNKNOWNITEMID},
        IdCase{"OtherCase", ServerKind::Hierarchical, u"signals.sine", OPC_E_UNKNOWNITEMID},
        IdCase{"BranchIsNoItem", ServerKind::Hierarchical, u"Signals", OPC_E_UNKNOWNITEMID},
        IdCase{"NonAscii", ServerKind::Hierarchical, u"Signale.Größe", OPC_E_UNKNOWNITEMID},
        IdCase{"FlatTrailingDot", ServerKind::Flat, u"Tag.", S_OK},
        IdCase{"FlatDoubleDotIsOnlyUnknown", ServerKind::Flat, u"Plant..Line1",
               OPC_E_UNKNOWNITEMID},
        IdCase{"FlatLeadingBlank", ServerKind::Flat, u" Tag.", OPC_E_INVALIDITEMID},
        IdCase{"FlatHierarchicalItem", ServerKind::Flat, u"Signals.Sine", OPC_E_UNKNOWNITEMID}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ItemsTest, SeveralItemsInOneCallAnswerEachAndGetDistinctHandles) {
    auto group = AddGroup(u"Main", 0);
    std::u16string ids[] = {u"Signals.Sine", u"Nope.Nope", u"Registers.I4", u"", u"Signals.Sine"};
    OPCITEMDEF defs[5]{};
    for (int i = 0; i < 5; ++i) {
        defs[i].szItemID = ids[i].data();
        defs[i].bActive = TRUE;
        defs[i].hClient = 100 + i;
    }
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_HR(S_FALSE, group->AddItems(5, defs, &results, &errors));
    EXPECT_HR(S_OK, errors[0]);
    EXPECT_HR(OPC_E_UNKNOWNITEMID, errors[1]);
    EXPECT_HR(S_OK, errors[2]);
    EXPECT_HR(OPC_E_INVALIDITEMID, errors[3]);
    EXPECT_HR(S_OK, errors[4]);
    // The same item twice is two entries of the group.
    EXPECT_NE(results[0].hServer, results[4].hServer);
    EXPECT_NE(results[0].hServer, results[2].hServer);
    EXPECT_EQ(results[1].hServer, 0u);
    EXPECT_EQ(results[1].vtCanonicalDataType, VT_EMPTY);
    EXPECT_EQ(ReadItem(group.Get(), results[2].hServer).client, 102u);
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
}

TEST_F(ItemsTest, CallErrorsHandOutNothing) {
    auto group = AddGroup(u"Main", 0);
    std::u16string id = u"Signals.Sine";
    OPCITEMDEF def{};
    def.szItemID = id.data();
    OPCITEMRESULT* results = reinterpret_cast<OPCITEMRESULT*>(1);
    HRESULT* errors = reinterpret_cast<HRESULT*>(1);
    EXPECT_HR(E_INVALIDARG, group->AddItems(0, &def, &results, &errors));
    EXPECT_EQ(results, nullptr);
    EXPECT_EQ(errors, nullptr);
    EXPECT_HR(E_INVALIDARG, group->AddItems(1, nullptr, &results, &errors));
    EXPECT_HR(E_INVALIDARG, group->AddItems(1, &def, nullptr, &errors));
    EXPECT_HR(E_INVALIDARG, group->ValidateItems(1, &def, FALSE, &results, nullptr));
    EXPECT_HR(E_INVALIDARG, group->RemoveItems(0, nullptr, &errors));

    ComPtr<IOPCSyncIO> io;
    ASSERT_HR(S_OK, group.As(&io));
    OPCHANDLE handle = AddItem(group.Get(), id).handle;
    OPCITEMSTATE* states = nullptr;
    EXPECT_HR(E_INVALIDARG, io->Read(static_cast<OPCDATASOURCE>(3), 1, &handle, &states, &errors));
    EXPECT_HR(E_INVALIDARG, io->Read(OPC_DS_CACHE, 0, &handle, &states, &errors));
    EXPECT_HR(E_INVALIDARG, io->Read(OPC_DS_CACHE, 1, &handle, nullptr, &errors));
    EXPECT_EQ(states, nullptr);
    VARIANT v = I4(1).get();
    EXPECT_HR(E_INVALIDARG, io->Write(1, &handle, nullptr, &errors));
    EXPECT_HR(E_INVALIDARG, io->Write(0, &handle, &v, &errors));
    EXPECT_EQ(errors, nullptr);
}

TEST_F(ItemsTest, ValidateItemsChecksWithoutAdding) {
    auto group = AddGroup(u"Main", 0);
    std::u16string ids[] = {u"Registers.R4", u"Registers.Nope", u"Registers.R4"};
    OPCITEMDEF defs[3]{};
    for (int i = 0; i < 3; ++i)
        defs[i].szItemID = ids[i].data();
    defs[2].vtRequestedDataType = VT_VARIANT;
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_HR(S_FALSE, group->ValidateItems(3, defs, FALSE, &results, &errors));
    EXPECT_HR(S_OK, errors[0]);
    EXPECT_EQ(results[0].vtCanonicalDataType, VT_R4);
    EXPECT_EQ(results[0].dwAccessRights, RW);
    EXPECT_HR(OPC_E_UNKNOWNITEMID, errors[1]);
    EXPECT_HR(OPC_E_BADTYPE, errors[2]);
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    // Nothing was added: the first handle a group gives is still free.
    AddResult added = AddItem(group.Get(), u"Registers.R4");
    EXPECT_HR(OPC_E_INVALIDHANDLE, RemoveItem(group.Get(), added.handle + 1));
}

struct RequestedCase {
    const char* name;
    const char16_t* id;
    VARTYPE requested;
    Value written;  // VT_EMPTY: nothing written first
    HRESULT readResult;
    double expected;  // when the read succeeds
};
void PrintTo(const RequestedCase& c, std::ostream* out) {
    *out << c.name;
}

class RequestedTypeTest : public SimServerTest,
                          public ::testing::WithParamInterface<RequestedCase> {};

TEST_P(RequestedTypeTest, ReadsConvertToTheRequestedType) {
    const RequestedCase& c = GetParam();
    auto group = AddGroup(u"Main", 0);
    if (c.written.get().vt != VT_EMPTY) {
        AddResult target = AddItem(group.Get(), c.id);
        ASSERT_HR(S_OK, WriteItem(group.Get(), target.handle, c.written.get()));
    }
    AddResult added = AddItem(group.Get(), c.id, c.requested);
    ASSERT_HR(S_OK, added.item);
    ReadResult read = ReadItem(group.Get(), added.handle);
    EXPECT_HR(SUCCEEDED(c.readResult) ? S_OK : S_FALSE, read.call);
    EXPECT_HR(c.readResult, read.item);
    if (SUCCEEDED(c.readResult)) {
        EXPECT_EQ(read.value.get().vt, c.requested);
        EXPECT_EQ(AsDouble(read.value.get()), c.expected);
        EXPECT_EQ(read.quality, OPC_QUALITY_GOOD);
    } else {
        EXPECT_EQ(read.value.get().vt, VT_EMPTY);
        EXPECT_EQ(read.quality & OPC_QUALITY_MASK, OPC_QUALITY_BAD);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, RequestedTypeTest,
    ::testing::Values(
        RequestedCase{"R8AsI4RoundsHalfToEven", u"Signals.Constant", VT_I4, Value(), S_OK, 42},
        RequestedCase{"I4AsR4", u"Registers.ReadOnly", VT_R4, Value(), S_OK, 7},
        RequestedCase{"I4AsText", u"Registers.ReadOnly", VT_BSTR, Value(), S_OK, 7},
        RequestedCase{"TooBigForI1", u"Registers.I4", VT_I1, I4(1000), OPC_E_RANGE, 0},
        RequestedCase{"TextThatIsNoNumber", u"Registers.BSTR", VT_R8, Text(u"abc"), OPC_E_BADTYPE,
                      0},
        RequestedCase{"TextThatIsANumber", u"Registers.BSTR", VT_I2, Text(u"-12"), S_OK, -12}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ItemsTest, UnsupportedRequestedTypesAreRefused) {
    auto group = AddGroup(u"Main", 0);
    for (VARTYPE vt : std::initializer_list<VARTYPE>{VT_VARIANT, VT_ERROR, VT_NULL, 0x2005}) {
        SCOPED_TRACE(vt);
        EXPECT_HR(OPC_E_BADTYPE, AddItem(group.Get(), u"Signals.Sine", vt).item);
    }
}

TEST_F(ItemsTest, RemovedItemsAreGone) {
    auto group = AddGroup(u"Main", 0);
    OPCHANDLE a = AddItem(group.Get(), u"Signals.Sine").handle;
    OPCHANDLE b = AddItem(group.Get(), u"Signals.Ramp").handle;
    EXPECT_HR(S_OK, RemoveItem(group.Get(), a));
    EXPECT_HR(OPC_E_INVALIDHANDLE, RemoveItem(group.Get(), a));
    ReadResult read = ReadItem(group.Get(), a);
    EXPECT_HR(S_FALSE, read.call);
    EXPECT_HR(OPC_E_INVALIDHANDLE, read.item);
    EXPECT_HR(OPC_E_INVALIDHANDLE, WriteItem(group.Get(), a, R8(1).get()));
    // The other item stays.
    EXPECT_HR(S_OK, ReadItem(group.Get(), b).item);

    OPCHANDLE handles[] = {b, 9999};
    HRESULT* errors = nullptr;
    EXPECT_HR(S_FALSE, group->RemoveItems(2, handles, &errors));
    EXPECT_HR(S_OK, errors[0]);
    EXPECT_HR(OPC_E_INVALIDHANDLE, errors[1]);
    CoTaskMemFree(errors);
}

TEST_F(ItemsTest, InactiveItemsAndGroupsReadOutOfServiceFromTheCache) {
    auto group = AddGroup(u"Main", 0);
    OPCHANDLE handle = AddItem(group.Get(), u"Signals.Ramp").handle;
    const double first = AsDouble(ReadItem(group.Get(), handle).value.get());

    HRESULT* errors = nullptr;
    ASSERT_HR(S_OK, group->SetActiveState(1, &handle, FALSE, &errors));
    CoTaskMemFree(errors);
    clock_->Advance(2s);
    ReadResult cached = ReadItem(group.Get(), handle);
    EXPECT_HR(S_OK, cached.item);
    EXPECT_EQ(cached.quality, OPC_QUALITY_BAD | OPC_QUALITY_OUT_OF_SERVICE);
    EXPECT_EQ(AsDouble(cached.value.get()), first) << "the cache is not refreshed while inactive";
    // A device read does not depend on the active state.
    ReadResult device = ReadItem(group.Get(), handle, OPC_DS_DEVICE);
    EXPECT_EQ(device.quality, OPC_QUALITY_GOOD);
    EXPECT_DOUBLE_EQ(AsDouble(device.value.get()), 20.0);

    ASSERT_HR(S_OK, group->SetActiveState(1, &handle, TRUE, &errors));
    CoTaskMemFree(errors);
    EXPECT_EQ(ReadItem(group.Get(), handle).quality, OPC_QUALITY_GOOD);

    auto idle = AddGroup(u"Idle", 0, FALSE);
    OPCHANDLE idleItem = AddItem(idle.Get(), u"Signals.Ramp").handle;
    EXPECT_EQ(ReadItem(idle.Get(), idleItem).quality, OPC_QUALITY_BAD | OPC_QUALITY_OUT_OF_SERVICE);
    EXPECT_EQ(ReadItem(idle.Get(), idleItem, OPC_DS_DEVICE).quality, OPC_QUALITY_GOOD);
    // Items added inactive behave the same.
    OPCHANDLE inactiveItem = AddItem(group.Get(), u"Signals.Ramp", VT_EMPTY, FALSE).handle;
    EXPECT_EQ(ReadItem(group.Get(), inactiveItem).quality,
              OPC_QUALITY_BAD | OPC_QUALITY_OUT_OF_SERVICE);
}

TEST_F(ItemsTest, ClientHandlesAndRequestedTypesCanBeChanged) {
    auto group = AddGroup(u"Main", 0);
    OPCHANDLE handles[] = {AddItem(group.Get(), u"Signals.Constant", VT_EMPTY, TRUE, 7).handle,
                           4242};
    EXPECT_EQ(ReadItem(group.Get(), handles[0]).client, 7u);

    OPCHANDLE clients[] = {8, 9};
    HRESULT* errors = nullptr;
    ASSERT_HR(S_FALSE, group->SetClientHandles(2, handles, clients, &errors));
    EXPECT_HR(S_OK, errors[0]);
    EXPECT_HR(OPC_E_INVALIDHANDLE, errors[1]);
    CoTaskMemFree(errors);
    EXPECT_EQ(ReadItem(group.Get(), handles[0]).client, 8u);

    VARTYPE types[] = {VT_BSTR, VT_I4};
    ASSERT_HR(S_FALSE, group->SetDatatypes(2, handles, types, &errors));
    CoTaskMemFree(errors);
    EXPECT_EQ(ReadItem(group.Get(), handles[0]).value.get().vt, VT_BSTR);
    VARTYPE bad[] = {VT_VARIANT};
    ASSERT_HR(S_FALSE, group->SetDatatypes(1, handles, bad, &errors));
    EXPECT_HR(OPC_E_BADTYPE, errors[0]);
    CoTaskMemFree(errors);
    // A refused type leaves the previous one.
    EXPECT_EQ(ReadItem(group.Get(), handles[0]).value.get().vt, VT_BSTR);
}

TEST(ItemIdSyntax, WellFormedIdentifiers) {
    struct Case {
        std::u16string id;
        bool hierarchical;
        bool flat;
    };
    const Case cases[] = {
        {u"A", true, true},
        {u"A.B.C", true, true},
        {u"A B.C", true, true},  // blanks inside are fine
        {u"", false, false},
        {u" A", false, false},
        {u"A\u00A0", false, false},
        {u"A..B", false, true},
        {u".A", false, true},
        {u"A.", false, true},
        {u"A\nB", false, false},
        {u"A\u0085B", false, false},
        {u"\U0001F600.x", true, true},  // a surrogate pair
        {std::u16string(1, u'\xDC00') + u"A", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.id.begin(), c.id.end())));
        EXPECT_EQ(IsWellFormedItemId(c.id, OPC_NS_HIERARCHIAL), c.hierarchical);
        EXPECT_EQ(IsWellFormedItemId(c.id, OPC_NS_FLAT), c.flat);
    }
}

}  // namespace
}  // namespace opcsim::test

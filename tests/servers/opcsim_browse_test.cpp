// Browsing the simulation server: organisation, moving the position, branch, leaf and flat
// listings with their filters, and the wildcard matching behind them.
#include "servers/opcsim/item_id.h"
#include "tests/servers/opcsim_test_support.h"

namespace opcsim::test {
namespace {

using Names = std::vector<std::u16string>;

class BrowseTest : public SimServerTest {
  protected:
    void SetUp() override {
        SimServerTest::SetUp();
        ASSERT_HR(S_OK, server_.As(&browse_));
    }
    void TearDown() override {
        browse_.Reset();
        SimServerTest::TearDown();
    }
    void UseServer(ServerKind kind) {
        CreateServerOf(kind);
        ASSERT_HR(S_OK, server_.As(&browse_));
    }

    // The listing and the call's answer; every text is freed.
    std::pair<HRESULT, Names> List(OPCBROWSETYPE type, const char16_t* filter = u"",
                                   VARTYPE dataType = VT_EMPTY, DWORD rights = 0) {
        ComPtr<IEnumString> names;
        HRESULT hr = browse_->BrowseOPCItemIDs(type, filter, dataType, rights,
                                               names.ReleaseAndGetAddressOf());
        Names out;
        if (FAILED(hr)) {
            EXPECT_FALSE(names);
            return {hr, out};
        }
        EXPECT_TRUE(names) << "an enumerator even when nothing is listed";
        LPOLESTR batch[7];
        ULONG fetched = 0;
        HRESULT next;
        do {
            next = names->Next(7, batch, &fetched);
            for (ULONG i = 0; i < fetched; ++i) {
                out.emplace_back(batch[i]);
                CoTaskMemFree(batch[i]);
            }
        } while (next == S_OK);
        return {hr, out};
    }

    std::u16string ItemId(const char16_t* name) {
        LPWSTR id = nullptr;
        std::u16string text(name);
        HRESULT hr = browse_->GetItemID(text.data(), &id);
        if (FAILED(hr))
            return u"<" + std::u16string(hr == E_INVALIDARG ? u"E_INVALIDARG" : u"?") + u">";
        std::u16string out(id);
        CoTaskMemFree(id);
        return out;
    }

    ComPtr<IOPCBrowseServerAddressSpace> browse_;
};

const Names kAllHierarchical = {
    u"Signals.Sine",    u"Signals.Ramp",    u"Signals.Square",   u"Signals.Random",
    u"Signals.Counter", u"Signals.Toggle",  u"Signals.Constant", u"Registers.I1",
    u"Registers.UI1",   u"Registers.I2",    u"Registers.UI2",    u"Registers.I4",
    u"Registers.UI4",   u"Registers.I8",    u"Registers.UI8",    u"Registers.INT",
    u"Registers.UINT",  u"Registers.R4",    u"Registers.R8",     u"Registers.BOOL",
    u"Registers.BSTR",  u"Registers.DATE",  u"Registers.CY",     u"Registers.ReadOnly",
    u"Server.State",    u"Server.Shutdown",
};

TEST_F(BrowseTest, TheRootOfTheHierarchy) {
    OPCNAMESPACETYPE organization{};
    ASSERT_HR(S_OK, browse_->QueryOrganization(&organization));
    EXPECT_EQ(organization, OPC_NS_HIERARCHIAL);
    EXPECT_EQ(List(OPC_BRANCH), std::make_pair(S_OK, Names{u"Signals", u"Registers", u"Server"}));
    EXPECT_EQ(List(OPC_LEAF), std::make_pair(S_FALSE, Names{}));
    EXPECT_EQ(List(OPC_FLAT), std::make_pair(S_OK, kAllHierarchical));
}

TEST_F(BrowseTest, MovingThePosition) {
    ASSERT_HR(S_OK, browse_->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"Signals"));
    EXPECT_EQ(List(OPC_LEAF).second,
              (Names{u"Sine", u"Ramp", u"Square", u"Random", u"Counter", u"Toggle", u"Constant"}));
    EXPECT_EQ(List(OPC_BRANCH), std::make_pair(S_FALSE, Names{}));
    // Flat lists what is below the position, fully qualified.
    EXPECT_EQ(List(OPC_FLAT).second.size(), 7u);
    EXPECT_EQ(List(OPC_FLAT).second.front(), u"Signals.Sine");
    EXPECT_EQ(ItemId(u"Sine"), u"Signals.Sine");
    EXPECT_EQ(ItemId(u""), u"Signals");
    EXPECT_EQ(ItemId(u"Nope"), u"<E_INVALIDARG>");

    EXPECT_HR(E_INVALIDARG, browse_->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"Sine"))
        << "an item is no branch";
    EXPECT_HR(S_OK, browse_->ChangeBrowsePosition(OPC_BROWSE_UP, nullptr));
    EXPECT_HR(E_FAIL, browse_->ChangeBrowsePosition(OPC_BROWSE_UP, nullptr)) << "above the root";
    EXPECT_EQ(ItemId(u"Server"), u"Server");
    EXPECT_HR(E_INVALIDARG, browse_->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"Nope"));
    EXPECT_HR(E_INVALIDARG, browse_->ChangeBrowsePosition(OPC_BROWSE_DOWN, u""));
    EXPECT_HR(E_INVALIDARG, browse_->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"signals"));

    ASSERT_HR(S_OK, browse_->ChangeBrowsePosition(OPC_BROWSE_TO, u"Server"));
    EXPECT_EQ(List(OPC_LEAF).second, (Names{u"State", u"Shutdown"}));
    EXPECT_HR(E_INVALIDARG, browse_->ChangeBrowsePosition(OPC_BROWSE_TO, u"Signals.Sine"));
    EXPECT_EQ(List(OPC_LEAF).second, (Names{u"State", u"Shutdown"})) << "a refused move stays";
    EXPECT_HR(E_INVALIDARG,
              browse_->ChangeBrowsePosition(static_cast<OPCBROWSEDIRECTION>(9), u"Signals"));
    ASSERT_HR(S_OK, browse_->ChangeBrowsePosition(OPC_BROWSE_TO, u""));
    EXPECT_EQ(List(OPC_BRANCH).second.size(), 3u);
    ASSERT_HR(S_OK, browse_->ChangeBrowsePosition(OPC_BROWSE_TO, nullptr));
}

TEST_F(BrowseTest, EachServerObjectHasItsOwnPosition) {
    ComPtr<IOPCBrowseServerAddressSpace> other;
    ASSERT_HR(S_OK, CreateServer(ServerKind::Hierarchical, clock_, IID_IOPCBrowseServerAddressSpace,
                                 other.AsOut()));
    ASSERT_HR(S_OK, other->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"Registers"));
    EXPECT_EQ(List(OPC_BRANCH).second.size(), 3u);
}

struct FilterCase {
    const char* name;
    OPCBROWSETYPE type;
    const char16_t* filter;
    VARTYPE dataType;
    DWORD rights;
    Names expected;
};
void PrintTo(const FilterCase& c, std::ostream* out) {
    *out << c.name;
}

class BrowseFilterTest : public BrowseTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(BrowseFilterTest, ListsWhatPasses) {
    const FilterCase& c = GetParam();
    auto [hr, names] = List(c.type, c.filter, c.dataType, c.rights);
    EXPECT_HR(c.expected.empty() ? S_FALSE : S_OK, hr);
    EXPECT_EQ(names, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, BrowseFilterTest,
    ::testing::Values(
        FilterCase{
            "Star", OPC_FLAT, u"Server.*", VT_EMPTY, 0, {u"Server.State", u"Server.Shutdown"}},
        FilterCase{"Question",
                   OPC_FLAT,
                   u"*.I?",
                   VT_EMPTY,
                   0,
                   {u"Registers.I1", u"Registers.I2", u"Registers.I4", u"Registers.I8"}},
        FilterCase{"Infix",
                   OPC_FLAT,
                   u"*S*t*",
                   VT_EMPTY,
                   0,
                   {u"Signals.Counter", u"Signals.Constant", u"Server.State", u"Server.Shutdown"}},
        FilterCase{"CaseSensitive", OPC_FLAT, u"server.*", VT_EMPTY, 0, {}},
        FilterCase{"NoMatch", OPC_FLAT, u"Nothing*", VT_EMPTY, 0, {}},
        FilterCase{
            "NullFilter", OPC_BRANCH, nullptr, VT_EMPTY, 0, {u"Signals", u"Registers", u"Server"}},
        FilterCase{"BranchFilter", OPC_BRANCH, u"S*", VT_EMPTY, 0, {u"Signals", u"Server"}},
        FilterCase{"DataType", OPC_FLAT, u"", VT_BOOL, 0, {u"Signals.Toggle", u"Registers.BOOL"}},
        FilterCase{"DataTypeAndFilter", OPC_FLAT, u"Signals.*", VT_I4, 0, {u"Signals.Counter"}},
        FilterCase{"Writable",
                   OPC_FLAT,
                   u"Server.*",
                   VT_EMPTY,
                   OPC_WRITEABLE,
                   {u"Server.State", u"Server.Shutdown"}},
        FilterCase{"WritableSignals", OPC_FLAT, u"Signals.*", VT_EMPTY, OPC_WRITEABLE, {}},
        FilterCase{"ReadableI4",
                   OPC_FLAT,
                   u"",
                   VT_I4,
                   OPC_READABLE,
                   {u"Signals.Counter", u"Registers.I4", u"Registers.ReadOnly", u"Server.State"}},
        FilterCase{"ReadWriteI4",
                   OPC_FLAT,
                   u"",
                   VT_I4,
                   OPC_READABLE | OPC_WRITEABLE,
                   {u"Registers.I4", u"Server.State"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BrowseTest, AFlatSpaceListsEverythingAsLeaves) {
    UseServer(ServerKind::Flat);
    OPCNAMESPACETYPE organization{};
    ASSERT_HR(S_OK, browse_->QueryOrganization(&organization));
    EXPECT_EQ(organization, OPC_NS_FLAT);
    const Names all = {u"Plant.Line1.Temperature",
                       u"Plant.Line1.Pressure",
                       u"Plant.Line2.Temperature",
                       u"Plant.Line2.Pressure",
                       u"Plant.Mixer.Speed",
                       u"Plant.Mixer.Running",
                       u"Tag.",
                       u"Server.State",
                       u"Server.Shutdown"};
    EXPECT_EQ(List(OPC_FLAT), std::make_pair(S_OK, all));
    EXPECT_EQ(List(OPC_LEAF), std::make_pair(S_OK, all));
    EXPECT_EQ(List(OPC_BRANCH), std::make_pair(S_FALSE, Names{}));
    EXPECT_EQ(List(OPC_LEAF, u"Plant.Line?.Temperature").second,
              (Names{u"Plant.Line1.Temperature", u"Plant.Line2.Temperature"}));
    EXPECT_EQ(List(OPC_FLAT, u"*.", VT_I4).second, (Names{u"Tag."}));

    // The client layer moves to the root before a flat listing; that is the only move there is.
    EXPECT_HR(S_OK, browse_->ChangeBrowsePosition(OPC_BROWSE_TO, u""));
    EXPECT_HR(E_FAIL, browse_->ChangeBrowsePosition(OPC_BROWSE_DOWN, u"Plant"));
    EXPECT_HR(E_FAIL, browse_->ChangeBrowsePosition(OPC_BROWSE_UP, u""));
    EXPECT_HR(E_FAIL, browse_->ChangeBrowsePosition(OPC_BROWSE_TO, u"Plant"));
    EXPECT_EQ(ItemId(u"Tag."), u"Tag.");
    EXPECT_EQ(ItemId(u"Plant"), u"<E_INVALIDARG>");
}

TEST_F(BrowseTest, RefusedCalls) {
    ComPtr<IEnumString> names;
    EXPECT_HR(E_INVALIDARG, browse_->BrowseOPCItemIDs(static_cast<OPCBROWSETYPE>(4), u"", VT_EMPTY,
                                                      0, names.ReleaseAndGetAddressOf()));
    EXPECT_FALSE(names);
    EXPECT_HR(E_INVALIDARG, browse_->BrowseOPCItemIDs(OPC_FLAT, u"", VT_EMPTY, 0, nullptr));
    EXPECT_HR(E_NOTIMPL,
              browse_->BrowseAccessPaths(u"Signals.Sine", names.ReleaseAndGetAddressOf()));
    EXPECT_FALSE(names);
    EXPECT_HR(E_INVALIDARG, browse_->QueryOrganization(nullptr));
    EXPECT_HR(E_INVALIDARG, browse_->GetItemID(nullptr, nullptr));
}

TEST_F(BrowseTest, EnumeratorsCloneSkipAndReset) {
    ComPtr<IEnumString> names;
    ASSERT_HR(S_OK, browse_->BrowseOPCItemIDs(OPC_FLAT, u"Server.*", VT_EMPTY, 0,
                                              names.ReleaseAndGetAddressOf()));
    EXPECT_HR(S_OK, names->Skip(1));
    ComPtr<IEnumString> copy;
    ASSERT_HR(S_OK, names->Clone(copy.GetAddressOf()));
    LPOLESTR text = nullptr;
    ASSERT_HR(S_OK, copy->Next(1, &text, nullptr));
    EXPECT_EQ(std::u16string(text), u"Server.Shutdown");
    CoTaskMemFree(text);
    EXPECT_HR(S_FALSE, copy->Next(1, &text, nullptr));
    EXPECT_HR(S_OK, names->Reset());
    ASSERT_HR(S_OK, names->Next(1, &text, nullptr));
    EXPECT_EQ(std::u16string(text), u"Server.State");
    CoTaskMemFree(text);
}

TEST(BrowseWildcards, Matching) {
    struct Case {
        const char16_t* name;
        const char16_t* filter;
        bool matches;
    };
    const Case cases[] = {
        {u"abc", u"", true},        {u"", u"", true},           {u"", u"*", true},
        {u"", u"?", false},         {u"abc", u"abc", true},     {u"abc", u"abd", false},
        {u"abc", u"a?c", true},     {u"ac", u"a?c", false},     {u"abc", u"*", true},
        {u"abc", u"a*", true},      {u"abc", u"*c", true},      {u"abc", u"*b*", true},
        {u"abc", u"*d*", false},    {u"aXbXc", u"a*b*c", true}, {u"abcbc", u"a*bc", true},
        {u"abcbd", u"a*bc", false}, {u"abc", u"**a**", true},   {u"ab", u"abc", false},
        {u"abc", u"ab", false},     {u"ABC", u"abc", false},    {u"a.b", u"a?b", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name))
                     << " ~ "
                     << std::string(c.filter,
                                    c.filter + std::char_traits<char16_t>::length(c.filter)));
        EXPECT_EQ(MatchesFilter(c.name, c.filter), c.matches);
    }
    // Long runs of stars against a long name stay fast (no exponential back-tracking).
    const std::u16string name(10000, u'a');
    EXPECT_FALSE(MatchesFilter(name, std::u16string(50, u'*') + u"b"));
}

}  // namespace
}  // namespace opcsim::test

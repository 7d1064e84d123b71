#include "components/qnlist.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cmath>
#include <memory>
#include <vector>

namespace {

struct ExtendedStatsCase {
    const char* name;
    std::vector<long double> values;
    long double minimum;
    long double maximum;
    long double average;
    long double stdeviation;
};

void PrintTo(const ExtendedStatsCase& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

class ExtendedStats : public ::testing::TestWithParam<ExtendedStatsCase> {};

TEST_P(ExtendedStats, MatchTheDefinedSentinelsAndFormulas) {
    const ExtendedStatsCase& c = GetParam();
    TExtendedList list;
    for (long double v : c.values)
        list.Add(new TExtended(v));
    EXPECT_EQ(list.MinimumValue(), c.minimum);
    EXPECT_EQ(list.MaximumValue(), c.maximum);
    EXPECT_EQ(list.Average(), c.average);
    EXPECT_NEAR(static_cast<double>(list.Stdeviation()), static_cast<double>(c.stdeviation), 1e-15);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExtendedStats,
    ::testing::Values(
        ExtendedStatsCase{"Empty", {}, 1.0E30L, -1.0E30L, 0.0L, 0.0L},
        ExtendedStatsCase{"OnlyAboveTheMinimumCap", {2.0E30L}, 1.0E30L, 2.0E30L, 2.0E30L, 0.0L},
        ExtendedStatsCase{"OnlyBelowTheMaximumCap", {-5.0E30L}, -5.0E30L, -1.0E30L, -5.0E30L, 0.0L},
        ExtendedStatsCase{"OneValue", {7.0L}, 7.0L, 7.0L, 7.0L, 0.0L},
        ExtendedStatsCase{"OneToFour", {1, 2, 3, 4}, 1, 4, 2.5L, std::sqrt(5.0L / 3.0L)},
        ExtendedStatsCase{"Unordered", {3, -2, 8, -2}, -2, 8, 1.75L, std::sqrt(68.75L / 3)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExtendedList, ComputesInEightyBitPrecision) {
    // 2^-61 vanishes in a 64-bit double sum but not in the 64-bit mantissa of the x87 format.
    const long double tiny = std::ldexp(1.0L, -60);
    TExtendedList list;
    list.Add(new TExtended(1.0L + tiny));
    list.Add(new TExtended(1.0L));
    EXPECT_EQ(list.Average(), 1.0L + tiny / 2);
    EXPECT_GT(list.Stdeviation(), 0.0L);
    EXPECT_EQ(list.Values(0), 1.0L + tiny);
}

struct IntegerStatsCase {
    const char* name;
    std::vector<int32_t> values;
    int32_t minimum;
    int32_t maximum;
};

void PrintTo(const IntegerStatsCase& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

class IntegerStats : public ::testing::TestWithParam<IntegerStatsCase> {};

TEST_P(IntegerStats, MatchTheDefinedStartValues) {
    TIntegerList list;
    for (int32_t v : GetParam().values)
        list.Add(new TInteger(v));
    EXPECT_EQ(list.MinimumValue(), GetParam().minimum);
    EXPECT_EQ(list.MaximumValue(), GetParam().maximum);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IntegerStats,
    ::testing::Values(IntegerStatsCase{"Empty", {}, 2147483647, -2147483647},
                      IntegerStatsCase{"MostNegativeOnly", {INT32_MIN}, INT32_MIN, -2147483647},
                      IntegerStatsCase{"Mixed", {5, -3, 9, 0}, -3, 9},
                      IntegerStatsCase{"Largest", {2147483647}, 2147483647, 2147483647}),
    [](const auto& info) { return std::string(info.param.name); });

// A box that notes when it is freed.
struct Tracked : TExtended {
    Tracked(long double v, std::vector<long double>* freed) : TExtended(v), freed_(freed) {}
    ~Tracked() override { freed_->push_back(Value); }
    std::vector<long double>* freed_;
};

TEST(ObjectList, FreeAllFreesLastFirstAndEmpties) {
    std::vector<long double> freed;
    TExtendedList list;
    for (int i = 1; i <= 3; ++i)
        list.Add(new Tracked(i, &freed));
    list.FreeAll();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(freed, (std::vector<long double>{3, 2, 1}));
}

TEST(ObjectList, DestroyingTheListFreesEveryBox) {
    std::vector<long double> freed;
    {
        TExtendedList list;
        list.Add(new Tracked(1, &freed));
        list.Add(new Tracked(2, &freed));
    }
    EXPECT_EQ(freed.size(), 2u);
}

TEST(ObjectList, DeleteAndClearOfTheBaseListLeaveTheBoxesAlive) {
    std::vector<long double> freed;
    TExtendedList list;
    auto* first = new Tracked(1, &freed);
    auto* second = new Tracked(2, &freed);
    list.Add(first);
    list.Add(second);
    list.Delete(0);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0), second);
    list.Clear();
    EXPECT_TRUE(freed.empty());
    // Forgotten boxes belong to the caller again.
    delete first;
    delete second;
    EXPECT_EQ(freed.size(), 2u);
}

TEST(ObjectList, AssignFreesTheOldBoxesAndCopiesValuesInOrder) {
    std::vector<long double> freed;
    TExtendedList target;
    target.Add(new Tracked(99, &freed));
    TExtendedList source;
    source.Add(new TExtended(1.5L));
    source.Add(new TExtended(-2.25L));
    target.Assign(source);
    EXPECT_EQ(freed, (std::vector<long double>{99}));
    ASSERT_EQ(target.Count(), 2);
    EXPECT_EQ(target.Values(0), 1.5L);
    EXPECT_EQ(target.Values(1), -2.25L);
    EXPECT_NE(target.Items(0), source.Items(0));  // new boxes, not shared ones

    TIntegerList integers;
    integers.Add(new TInteger(4));
    TIntegerList copy;
    copy.Add(new TInteger(1));
    copy.Assign(integers);
    ASSERT_EQ(copy.Count(), 1);
    EXPECT_EQ(copy.Items(0)->Value, 4);
}

TEST(ObjectList, AssigningAListToItselfKeepsItsValues) {
    TExtendedList extended;
    extended.Add(new TExtended(1));
    extended.Add(new TExtended(2));
    extended.Assign(extended);
    ASSERT_EQ(extended.Count(), 2);
    EXPECT_EQ(extended.Values(1), 2);

    TIntegerList integers;
    integers.Add(new TInteger(7));
    integers.Assign(integers);
    ASSERT_EQ(integers.Count(), 1);
    EXPECT_EQ(integers.Items(0)->Value, 7);
}

TEST(ObjectList, IndexOutsideTheListIsAnIndexError) {
    TIntegerList list;
    list.Add(new TInteger(1));
    for (int index : {-1, 1, 5}) {
        try {
            list.Items(index);
            ADD_FAILURE() << "index " << index << " was accepted";
        } catch (const EListError& e) {
            EXPECT_EQ(e.Index(), index);
            EXPECT_EQ(std::string(e.what()),
                      "List index out of bounds (" + std::to_string(index) + ")");
        }
    }
    EXPECT_THROW(list.Delete(1), EListError);
    TExtendedList empty;
    EXPECT_THROW(empty.Values(0), EListError);
}

}  // namespace

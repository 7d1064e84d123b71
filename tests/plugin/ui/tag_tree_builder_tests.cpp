// The tag tree rule without a window: segments of an identifier, the tree it builds, and the
// child index's first-match look-up.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "plugin/ui/tag_tree_builder.h"

namespace virelon {
namespace {

QStringList Segments(const QString& id) {
    QStringList segments;
    ForEachSegment(id, [&](QStringView segment) { segments.append(segment.toString()); });
    return segments;
}

struct SegmentCase {
    const char16_t* id;
    QStringList segments;
};

class SegmentTest : public ::testing::TestWithParam<SegmentCase> {};

TEST_P(SegmentTest, SplitsAtEveryDotAndDropsOnlyTheTrailingOne) {
    const SegmentCase& c = GetParam();
    EXPECT_EQ(Segments(QString::fromUtf16(c.id)), c.segments)
        << QString::fromUtf16(c.id).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Identifiers, SegmentTest,
    ::testing::Values(SegmentCase{u"Dev1.Temp", {"Dev1", "Temp"}}, SegmentCase{u"Plain", {"Plain"}},
                      SegmentCase{u"Tag.", {"Tag"}},         // a trailing dot adds no segment
                      SegmentCase{u"", {}},                  // nothing: the item is the top node
                      SegmentCase{u"A..B", {"A", "", "B"}},  // two dots: an empty segment
                      SegmentCase{u".A", {"", "A"}}, SegmentCase{u"Tag..", {"Tag", ""}},
                      SegmentCase{u"a.b.c.d", {"a", "b", "c", "d"}},
                      SegmentCase{u"Grüße.Wert", {"Grüße", "Wert"}}));

// A window-free node for the rule.
struct Node {
    Node() = default;
    explicit Node(const QString& nodeText) : text(nodeText) {}

    QString text;
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;

    Node* Append(const QString& childText) {
        children.push_back(std::make_unique<Node>());
        children.back()->text = childText;
        children.back()->parent = this;
        return children.back().get();
    }
    QStringList ChildTexts() const {
        QStringList texts;
        for (const auto& child : children)
            texts.append(child->text);
        return texts;
    }
    // The identifier the dialog builds for this node: the path below the top node.
    QString Path() const {
        QString path = text;
        for (const Node* up = parent; up && up->parent; up = up->parent)
            path = up->text + u'.' + path;
        return path;
    }
};

class TreeRuleTest : public ::testing::Test {
  protected:
    Node* Add(const QString& id) {
        return AddHierarchicalItem(index_, &root_, id, [](Node* parent, const QString& text) {
            return parent->Append(text);
        });
    }
    Node root_{QStringLiteral("Root")};
    ChildIndex index_;
};

TEST_F(TreeRuleTest, SharedBranchesAreFoundAgain) {
    Node* temp = Add("Dev1.Temp");
    Node* press = Add("Dev1.Press");
    ASSERT_EQ(root_.ChildTexts(), QStringList{"Dev1"});
    EXPECT_EQ(root_.children[0]->ChildTexts(), (QStringList{"Temp", "Press"}));
    EXPECT_EQ(temp->Path(), "Dev1.Temp");
    EXPECT_EQ(press->Path(), "Dev1.Press");
}

TEST_F(TreeRuleTest, AnItemBelowAnotherItemMakesItABranch) {
    Node* b = Add("A.B");
    Node* c = Add("A.B.C");
    EXPECT_EQ(c->parent, b);
    EXPECT_EQ(b->ChildTexts(), QStringList{"C"});
    EXPECT_EQ(c->Path(), "A.B.C");
}

TEST_F(TreeRuleTest, ComparisonIsExactAndCaseSensitive) {
    Add("Dev.x");
    Add("dev.y");
    Add("Dev .z");
    EXPECT_EQ(root_.ChildTexts(), (QStringList{"Dev", "dev", "Dev "}));
}

TEST_F(TreeRuleTest, TheSameIdentifierTwiceReachesTheSameNode) {
    EXPECT_EQ(Add("P.Q.R"), Add("P.Q.R"));
    EXPECT_EQ(index_.Size(), 3u);
}

TEST_F(TreeRuleTest, TrailingDotAndDoubleDotsKeepTheIdentifierRebuildable) {
    Node* tag = Add("Tag.");
    EXPECT_EQ(tag->text, "Tag");
    EXPECT_EQ(tag->Path(), "Tag");  // added without the dot
    EXPECT_EQ(Add("A..B")->Path(), "A..B");
    EXPECT_EQ(Add(".Lead")->Path(), ".Lead");
    EXPECT_EQ(Add(""), &root_);
}

TEST_F(TreeRuleTest, SameTextUnderDifferentParentsStaysApart) {
    Node* one = Add("L1.X");
    Node* two = Add("L2.X");
    EXPECT_NE(one, two);
    EXPECT_EQ(Add("L2.X"), two);
}

TEST(ChildIndexTest, TheFirstChildWithATextStaysTheOneFound) {
    ChildIndex index;
    int parent = 0, first = 0, second = 0;
    index.Add(&parent, "x", &first);
    index.Add(&parent, "x", &second);
    EXPECT_EQ(index.Find(&parent, u"x"), &first);
    EXPECT_EQ(index.Find(&parent, u"X"), nullptr);
    EXPECT_EQ(index.Find(&first, u"x"), nullptr);
}

TEST(ChildIndexTest, KeysSurviveTheCallersTextAndRehashing) {
    ChildIndex index;
    int parent = 0;
    std::vector<int> children(5000);
    for (int k = 0; k < 5000; ++k) {
        QString text = QString::number(k);
        index.Add(&parent, text, &children[k]);
        text.fill(u'#');  // the caller's copy changes; the index keeps its own
    }
    for (int k = 0; k < 5000; ++k)
        ASSERT_EQ(index.Find(&parent, QString::number(k)), &children[k]) << k;
    EXPECT_EQ(index.Find(&parent, u"####"), nullptr);
}

}  // namespace
}  // namespace virelon

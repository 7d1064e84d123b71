// The tag tree cache file: its exact form, texts that need escaping, what the reader tolerates,
// what it refuses, and that a failed write leaves the old file alone.
#include <gtest/gtest.h>

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QScrollBar>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <functional>
#include <string>

#include "plugin/ui/tag_tree_cache.h"
#include "tests/plugin/ui/ui_test_support.h"
#include "tests/support/private_registry.h"

namespace virelon {
namespace {

using test::Shape;

QTreeWidgetItem* Node(const QString& text, QTreeWidgetItem* parent = nullptr) {
    auto* item = new QTreeWidgetItem(QStringList{text});
    if (parent)
        parent->addChild(item);
    return item;
}

bool AnyExpanded(QTreeWidget& tree) {
    std::function<bool(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* item) {
        if (item->isExpanded())
            return true;
        for (int k = 0; k < item->childCount(); ++k)
            if (walk(item->child(k)))
                return true;
        return false;
    };
    for (int k = 0; k < tree.topLevelItemCount(); ++k)
        if (walk(tree.topLevelItem(k)))
            return true;
    return false;
}

class TagTreeCacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ = QString::fromStdString(korva::test::MakeTempDirectory("virelon-cache"));
        file_ = directory_ + "/QN1.tmp";
    }
    void TearDown() override { korva::test::RemoveTree(directory_.toStdString()); }

    QByteArray FileBytes() const {
        QFile file(file_);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void WriteFile(const QByteArray& bytes) const {
        QFile file(file_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    bool Save(QTreeWidget& tree, QString* error = nullptr) {
        return SaveTagTree(&tree, file_, document_, error);
    }
    bool Load(QTreeWidget& tree, QString* error = nullptr) {
        return LoadTagTree(&tree, file_, document_, error);
    }

    QString directory_;
    QString file_;
    QDomDocument document_;
};

TEST_F(TagTreeCacheTest, RootOnlyTreeIsOneEmptyItemWithoutWhitespace) {
    QTreeWidget tree;
    tree.addTopLevelItem(Node("Root"));
    ASSERT_TRUE(Save(tree));
    EXPECT_EQ(FileBytes(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
              "<OPCItems app=\"KORVA\"><item text=\"Root\"/></OPCItems>");
    EXPECT_TRUE(document_.documentElement().isNull()) << "the document stays active";
}

TEST_F(TagTreeCacheTest, NestingAndOrderSurviveASaveAndALoad) {
    QTreeWidget tree;
    QTreeWidgetItem* root = Node("Root");
    QTreeWidgetItem* dev = Node("Dev1", root);
    Node("Temp", dev);
    Node("Press", dev);
    Node("Zeta", root);
    Node("Alpha", root);
    tree.addTopLevelItem(root);
    ASSERT_TRUE(Save(tree));
    EXPECT_EQ(FileBytes(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
              "<OPCItems app=\"KORVA\"><item text=\"Root\"><item text=\"Dev1\">"
              "<item text=\"Temp\"/><item text=\"Press\"/></item>"
              "<item text=\"Zeta\"/><item text=\"Alpha\"/></item></OPCItems>");

    QTreeWidget loaded;
    loaded.addTopLevelItem(Node("old tree"));
    ASSERT_TRUE(Load(loaded));
    EXPECT_EQ(Shape(loaded), "Root(Dev1(Temp,Press),Zeta,Alpha)");
    EXPECT_TRUE(document_.documentElement().isNull());
}

TEST_F(TagTreeCacheTest, TextsComeBackUnchanged) {
    const QStringList texts = {"A & B",       "<tag>",     "say \"hi\"",   "it's",     "Grüße",
                               "Ωmega.Δ",     "温度",      "emoji 🌡",   " leading", "trailing ",
                               "two  blanks", "tab\there", "line\nbreak",  "cr\rlf",   "&amp;",
                               "]]>",         "",          "a=\"b\" c='d'"};
    QTreeWidget tree;
    QTreeWidgetItem* root = Node("Root");
    for (const QString& text : texts)
        Node(text, root);
    tree.addTopLevelItem(root);
    ASSERT_TRUE(Save(tree));

    QTreeWidget loaded;
    ASSERT_TRUE(Load(loaded));
    ASSERT_EQ(loaded.topLevelItemCount(), 1);
    QTreeWidgetItem* back = loaded.topLevelItem(0);
    ASSERT_EQ(back->childCount(), texts.size());
    for (int k = 0; k < texts.size(); ++k)
        EXPECT_EQ(back->child(k)->text(0), texts[k]) << texts[k].toStdString();
}

TEST_F(TagTreeCacheTest, ATextXmlCannotCarryFailsAndLeavesTheOldFile) {
    WriteFile("<OPCItems app=\"KORVA\"><item text=\"Old\"/></OPCItems>");
    const QByteArray before = FileBytes();
    for (const QString& bad :
         {QString("bell\a"), QString("nul") + QChar(0), QString("half") + QChar(0xD800),
          QString("nonchar") + QChar(0xFFFF)}) {
        QTreeWidget tree;
        QTreeWidgetItem* root = Node("Root");
        Node("fine", root);
        Node(bad, Node("deep", root));
        tree.addTopLevelItem(root);
        QString error;
        EXPECT_FALSE(Save(tree, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(FileBytes(), before);
    }
}

TEST_F(TagTreeCacheTest, AFileThatCannotBeWrittenIsAnError) {
    QTreeWidget tree;
    tree.addTopLevelItem(Node("Root"));
    QString error;
    EXPECT_FALSE(SaveTagTree(&tree, directory_ + "/missing/QN1.tmp", document_, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(TagTreeCacheTest, SavingReplacesTheFileAndLeavesNothingBeside) {
    WriteFile(QByteArray(100000, 'x'));
    QTreeWidget tree;
    tree.addTopLevelItem(Node("Root"));
    ASSERT_TRUE(Save(tree));
    EXPECT_TRUE(FileBytes().endsWith("<item text=\"Root\"/></OPCItems>"));
    EXPECT_EQ(QDir(directory_).entryList(QDir::Files | QDir::Hidden), QStringList{"QN1.tmp"});
}

TEST_F(TagTreeCacheTest, TheScrollPositionDoesNotMatter) {
    QTreeWidget tree;
    tree.resize(200, 100);
    QTreeWidgetItem* root = Node("Root");
    for (int k = 0; k < 500; ++k)
        Node(QString("Item%1").arg(k), root);
    tree.addTopLevelItem(root);
    tree.expandAll();
    tree.show();
    tree.scrollToTop();
    ASSERT_TRUE(Save(tree));
    const QByteArray atTop = FileBytes();
    tree.scrollToBottom();
    ASSERT_GT(tree.verticalScrollBar()->value(), 0);
    ASSERT_TRUE(Save(tree));
    EXPECT_EQ(FileBytes(), atTop);
}

TEST_F(TagTreeCacheTest, TwoTopLevelItemsGiveTwoTopLevelNodes) {
    WriteFile(
        "<OPCItems app=\"KORVA\"><item text=\"Root\"><item text=\"x\"/></item>"
        "<item text=\"Second\"/></OPCItems>");
    QTreeWidget tree;
    ASSERT_TRUE(Load(tree));
    EXPECT_EQ(Shape(tree), "Root(x) Second");
}

TEST_F(TagTreeCacheTest, WhitespaceBetweenElementsIsIgnored) {
    WriteFile(
        "<?xml version=\"1.0\"?>\r\n<OPCItems app=\"KORVA\">\n  <item text=\"Root\">\n"
        "\t<item text=\"A\" />\n    <item text=\"B\">\n      <item text=\"C\"/>\n"
        "    </item>\n  </item>\n</OPCItems>\n");
    QTreeWidget tree;
    ASSERT_TRUE(Load(tree));
    EXPECT_EQ(Shape(tree), "Root(A,B(C))");
}

TEST_F(TagTreeCacheTest, ReaderLooksOnlyAtElementsAndTheirTextAttribute) {
    // Other element names, another app, a missing text, comments and stray text.
    WriteFile(
        "<Other app=\"elsewhere\"><!-- note --><node text=\"N\" extra=\"1\">stray"
        "<item/><?pi data?></node><item text=\"&#x41;&amp;&lt;\"/></Other>");
    QTreeWidget tree;
    ASSERT_TRUE(Load(tree));
    EXPECT_EQ(Shape(tree), "N() A&<");
}

TEST_F(TagTreeCacheTest, AllNodesAreCollapsedAfterALoad) {
    QTreeWidget tree;
    QTreeWidgetItem* root = Node("Root");
    for (int k = 0; k < 5; ++k)
        Node(QString("Flat.%1").arg(k), Node(QString("B%1").arg(k), root));
    tree.addTopLevelItem(root);
    tree.expandAll();
    ASSERT_TRUE(AnyExpanded(tree));
    ASSERT_TRUE(Save(tree));
    ASSERT_TRUE(Load(tree));
    EXPECT_EQ(tree.topLevelItem(0)->childCount(), 5);
    EXPECT_FALSE(AnyExpanded(tree));
}

TEST_F(TagTreeCacheTest, DamagedFilesLeaveTheTreeEmpty) {
    const QByteArray damaged[] = {
        "",
        "not xml at all",
        "<OPCItems app=\"KORVA\"><item text=\"Root\">",             // cut short
        "<OPCItems app=\"KORVA\"><item text=\"Root\"></OPCItems>",  // mismatched
        "<OPCItems><item text=\"a\"/></OPCItems><second/>",         // two document elements
        "<OPCItems><item text=\"&bogus;\"/></OPCItems>",            // unknown entity
        "\xff\xfe\x00<\x00",                                        // junk bytes
    };
    for (const QByteArray& bytes : damaged) {
        WriteFile(bytes);
        QTreeWidget tree;
        tree.addTopLevelItem(Node("previous"));
        QString error;
        EXPECT_FALSE(Load(tree, &error)) << bytes.toStdString();
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(tree.topLevelItemCount(), 0) << bytes.toStdString();
        EXPECT_TRUE(document_.documentElement().isNull());
    }
}

TEST_F(TagTreeCacheTest, AMissingFileOrADirectoryIsNoTree) {
    QTreeWidget tree;
    tree.addTopLevelItem(Node("previous"));
    EXPECT_FALSE(Load(tree));
    EXPECT_EQ(tree.topLevelItemCount(), 0);
    ASSERT_TRUE(QDir(directory_).mkdir("QN1.tmp"));
    EXPECT_FALSE(Load(tree));
}

TEST_F(TagTreeCacheTest, ADeepTreeRoundTrips) {
    constexpr int kDepth = 3000;
    QTreeWidget tree;
    QTreeWidgetItem* root = Node("Root");
    QTreeWidgetItem* node = root;
    for (int k = 0; k < kDepth; ++k)
        node = Node("d", node);
    tree.addTopLevelItem(root);
    ASSERT_TRUE(Save(tree));

    QTreeWidget loaded;
    ASSERT_TRUE(Load(loaded));
    int depth = 0;
    for (QTreeWidgetItem* at = loaded.topLevelItem(0); at->childCount() > 0; at = at->child(0))
        ++depth;
    EXPECT_EQ(depth, kDepth);
}

TEST_F(TagTreeCacheTest, WriteTagNodeOfNullWritesNothing) {
    QDomDocument document;
    QDomElement parent = document.createElement("OPCItems");
    document.appendChild(parent);
    WriteTagNode(nullptr, parent);
    EXPECT_FALSE(parent.hasChildNodes());
    EXPECT_EQ(ReadTagNode(QDomNode(), nullptr), nullptr);
    EXPECT_EQ(ReadTagNode(document.createTextNode("text"), nullptr), nullptr);
}

}  // namespace
}  // namespace virelon

// The block's parameter dialog driven as the host opens it (CallParameterDialogDLL's work),
// against the fault-injecting OPC server and the simulation server: what it shows, what the
// handlers do, and what OK and Cancel leave in the instance, the cache and the host's record.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "components/ui/qncomps.h"
#include "host/block_abi.h"
#include "opc/ui/server_selection_dialog.h"
#include "platform/com/com.h"
#include "platform/text/text.h"
#include "plugin/block.h"
#include "plugin/parameter_dialog.h"
#include "plugin/ui/virelon_add_item_dialog.h"
#include "plugin/ui/virelon_dialog.h"
#include "tests/fixtures/opc/fault_server.h"
#include "tests/plugin/ui/ui_test_support.h"
#include "tests/support/private_registry.h"
#include "tests/support/test_servers.h"

namespace virelon {
namespace {

using korva::abi::THostBlock;
using korva::abi::THostIOInfo;
using test::MessageBoxes;
using test::Shape;
using test::WhenModal;

constexpr char kFaultServer[] = OPC_FAULT_SERVER_VI_PROGID;
constexpr uint8_t kUntouched = 0xA5;  // the host record's bytes before the call

// The node reached by following `path` from the top-level nodes, or null.
QTreeWidgetItem* NodeAt(QTreeWidget* tree, const QStringList& path) {
    QTreeWidgetItem* node = nullptr;
    for (const QString& text : path) {
        QTreeWidgetItem* next = nullptr;
        const int count = node ? node->childCount() : tree->topLevelItemCount();
        for (int k = 0; k < count && !next; ++k) {
            QTreeWidgetItem* candidate = node ? node->child(k) : tree->topLevelItem(k);
            if (candidate->text(0) == text)
                next = candidate;
        }
        if (!next)
            return nullptr;
        node = next;
    }
    return node;
}

QStringList Entries(const QListWidget* list) {
    QStringList entries;
    for (int k = 0; k < list->count(); ++k)
        entries.append(list->item(k)->text());
    return entries;
}

class ParameterDialogTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        registry_ = new korva::test::PrivateRegistry;
        runtime_ = korva::test::MakeTempDirectory("virelon-ui-runtime");
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        ASSERT_EQ(korva::test::RegisterFaultServer(), S_OK);
        ASSERT_EQ(korva::test::RegisterSimulationServer(), S_OK);
        ASSERT_EQ(korva::test::RegisterServerListComponent(), S_OK);
        ASSERT_TRUE(Fault().loaded);
    }
    static void TearDownTestSuite() {
        delete registry_;
        registry_ = nullptr;
        korva::test::RemoveTree(runtime_);
    }
    static const OpcFaultApi& Fault() { return OpcFaultApi::Get(); }

    void SetUp() override {
        Fault().Reset();
        SetOwnerWindow(0);
        block_ = std::make_unique<THostBlock>();
        std::memset(block_.get(), 0, sizeof(THostBlock));
        data_ = CreateInstance();
        block_->Instance = data_;
        ASSERT_FALSE(data_->TagTreeFile.empty());
        cacheFile_ = QString::fromStdU16String(data_->TagTreeFile);
        ASSERT_TRUE(cacheFile_.startsWith(QString::fromStdString(runtime_)));
        QFile::remove(cacheFile_);
        std::memset(&io_, kUntouched, sizeof io_);
    }
    void TearDown() override {
        DisposeInstance(data_);
        Fault().Reset();
    }

    // The fault server's address space: these identifiers, in this order.
    void ServeItems(const std::vector<std::string>& ids, uint32_t organization = 0,
                    uint32_t refuse = 0) {
        std::vector<OpcFaultItem> items;
        for (const std::string& id : ids)
            items.push_back(OpcFaultItem{id.c_str(), VT_I4, "1", 0, 0, 0, 0, 0});
        OpcFaultConfig config{};
        config.items = items.data();
        config.itemCount = static_cast<uint32_t>(items.size());
        config.organization = organization;
        config.refuse = refuse;
        ASSERT_EQ(Fault().Configure(&config), S_OK);
    }
    void UseServer(const char16_t* server, const char16_t* machine = u"") {
        data_->Server = server;
        data_->Machine = machine;
    }
    void SetItems(const std::vector<std::string>& ids) {
        data_->Count = static_cast<int32_t>(ids.size());
        for (size_t k = 0; k < ids.size(); ++k)
            data_->ItemIDs[k] = ids[k];
    }
    // Opens the dialog as the host does, with `action` run on it once it is shown.
    void Open(std::function<void(TOPCClientDialog*)> action) {
        WhenModal<TOPCClientDialog>(std::move(action));
        ShowParameterDialog(*block_, &io_);
    }
    // Opens the dialog, lets `action` work on it and closes it with OK or Cancel.
    void OpenAndClose(std::function<void(TOPCClientDialog*)> action, bool ok) {
        Open([&](TOPCClientDialog* dialog) {
            action(dialog);
            (ok ? dialog->OKBtn : dialog->CancelBtn)->click();
        });
    }
    uint32_t Connections() const {
        OpcFaultStats stats{};
        Fault().GetStats(&stats);
        return stats.calls[OPC_FAULT_CREATE_SERVER];
    }
    QByteArray CacheBytes() const {
        QFile file(cacheFile_);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    std::string OutputName(int k) const { return io_.OutputNames[k]; }

    static korva::test::PrivateRegistry* registry_;
    static std::string runtime_;
    std::unique_ptr<THostBlock> block_;
    TVirelonData* data_ = nullptr;
    THostIOInfo io_{};
    QString cacheFile_;
};
korva::test::PrivateRegistry* ParameterDialogTest::registry_ = nullptr;
std::string ParameterDialogTest::runtime_;

TEST_F(ParameterDialogTest, OpensWithTheFormsControlsFilledFromTheInstance) {
    UseServer(u"" OPC_FAULT_SERVER_CLSID, u"plant-7");
    SetItems({"A.x", "B.y", "C.z"});
    data_->WriteLogFile = 2;  // any value but 0 is on
    data_->CheckServerState = 1;
    data_->DelayMode = 1;
    data_->DelayTime = 250;
    data_->GroupUpdateRate = 40;
    bool shown = false;
    OpenAndClose(
        [&](TOPCClientDialog* d) {
            shown = true;
            EXPECT_EQ(d->windowTitle(), "OPC Client");
            EXPECT_EQ(d->size(), QSize(534, 505));
            EXPECT_TRUE(d->windowFlags() & Qt::WindowStaysOnTopHint);
            EXPECT_EQ(d->MachineEdit->text(), "plant-7");
            EXPECT_EQ(d->ServerEdit->text(), OPC_FAULT_SERVER_CLSID);
            EXPECT_TRUE(d->MachineEdit->isReadOnly());
            EXPECT_TRUE(d->ServerEdit->isReadOnly());
            EXPECT_FALSE(d->TypeComboBox->isEnabled());
            EXPECT_EQ(d->TypeComboBox->count(), 13);
            EXPECT_TRUE(d->LogFileCB->isChecked());
            EXPECT_TRUE(d->CheckStateCB->isChecked());
            EXPECT_FALSE(d->UseTriggerInputCB->isChecked());
            EXPECT_TRUE(d->UseTriggerInputCB->isEnabled());
            EXPECT_FALSE(d->DelayRB1->isChecked());
            EXPECT_TRUE(d->DelayRB2->isChecked());
            EXPECT_EQ(d->DelayTimeEdit->text(), "250");
            EXPECT_EQ(d->GroupUpdateRateEdit->text(), "40");
            EXPECT_EQ(Entries(d->ListBox1), (QStringList{"A.x", "B.y", "C.z"}));
            EXPECT_EQ(d->TreeView1->topLevelItemCount(), 0);  // no cache, no browse
            EXPECT_FALSE(d->ProgressBar->isVisible());
            EXPECT_EQ(d->FNamespaceType, 0);
            EXPECT_EQ(d->GroupBox4->title(), "Data type && log file");
            EXPECT_EQ(d->SearchButton->text(), "&Search...");
            EXPECT_EQ(d->AddButton->geometry(), QRect(440, 211, 85, 23));
            EXPECT_EQ(d->OKBtn->geometry(), QRect(280, 474, 75, 23));
            EXPECT_TRUE(d->OKBtn->isDefault());
        },
        false);
    EXPECT_TRUE(shown);
    EXPECT_EQ(Connections(), 0u) << "the dialog never browses on opening";
}

TEST_F(ParameterDialogTest, OkWithoutChangesDescribesTheOutputsAndStoresTheFields) {
    UseServer(u"Some.Server");
    SetItems({"A.x", "B.y", "C.z"});
    data_->WriteLogFile = 2;
    data_->DelayTime = 250;
    OpenAndClose([](TOPCClientDialog*) {}, true);
    EXPECT_EQ(data_->Count, 3);
    EXPECT_EQ(io_.OutputCount, 3);
    EXPECT_EQ(io_.InputCount, kUntouched);
    EXPECT_EQ(OutputName(0), "A.x");
    EXPECT_EQ(OutputName(1), "B.y");
    EXPECT_EQ(OutputName(2), "C.z");
    EXPECT_EQ(static_cast<uint8_t>(io_.OutputNames[3][0]), kUntouched);
    EXPECT_EQ(static_cast<uint8_t>(io_.Reserved[0]), kUntouched);
    EXPECT_EQ(data_->WriteLogFile, 1);  // the check box stores on as 1
    EXPECT_EQ(data_->Server, u"Some.Server");
    EXPECT_EQ(data_->DelayMode, 0);
    EXPECT_EQ(data_->DelayTime, 250);
    EXPECT_FALSE(QFile::exists(cacheFile_)) << "an empty tree writes no cache";
}

TEST_F(ParameterDialogTest, CancelAfterChangesLeavesEverythingAsItWas) {
    ServeItems({"Dev1.Temp"});
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    SetItems({"A.x", "B.y"});
    data_->ItemIDs[2] = "beyond";
    {
        QFile file(cacheFile_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "<OPCItems app=\"KORVA\"><item text=\"Root\"><item text=\"Old\"/></item>"
            "</OPCItems>");
    }
    const QByteArray cacheBefore = CacheBytes();
    THostIOInfo ioBefore;
    std::memcpy(&ioBefore, &io_, sizeof io_);

    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->UpdateButton->click();
            d->TreeView1->setCurrentItem(NodeAt(d->TreeView1, {"Root", "Dev1", "Temp"}));
            d->AddButton->click();
            d->RemoveAllButton->click();
            d->LogFileCB->setChecked(true);
            d->DelayRB2->setChecked(true);
            d->DelayTimeEdit->setText("999");
        },
        false);
    EXPECT_EQ(data_->Count, 2);
    EXPECT_EQ(data_->ItemIDs[0], "A.x");
    EXPECT_EQ(data_->ItemIDs[1], "B.y");
    EXPECT_EQ(data_->ItemIDs[2], "beyond");
    EXPECT_EQ(data_->WriteLogFile, 0);
    EXPECT_EQ(data_->DelayMode, 0);
    EXPECT_EQ(data_->DelayTime, 100);
    EXPECT_EQ(CacheBytes(), cacheBefore);
    EXPECT_EQ(std::memcmp(&ioBefore, &io_, sizeof io_), 0);
}

TEST_F(ParameterDialogTest, EscapeIsCancel) {
    SetItems({"A.x"});
    Open([](TOPCClientDialog* d) {
        d->ListBox1->clear();
        QTest::keyClick(d, Qt::Key_Escape);
    });
    EXPECT_EQ(data_->Count, 1);
    EXPECT_EQ(io_.OutputCount, kUntouched);
}

TEST_F(ParameterDialogTest, HierarchicalTreeAndWhatCanBeAdded) {
    ServeItems({"Dev1.Temp", "Dev1.Press"});
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->UpdateButton->click();
            EXPECT_EQ(Shape(*d->TreeView1), "Root(Dev1(Temp,Press))");
            EXPECT_EQ(d->FNamespaceType, 1);
            EXPECT_FALSE(d->TreeView1->topLevelItem(0)->isExpanded()) << "collapsed to Root";
            EXPECT_FALSE(d->ProgressBar->isVisible());
            EXPECT_EQ(d->ProgressBar->maximum(), 2);
            EXPECT_EQ(d->ProgressBar->value(), 2);

            d->AddButton->click();  // nothing selected
            d->TreeView1->setCurrentItem(NodeAt(d->TreeView1, {"Root"}));
            d->AddButton->click();
            d->TreeView1->setCurrentItem(NodeAt(d->TreeView1, {"Root", "Dev1"}));
            d->AddButton->click();
            EXPECT_EQ(d->ListBox1->count(), 0);

            d->TreeView1->setCurrentItem(NodeAt(d->TreeView1, {"Root", "Dev1", "Temp"}));
            d->AddButton->click();
            d->AddButton->click();  // no duplicate check: two outputs of one item
            d->TreeView1->setCurrentItem(NodeAt(d->TreeView1, {"Root", "Dev1", "Press"}));
            d->TreeView1DblClick();
            EXPECT_EQ(Entries(d->ListBox1), (QStringList{"Dev1.Temp", "Dev1.Temp", "Dev1.Press"}));
        },
        true);
    ASSERT_EQ(data_->Count, 3);
    EXPECT_EQ(data_->ItemIDs[2], "Dev1.Press");
    EXPECT_EQ(io_.OutputCount, 3);
    EXPECT_EQ(CacheBytes(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
              "<OPCItems app=\"KORVA\"><item text=\"Root\"><item text=\"Dev1\">"
              "<item text=\"Temp\"/><item text=\"Press\"/></item></item>"
              "</OPCItems>");
}

TEST_F(ParameterDialogTest, DoubleClickOnALeafAddsIt) {
    ServeItems({"Dev1.Temp"});
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->UpdateButton->click();
            QTreeWidgetItem* temp = NodeAt(d->TreeView1, {"Root", "Dev1", "Temp"});
            d->TreeView1->expandAll();
            QWidget* viewport = d->TreeView1->viewport();
            const QPoint at = d->TreeView1->visualItemRect(temp).center();
            QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
            EXPECT_EQ(Entries(d->ListBox1), QStringList{"Dev1.Temp"});
        },
        false);
}

struct TreeCase {
    const char* name;
    std::vector<std::string> ids;
    uint32_t organization;  // the fault server's answer to QueryOrganization (0: hierarchical)
    QString shape;
    QStringList leaf;  // the node added
    QString added;     // what the list receives ("" : nothing)
};

class TreeShapeTest : public ParameterDialogTest, public ::testing::WithParamInterface<TreeCase> {};

TEST_P(TreeShapeTest, BuildsTheTreeAndAddsTheNode) {
    const TreeCase& c = GetParam();
    ServeItems(c.ids, c.organization);
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    OpenAndClose(
        [&](TOPCClientDialog* d) {
            d->UpdateButton->click();
            EXPECT_EQ(Shape(*d->TreeView1), c.shape);
            QTreeWidgetItem* node = NodeAt(d->TreeView1, c.leaf);
            ASSERT_NE(node, nullptr);
            d->TreeView1->setCurrentItem(node);
            d->AddButton->click();
            EXPECT_EQ(Entries(d->ListBox1),
                      c.added.isNull() ? QStringList{} : QStringList{c.added});
        },
        false);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, TreeShapeTest,
    ::testing::Values(
        // B gets the child C: A.B is no leaf any more and can only be typed in.
        TreeCase{"BranchThatIsAlsoAnItem",
                 {"A.B", "A.B.C"},
                 0,
                 "Root(A(B(C)))",
                 {"Root", "A", "B"},
                 QString()},
        TreeCase{
            "ItsChild", {"A.B", "A.B.C"}, 0, "Root(A(B(C)))", {"Root", "A", "B", "C"}, "A.B.C"},
        // A trailing dot adds no segment: the node Tag, added without the dot.
        TreeCase{"TrailingDot", {"Tag."}, 0, "Root(Tag)", {"Root", "Tag"}, "Tag"},
        // Two dots in a row: an empty node, and the identifier comes back as it was.
        TreeCase{"DoubleDot", {"A..B"}, 0, "Root(A((B)))", {"Root", "A", "", "B"}, "A..B"},
        TreeCase{"CaseSensitive",
                 {"dev.x", "Dev.x"},
                 0,
                 "Root(dev(x),Dev(x))",
                 {"Root", "Dev", "x"},
                 "Dev.x"},
        // A flat address space: each identifier one child of Root, added with its full text.
        TreeCase{"FlatWithDots",
                 {"Plant.Line1.Temp", "Plant.Line1.Temp", "Tag."},
                 2,
                 "Root(Plant.Line1.Temp,Plant.Line1.Temp,Tag.)",
                 {"Root", "Tag."},
                 "Tag."},
        TreeCase{"FlatRootAddsNothing", {"X.Y"}, 2, "Root(X.Y)", {"Root"}, QString()},
        // Any organisation other than flat is taken as hierarchical.
        TreeCase{"UnknownOrganisation", {"P.Q"}, 7, "Root(P(Q))", {"Root", "P", "Q"}, "P.Q"}),
    [](const ::testing::TestParamInfo<TreeCase>& info) { return std::string(info.param.name); });

TEST_F(ParameterDialogTest, FlatTreeIsExpanded) {
    ServeItems({"a.b", "c.d"}, 2);
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->UpdateButton->click();
            EXPECT_EQ(d->FNamespaceType, 2);
            EXPECT_TRUE(d->TreeView1->topLevelItem(0)->isExpanded());
        },
        false);
}

TEST_F(ParameterDialogTest, SimulationServersBothOrganisations) {
    UseServer(u"OPCSim.Server");
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->UpdateButton->click();
            EXPECT_EQ(d->FNamespaceType, 1);
            QTreeWidgetItem* sine = NodeAt(d->TreeView1, {"Root", "Signals", "Sine"});
            ASSERT_NE(sine, nullptr);
            EXPECT_NE(NodeAt(d->TreeView1, {"Root", "Registers", "BSTR"}), nullptr);
            d->TreeView1->setCurrentItem(sine);
            d->AddButton->click();
            EXPECT_EQ(Entries(d->ListBox1), QStringList{"Signals.Sine"});
        },
        true);
    EXPECT_EQ(data_->ItemIDs[0], "Signals.Sine");

    UseServer(u"OPCSim.FlatServer.1");
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->UpdateButton->click();
            EXPECT_EQ(d->FNamespaceType, 2);
            QTreeWidgetItem* temperature =
                NodeAt(d->TreeView1, {"Root", "Plant.Line1.Temperature"});
            ASSERT_NE(temperature, nullptr);
            EXPECT_NE(NodeAt(d->TreeView1, {"Root", "Tag."}), nullptr);
            d->TreeView1->setCurrentItem(temperature);
            d->AddButton->click();
        },
        true);
    EXPECT_EQ(data_->Count, 2);
    EXPECT_EQ(data_->ItemIDs[1], "Plant.Line1.Temperature");
}

TEST_F(ParameterDialogTest, ReopeningShowsTheCachedTreeTreatedAsHierarchical) {
    ServeItems({"Dev1.Temp", "Dev1.Press", "Flat.Name.With.Dots"}, 2);
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    OpenAndClose([](TOPCClientDialog* d) { d->UpdateButton->click(); }, true);
    const uint32_t connections = Connections();

    // The flat tree comes back from the cache, collapsed, and without the organisation: its
    // level-1 leaves are added by their text, and so would be dotted paths of deeper nodes.
    OpenAndClose(
        [](TOPCClientDialog* d) {
            EXPECT_EQ(Shape(*d->TreeView1), "Root(Dev1.Temp,Dev1.Press,Flat.Name.With.Dots)");
            EXPECT_FALSE(d->TreeView1->topLevelItem(0)->isExpanded());
            EXPECT_EQ(d->FNamespaceType, 0);
            d->TreeView1->setCurrentItem(NodeAt(d->TreeView1, {"Root", "Flat.Name.With.Dots"}));
            d->AddButton->click();
            EXPECT_EQ(Entries(d->ListBox1), QStringList{"Flat.Name.With.Dots"});
        },
        true);
    EXPECT_EQ(Connections(), connections) << "the cached tree needs no server";

    ServeItems({"A.B.C"});
    OpenAndClose([](TOPCClientDialog* d) { d->UpdateButton->click(); }, true);
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->TreeView1->setCurrentItem(NodeAt(d->TreeView1, {"Root", "A", "B"}));
            d->AddButton->click();  // a branch
            d->TreeView1->setCurrentItem(NodeAt(d->TreeView1, {"Root", "A", "B", "C"}));
            d->AddButton->click();
            EXPECT_EQ(Entries(d->ListBox1), (QStringList{"Flat.Name.With.Dots", "A.B.C"}));
        },
        false);
}

TEST_F(ParameterDialogTest, AnotherBlockShowsTheTreeTheFirstOneSaved) {
    ServeItems({"Shared.Tag"});
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    OpenAndClose([](TOPCClientDialog* d) { d->UpdateButton->click(); }, true);

    THostBlock other{};
    TVirelonData* second = CreateInstance();
    other.Instance = second;
    EXPECT_EQ(second->TagTreeFile, data_->TagTreeFile);
    QString shape;
    WhenModal<TOPCClientDialog>([&](TOPCClientDialog* d) {
        shape = Shape(*d->TreeView1);
        d->CancelBtn->click();
    });
    ShowParameterDialog(other, &io_);
    EXPECT_EQ(shape, "Root(Shared(Tag))");
    delete second;  // not DisposeInstance: the file stays for the first block
}

TEST_F(ParameterDialogTest, OkWithAnEmptyTreeLeavesTheOldCache) {
    ServeItems({"Kept.Item"});
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    OpenAndClose([](TOPCClientDialog* d) { d->UpdateButton->click(); }, true);
    const QByteArray saved = CacheBytes();
    ASSERT_FALSE(saved.isEmpty());

    MessageBoxes boxes;
    UseServer(u"No.Such.Server");
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->UpdateButton->click();  // fails: the tree is emptied
            EXPECT_EQ(d->TreeView1->topLevelItemCount(), 0);
        },
        true);
    EXPECT_EQ(CacheBytes(), saved);
    OpenAndClose([](TOPCClientDialog* d) { EXPECT_EQ(Shape(*d->TreeView1), "Root(Kept(Item))"); },
                 false);
}

TEST_F(ParameterDialogTest, FailedConnectionWarnsAndLeavesTheTreeEmptyAndTheListAlone) {
    ServeItems({"Dev1.Temp"});
    SetItems({"Keep.Me"});
    struct Failure {
        const char16_t* server;
        uint32_t refuse;
        int32_t createResult;
    };
    const Failure failures[] = {
        {u"No.Such.Server", 0, 0},
        {u"{not-a-class-id", 0, 0},
        {u"" OPC_FAULT_SERVER_VI_PROGID, OPC_FAULT_REFUSE_SERVER, 0},
        {u"" OPC_FAULT_SERVER_VI_PROGID, 0, static_cast<int32_t>(E_OUTOFMEMORY)},
    };
    for (const Failure& failure : failures) {
        OpcFaultConfig config{};
        config.refuse = failure.refuse;
        config.calls[OPC_FAULT_CREATE_SERVER].result = failure.createResult;
        ASSERT_EQ(Fault().Configure(&config), S_OK);
        UseServer(failure.server);
        MessageBoxes boxes;
        OpenAndClose(
            [&](TOPCClientDialog* d) {
                d->TreeView1->addTopLevelItem(new QTreeWidgetItem(QStringList{"before"}));
                d->UpdateButton->click();
                EXPECT_EQ(d->TreeView1->topLevelItemCount(), 0);
                EXPECT_EQ(Entries(d->ListBox1), QStringList{"Keep.Me"});
                EXPECT_FALSE(d->ProgressBar->isVisible());
                ASSERT_EQ(boxes.shown.size(), 1u);
                EXPECT_EQ(boxes.shown[0].text,
                          "Could not connect to " + QString::fromStdU16String(failure.server));
                EXPECT_EQ(boxes.shown[0].caption, "Error");
                EXPECT_EQ(boxes.shown[0].flags, 0x30u);
                EXPECT_EQ(boxes.shown[0].owner.data(), static_cast<QWidget*>(d));
            },
            false);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass is gone";
    }
}

TEST_F(ParameterDialogTest, ServerWithoutBrowsingGivesOnlyRoot) {
    OpcFaultConfig config{};
    config.refuse = OPC_FAULT_REFUSE_BROWSE;
    ASSERT_EQ(Fault().Configure(&config), S_OK);
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    MessageBoxes boxes;
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->UpdateButton->click();
            EXPECT_EQ(Shape(*d->TreeView1), "Root");
            EXPECT_EQ(d->FNamespaceType, 0) << "left as it was";
        },
        true);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(CacheBytes(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
              "<OPCItems app=\"KORVA\"><item text=\"Root\"/></OPCItems>");
}

TEST_F(ParameterDialogTest, BrowseThatFailsPartWayKeepsWhatWasRead) {
    OpcFaultConfig config{};
    std::vector<OpcFaultItem> items = {{"a.one", VT_I4, "1", 0, 0, 0, 0, 0},
                                       {"a.two", VT_I4, "1", 0, 0, 0, 0, 0},
                                       {"b.three", VT_I4, "1", 0, 0, 0, 0, 0}};
    config.items = items.data();
    config.itemCount = 3;
    config.browseEnum.mode = OPC_FAULT_ENUM_FAIL_AFTER;
    config.browseEnum.failAfter = 2;
    ASSERT_EQ(Fault().Configure(&config), S_OK);
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->UpdateButton->click();
            EXPECT_EQ(Shape(*d->TreeView1), "Root(a(one,two))");
        },
        false);
}

TEST_F(ParameterDialogTest, FiftyItemsAtMost) {
    std::vector<std::string> fifty;
    for (int k = 1; k <= 50; ++k)
        fifty.push_back("Item." + std::to_string(k));
    SetItems(fifty);
    ServeItems({"Dev.More"});
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->UpdateButton->click();
            d->TreeView1->setCurrentItem(NodeAt(d->TreeView1, {"Root", "Dev", "More"}));
            test::ModalCounter<TVirelonAddItemDialog> typed;
            d->AddButton->click();
            d->TreeView1DblClick();
            d->AddButton2->click();  // opens no dialog
            EXPECT_EQ(typed.opened, 0);
            EXPECT_EQ(d->ListBox1->count(), 50);

            d->ListBox1->setCurrentRow(49);
            d->RemoveButton->click();
            d->AddButton->click();
            d->AddButton->click();
            EXPECT_EQ(d->ListBox1->count(), 50);
            EXPECT_EQ(d->ListBox1->item(49)->text(), "Dev.More");
        },
        true);
    EXPECT_EQ(data_->Count, 50);
    EXPECT_EQ(data_->ItemIDs[49], "Dev.More");
    EXPECT_EQ(io_.OutputCount, 50);
}

TEST_F(ParameterDialogTest, TypedItemsAreTakenAsTyped) {
    SetItems({"First"});
    OpenAndClose(
        [](TOPCClientDialog* d) {
            const QString typed[] = {"  spaced.Item ", "", "Grüße.Wert"};
            for (const QString& text : typed) {
                WhenModal<TVirelonAddItemDialog>([&](TVirelonAddItemDialog* add) {
                    EXPECT_EQ(add->windowTitle(), "Add item");
                    EXPECT_EQ(add->size(), QSize(313, 113));
                    EXPECT_TRUE(add->NameEdit->text().isEmpty());
                    EXPECT_EQ(add->parentWidget(), d);
                    add->NameEdit->setText(text);
                    add->OKBtn->click();
                });
                d->AddButton2->click();
            }
            WhenModal<TVirelonAddItemDialog>([](TVirelonAddItemDialog* add) {
                add->NameEdit->setText("cancelled");
                add->CancelBtn->click();
            });
            d->AddButton2->click();
            WhenModal<TVirelonAddItemDialog>([](TVirelonAddItemDialog* add) {
                add->NameEdit->setText("escaped");
                QTest::keyClick(add, Qt::Key_Escape);
            });
            d->AddButton2->click();
            EXPECT_EQ(Entries(d->ListBox1),
                      (QStringList{"First", "  spaced.Item ", "", "Grüße.Wert"}));
        },
        true);
    ASSERT_EQ(data_->Count, 4);
    EXPECT_EQ(data_->ItemIDs[2], "");
    EXPECT_EQ(data_->ItemIDs[3], Utf8ToAnsi("Grüße.Wert"));  // stored in the system code page
    EXPECT_EQ(data_->ItemIDs[3],
              "Gr\xFC\xDF"
              "e.Wert");
    EXPECT_EQ(OutputName(3),
              "Gr\xFC\xDF"
              "e.Wert");
}

TEST_F(ParameterDialogTest, AnsiItemsAreShownConverted) {
    SetItems(
        {"Temp \xB0"
         "C"});  // the degree sign in Windows-1252
    OpenAndClose([](TOPCClientDialog* d) { EXPECT_EQ(d->ListBox1->item(0)->text(), "Temp °C"); },
                 true);
    EXPECT_EQ(data_->ItemIDs[0],
              "Temp \xB0"
              "C");
}

TEST_F(ParameterDialogTest, LongIdentifierIsStoredWholeAndNamedByItsFirst40Characters) {
    const std::string id = "Plant.Area51.Line7.Unit3.Sensor.Temperature12";
    ASSERT_EQ(id.size(), 45u);
    SetItems({id});
    OpenAndClose([](TOPCClientDialog*) {}, true);
    EXPECT_EQ(data_->ItemIDs[0], id);
    EXPECT_EQ(OutputName(0), id.substr(0, 40));
    EXPECT_EQ(io_.OutputNames[0][40], '\0');
}

struct MoveCase {
    const char* name;
    QStringList list;
    int selected;  // -1: none
    bool up;
    QStringList after;
    int selectedAfter;
};

class MoveTest : public ParameterDialogTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(MoveTest, ExchangesWithTheNeighbourAndFollowsIt) {
    const MoveCase& c = GetParam();
    OpenAndClose(
        [&](TOPCClientDialog* d) {
            d->ListBox1->addItems(c.list);
            d->ListBox1->clearSelection();
            if (c.selected >= 0)
                d->ListBox1->setCurrentRow(c.selected);
            (c.up ? d->UpButton : d->DownButton)->click();
            EXPECT_EQ(Entries(d->ListBox1), c.after);
            EXPECT_EQ(d->SelectedIndex(), c.selectedAfter);
        },
        false);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, MoveTest,
    ::testing::Values(MoveCase{"UpOnFirst", {"a", "b", "c"}, 0, true, {"a", "b", "c"}, 0},
                      MoveCase{"DownOnLast", {"a", "b", "c"}, 2, false, {"a", "b", "c"}, 2},
                      MoveCase{"UpWithoutSelection", {"a", "b"}, -1, true, {"a", "b"}, -1},
                      MoveCase{"DownWithoutSelection", {"a", "b"}, -1, false, {"a", "b"}, -1},
                      MoveCase{"UpOnSingle", {"a"}, 0, true, {"a"}, 0},
                      MoveCase{"DownOnSingle", {"a"}, 0, false, {"a"}, 0},
                      MoveCase{"Up", {"a", "b", "c"}, 2, true, {"a", "c", "b"}, 1},
                      MoveCase{"Down", {"a", "b", "c"}, 0, false, {"b", "a", "c"}, 1}),
    [](const ::testing::TestParamInfo<MoveCase>& info) { return std::string(info.param.name); });

TEST_F(ParameterDialogTest, RemoveDeletesTheSelectedEntryOnly) {
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->ListBox1->addItems({"a", "b", "c"});
            d->ListBox1->clearSelection();
            d->RemoveButton->click();
            EXPECT_EQ(d->ListBox1->count(), 3);
            d->ListBox1->setCurrentRow(1);
            d->RemoveButton->click();
            EXPECT_EQ(Entries(d->ListBox1), (QStringList{"a", "c"}));
            EXPECT_EQ(d->SelectedIndex(), -1);
            d->RemoveButton->click();
            EXPECT_EQ(d->ListBox1->count(), 2);
            d->RemoveAllButton->click();
            EXPECT_EQ(d->ListBox1->count(), 0);
        },
        true);
    EXPECT_EQ(data_->Count, 0);
    EXPECT_EQ(io_.OutputCount, 0);
}

struct DelayCase {
    int32_t stored;
    bool rb1, rb2;
    int32_t afterOk;
};

class DelayModeTest : public ParameterDialogTest,
                      public ::testing::WithParamInterface<DelayCase> {};

TEST_P(DelayModeTest, RadioButtonsShowAndStoreTheMode) {
    const DelayCase& c = GetParam();
    data_->DelayMode = c.stored;
    OpenAndClose(
        [&](TOPCClientDialog* d) {
            EXPECT_EQ(d->DelayRB1->isChecked(), c.rb1);
            EXPECT_EQ(d->DelayRB2->isChecked(), c.rb2);
        },
        true);
    EXPECT_EQ(data_->DelayMode, c.afterOk);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, DelayModeTest,
    ::testing::Values(DelayCase{0, true, false, 0}, DelayCase{1, false, true, 1},
                      DelayCase{2, false, false, 0}, DelayCase{-1, false, false, 0}),
    [](const ::testing::TestParamInfo<DelayCase>& info) {
        const int32_t mode = info.param.stored;
        return "Stored" + (mode < 0 ? "Minus" + std::to_string(-mode) : std::to_string(mode));
    });

TEST_F(ParameterDialogTest, MillisecondFieldsTakeWhatWasTyped) {
    data_->DelayTime = 100;
    data_->GroupUpdateRate = 500;
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->DelayRB2->click();
            d->DelayTimeEdit->setText("-20");
            d->GroupUpdateRateEdit->setText("-1000");
        },
        true);
    EXPECT_EQ(data_->DelayMode, 1);
    EXPECT_EQ(data_->DelayTime, -20);
    EXPECT_EQ(data_->GroupUpdateRate, -1000);

    // A text that is no number leaves the previous value.
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->DelayTimeEdit->setText("-");
            d->GroupUpdateRateEdit->setText("");
        },
        true);
    EXPECT_EQ(data_->DelayTime, -20);
    EXPECT_EQ(data_->GroupUpdateRate, -1000);
}

TEST_F(ParameterDialogTest, OptionsAreStoredOnOk) {
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->LogFileCB->click();
            d->CheckStateCB->click();
            d->UseTriggerInputCB->click();
        },
        true);
    EXPECT_EQ(data_->WriteLogFile, 1);
    EXPECT_EQ(data_->CheckServerState, 1);
    data_->WriteLogFile = 1;
    OpenAndClose([](TOPCClientDialog* d) { d->LogFileCB->click(); }, true);
    EXPECT_EQ(data_->WriteLogFile, 0);
}

TEST_F(ParameterDialogTest, RefusesToOpenDuringARun) {
    data_->Simulating = true;
    SetItems({"A"});
    QWidget host;
    host.show();
    block_->HostWindow = host.winId();
    MessageBoxes boxes;
    test::ModalCounter<TOPCClientDialog> dialogs;
    ShowParameterDialog(*block_, &io_);
    data_->Simulating = false;
    EXPECT_EQ(dialogs.opened, 0);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Is simulating...");
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_EQ(boxes.shown[0].flags, MB_ICONERROR);
    EXPECT_EQ(boxes.shown[0].owner.data(), &host);
    EXPECT_EQ(io_.OutputCount, kUntouched);
}

TEST_F(ParameterDialogTest, DamagedCacheOpensWithAnEmptyTreeQuietly) {
    for (const QByteArray& bytes : {QByteArray("<OPCItems app=\"KORVA\"><item text="),
                                    QByteArray("\x00\x01\x02", 3), QByteArray()}) {
        {
            QFile file(cacheFile_);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(bytes);
        }
        MessageBoxes boxes;
        OpenAndClose([](TOPCClientDialog* d) { EXPECT_EQ(d->TreeView1->topLevelItemCount(), 0); },
                     true);
        EXPECT_TRUE(boxes.shown.empty());
        EXPECT_EQ(CacheBytes(), bytes) << "OK with an empty tree leaves the file";
    }
}

TEST_F(ParameterDialogTest, RootOnlyCacheAndTwoTopLevelItems) {
    {
        QFile file(cacheFile_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "<OPCItems app=\"KORVA\"><item text=\"Root\"/><item text=\"Other\">"
            "<item text=\"leaf\"/></item></OPCItems>");
    }
    OpenAndClose(
        [](TOPCClientDialog* d) {
            EXPECT_EQ(Shape(*d->TreeView1), "Root Other(leaf)");
            // Only the first top-level node counts as the top; "Other" is level 0 too.
            d->TreeView1->setCurrentItem(NodeAt(d->TreeView1, {"Other"}));
            d->AddButton->click();
            d->TreeView1->setCurrentItem(NodeAt(d->TreeView1, {"Other", "leaf"}));
            d->AddButton->click();
            EXPECT_EQ(Entries(d->ListBox1), QStringList{"leaf"});
        },
        true);
    EXPECT_EQ(CacheBytes(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
              "<OPCItems app=\"KORVA\"><item text=\"Root\"/><item text=\"Other\">"
              "<item text=\"leaf\"/></item></OPCItems>");
}

TEST_F(ParameterDialogTest, SpecialTextsSurviveTheCache) {
    ServeItems({"Zone & Co.<Temp>", "Zone & Co.\"quoted\"", "Wärme.Grüße", "温度.值"});
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    OpenAndClose([](TOPCClientDialog* d) { d->UpdateButton->click(); }, true);
    OpenAndClose(
        [](TOPCClientDialog* d) {
            EXPECT_EQ(Shape(*d->TreeView1),
                      "Root(Zone & Co(<Temp>,\"quoted\"),Wärme(Grüße),温度(值))");
            d->TreeView1->setCurrentItem(NodeAt(d->TreeView1, {"Root", "Zone & Co", "<Temp>"}));
            d->AddButton->click();
            EXPECT_EQ(Entries(d->ListBox1), QStringList{"Zone & Co.<Temp>"});
        },
        false);
}

TEST_F(ParameterDialogTest, ATreeTheCacheCannotHoldRemovesTheOldFile) {
    {
        QFile file(cacheFile_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "<OPCItems app=\"KORVA\"><item text=\"Root\"><item text=\"Stale\"/></item>"
            "</OPCItems>");
    }
    ServeItems({std::string("Bell\a.x")});
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->UpdateButton->click();
            d->TreeView1->setCurrentItem(NodeAt(d->TreeView1, {"Root", "Bell\a", "x"}));
            d->AddButton->click();
        },
        true);
    EXPECT_FALSE(QFile::exists(cacheFile_));
    EXPECT_EQ(data_->Count, 1) << "the parameters are stored all the same";
    EXPECT_EQ(data_->ItemIDs[0], "Bell\a.x");
}

class SearchTest : public ParameterDialogTest {
  protected:
    // Opens the dialog with a browsed tree, presses Search and answers the search dialog by
    // setting its fields (or cancelling it).
    void Search(const QString& machine, const QString& server, bool ok,
                const std::function<void(TOPCClientDialog*)>& check) {
        OpenAndClose(
            [&](TOPCClientDialog* d) {
                d->UpdateButton->click();
                ASSERT_EQ(Shape(*d->TreeView1), "Root(Dev1(Temp))");
                d->ListBox1->addItem("Listed.Item");
                WhenModal<TVirelonSearchDialog>([&](TVirelonSearchDialog* search) {
                    EXPECT_EQ(search->parentWidget(), d);
                    EXPECT_EQ(search->MachineEdit->text(), d->MachineEdit->text());
                    EXPECT_EQ(search->ServerEdit->text(), d->ServerEdit->text());
                    search->MachineEdit->setText(machine);
                    search->ServerEdit->setText(server);
                    (ok ? search->OKBtn : search->CancelBtn)->click();
                });
                d->SearchButton->click();
                EXPECT_EQ(Entries(d->ListBox1), QStringList{"Listed.Item"});
                check(d);
            },
            true);
    }
};

TEST_F(SearchTest, TheSameServerAgainKeepsTheTree) {
    ServeItems({"Dev1.Temp"});
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    uint32_t connections = 0;
    Search("", OPC_FAULT_SERVER_VI_PROGID, true, [&](TOPCClientDialog* d) {
        connections = Connections();
        EXPECT_EQ(Shape(*d->TreeView1), "Root(Dev1(Temp))");
    });
    EXPECT_EQ(connections, 1u) << "only the Update connected";
}

TEST_F(SearchTest, AnotherServerRebuildsTheTree) {
    ServeItems({"Dev1.Temp"});
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    Search("", "OPCSim.FlatServer.1", true, [](TOPCClientDialog* d) {
        EXPECT_EQ(d->ServerEdit->text(), "OPCSim.FlatServer.1");
        EXPECT_EQ(d->FNamespaceType, 2);
        EXPECT_NE(NodeAt(d->TreeView1, {"Root", "Plant.Mixer.Speed"}), nullptr);
    });
    EXPECT_EQ(data_->Server, u"OPCSim.FlatServer.1");
    EXPECT_EQ(data_->Count, 1);
}

TEST_F(SearchTest, AServerGivenByItsClassIdIsAnotherServer) {
    ServeItems({"Dev1.Temp"});
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    Search("", OPC_FAULT_SERVER_CLSID, true, [&](TOPCClientDialog* d) {
        EXPECT_EQ(Connections(), 2u);
        EXPECT_EQ(Shape(*d->TreeView1), "Root(Dev1(Temp))");
    });
}

TEST_F(SearchTest, AnotherMachineThatFailsEmptiesTheTree) {
    ServeItems({"Dev1.Temp"});
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    MessageBoxes boxes;
    Search("unreachable.invalid", OPC_FAULT_SERVER_VI_PROGID, true, [&](TOPCClientDialog* d) {
        EXPECT_EQ(d->MachineEdit->text(), "unreachable.invalid");
        EXPECT_EQ(d->TreeView1->topLevelItemCount(), 0);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, "Could not connect to " OPC_FAULT_SERVER_VI_PROGID);
    });
    EXPECT_EQ(data_->Machine, u"unreachable.invalid");
    EXPECT_EQ(CacheBytes().contains("Dev1"), false) << "the empty tree wrote nothing";
}

TEST_F(SearchTest, CancelChangesNothing) {
    ServeItems({"Dev1.Temp"});
    UseServer(u"" OPC_FAULT_SERVER_VI_PROGID);
    Search("elsewhere", "Other.Server", false, [](TOPCClientDialog* d) {
        EXPECT_EQ(d->MachineEdit->text(), "");
        EXPECT_EQ(d->ServerEdit->text(), OPC_FAULT_SERVER_VI_PROGID);
        EXPECT_EQ(Shape(*d->TreeView1), "Root(Dev1(Temp))");
    });
}

TEST_F(ParameterDialogTest, HelpWithoutAReaderSaysSo) {
    MessageBoxes boxes;
    OpenAndClose(
        [&](TOPCClientDialog* d) {
            d->Button1->click();
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].text, "PDF Reader not found!");
            EXPECT_EQ(boxes.shown[0].owner.data(), static_cast<QWidget*>(d));
        },
        false);
}

TEST_F(ParameterDialogTest, TheHostWindowOwnsTheDialog) {
    QWidget host;
    host.show();
    block_->HostWindow = host.winId();
    OpenAndClose([&](TOPCClientDialog* d) { EXPECT_EQ(d->parentWidget(), &host); }, false);

    // The library's owner window, set by InitUserDLL, comes first.
    QWidget library;
    library.show();
    SetOwnerWindow(library.winId());
    OpenAndClose([&](TOPCClientDialog* d) { EXPECT_EQ(d->parentWidget(), &library); }, false);
    SetOwnerWindow(0);

    block_->HostWindow = 0;
    OpenAndClose([](TOPCClientDialog* d) { EXPECT_EQ(d->parentWidget(), nullptr); }, false);
}

TEST_F(ParameterDialogTest, ANativeHostWindowOwnsTheDialogAsItsTransientParent) {
    // A window that is no widget of this process, as another toolkit's host window would be.
    QWindow host;
    host.create();
    if (!std::unique_ptr<QWindow>(QWindow::fromWinId(host.winId())))
        GTEST_SKIP() << "the platform " << QGuiApplication::platformName().toStdString()
                     << " has no foreign windows";
    block_->HostWindow = host.winId();
    WId parentId = 0;
    OpenAndClose(
        [&](TOPCClientDialog* d) {
            EXPECT_EQ(d->parentWidget(), nullptr);
            ASSERT_NE(d->windowHandle(), nullptr);
            if (QWindow* parent = d->windowHandle()->transientParent())
                parentId = parent->winId();
        },
        false);
    EXPECT_EQ(parentId, host.winId());
}

TEST_F(ParameterDialogTest, ScreenshotWithABrowsedTree) {
    UseServer(u"OPCSim.Server");
    SetItems({"Signals.Sine", "Signals.Ramp", "Registers.R8"});
    data_->DelayMode = 1;
    data_->DelayTime = 100;
    OpenAndClose(
        [](TOPCClientDialog* d) {
            d->UpdateButton->click();
            d->TreeView1->expandItem(NodeAt(d->TreeView1, {"Root"}));
            d->TreeView1->expandItem(NodeAt(d->TreeView1, {"Root", "Signals"}));
            d->TreeView1->setCurrentItem(NodeAt(d->TreeView1, {"Root", "Signals", "Counter"}));
            d->ListBox1->setCurrentRow(1);
            const QString directory = QStringLiteral(KORVA_SCREENSHOT_DIR);
            QDir().mkpath(directory);
            const QImage image = d->grab().toImage();
            EXPECT_EQ(image.size() / image.devicePixelRatio(), QSize(534, 505));
            EXPECT_TRUE(image.save(directory + "/parameter_dialog.png"));
        },
        false);
}

}  // namespace
}  // namespace virelon

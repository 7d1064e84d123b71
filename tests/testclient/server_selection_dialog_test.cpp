// The server selection dialog in both variants, against the servers registered in the test's
// private registry.
#include <QAction>
#include <QContextMenuEvent>
#include <QCursor>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <memory>
#include <mutex>

#include "opc/ui/server_selection_dialog.h"
#include "platform/kernel/kernel.h"
#include "tests/testclient/window_test_support.h"

namespace {

using dravik_test::Q;
using dravik_test::WaitFor;
using dravik_test::WhenModal;

enum class Variant { Dravik, Virelon };

std::string VariantName(const ::testing::TestParamInfo<Variant>& info) {
    return info.param == Variant::Dravik ? "Dravik" : "Virelon";
}
void PrintTo(Variant variant, std::ostream* os) {
    *os << (variant == Variant::Dravik ? "TDravikConnectDialog" : "TVirelonSearchDialog");
}

std::unique_ptr<TServerSelectionDialog> MakeDialog(Variant variant) {
    if (variant == Variant::Dravik)
        return std::make_unique<TDravikConnectDialog>(nullptr);
    return std::make_unique<TVirelonSearchDialog>(nullptr);
}

QStringList Column(const QTreeWidget* list, int column) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts << list->topLevelItem(i)->text(column);
    return texts;
}

// The servers that SetUp registers, as the local listing shows them: one entry per class, the
// first of its ProgIDs in the registry's key order, sorted by name.
const QStringList kLocalServers = {QStringLiteral("OPCFault.Server"),
                                   QStringLiteral("OPCSim.FlatServer"),
                                   QStringLiteral("OPCSim.Server")};
const QStringList kLocalClassIds = {QStringLiteral(OPC_FAULT_SERVER_CLSID),
                                    QStringLiteral("{217ED61B-52C1-48E4-A6A7-B37C7EEE2FC2}"),
                                    QStringLiteral("{E3DB549F-4B85-4653-A139-B5EAD52307B5}")};

// Stands in for other machines: notes the cursor that is shown while the listing asks the
// machine, and reaches nothing.
class UnreachableMachines : public RemoteActivation {
  public:
    HRESULT CreateInstance(std::u16string_view, REFCLSID, REFIID, void** object) override {
        std::lock_guard lock(mutex_);
        const QCursor* cursor = QApplication::overrideCursor();
        cursors_.push_back(cursor ? cursor->shape() : Qt::ArrowCursor);
        *object = nullptr;
        return RPC_S_SERVER_UNAVAILABLE_HR;
    }
    std::vector<Qt::CursorShape> Cursors() const {
        std::lock_guard lock(mutex_);
        return cursors_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Qt::CursorShape> cursors_;
};

class SelectionDialogTest : public dravik_test::WindowTest,
                            public ::testing::WithParamInterface<Variant> {};

TEST_P(SelectionDialogTest, ListsThisComputersServersWhenCreated) {
    auto dialog = MakeDialog(GetParam());
    EXPECT_EQ(Column(dialog->ListView1, 0), kLocalServers);
    EXPECT_EQ(Column(dialog->ListView1, 1), kLocalClassIds);
    EXPECT_TRUE(dialog->MachineEdit->text().isEmpty());
    EXPECT_TRUE(dialog->ServerEdit->text().isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass outlived the listing";
}

TEST_P(SelectionDialogTest, UnreachableMachineEmptiesTheListUnderTheHourglass) {
    auto remote = std::make_shared<UnreachableMachines>();
    auto previous = CoSetRemoteActivation(remote);
    auto dialog = MakeDialog(GetParam());
    ASSERT_EQ(dialog->ListView1->topLevelItemCount(), kLocalServers.size());

    dialog->MachineEdit->setText(QStringLiteral("no-such-machine.invalid"));
    dialog->BrowseButton->click();
    CoSetRemoteActivation(previous);

    EXPECT_EQ(dialog->ListView1->topLevelItemCount(), 0);
    EXPECT_TRUE(recorder->boxes.empty());
    ASSERT_FALSE(remote->Cursors().empty()) << "the server list component was not asked";
    for (Qt::CursorShape shape : remote->Cursors())
        EXPECT_EQ(shape, Qt::WaitCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_P(SelectionDialogTest, RightClickSelectsTheRowAndThePopupCopiesItsNameOrClassId) {
    auto dialog = MakeDialog(GetParam());
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    QTreeWidget* list = dialog->ListView1;
    ASSERT_EQ(list->topLevelItemCount(), 3);
    list->setCurrentItem(list->topLevelItem(0));

    struct Case {
        QAction* entry;
        int column;
    };
    for (const Case& c :
         {Case{dialog->Selectserverbyname1, 0}, Case{dialog->SelectserverbyClassID1, 1}}) {
        SCOPED_TRACE(c.entry->text().toStdString());
        dialog->ServerEdit->clear();
        QTreeWidgetItem* row = list->topLevelItem(2);
        const QPoint pos = list->visualItemRect(row).center();
        QContextMenuEvent click(QContextMenuEvent::Mouse, pos, list->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(list->viewport(), &click);

        EXPECT_TRUE(dialog->PopupMenu1->isVisible());
        EXPECT_EQ(list->selectedItems(), QList<QTreeWidgetItem*>{row});
        c.entry->trigger();
        dialog->PopupMenu1->close();
        EXPECT_EQ(dialog->ServerEdit->text(), row->text(c.column));
        list->setCurrentItem(list->topLevelItem(0));
    }
    EXPECT_EQ(dialog->ServerEdit->text(), kLocalClassIds[2]);
    EXPECT_TRUE(dialog->ServerEdit->text().contains(QRegularExpression(
        QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"))));
    EXPECT_EQ(dialog->MachineEdit->text(), QString()) << "the machine field is not touched";
}

TEST_P(SelectionDialogTest, PopupEntriesWithoutASelectedRowChangeNothing) {
    auto dialog = MakeDialog(GetParam());
    dialog->ServerEdit->setText(QStringLiteral("typed by hand"));
    dialog->ListView1->clearSelection();
    dialog->ListView1->setCurrentItem(nullptr);
    for (QAction* entry : {dialog->Selectserverbyname1, dialog->SelectserverbyClassID1}) {
        entry->trigger();
        EXPECT_EQ(dialog->ServerEdit->text(), QStringLiteral("typed by hand"));
    }
}

TEST_P(SelectionDialogTest, DoubleClickingARowDoesNothing) {
    auto dialog = MakeDialog(GetParam());
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    QTreeWidget* list = dialog->ListView1;
    const QPoint pos = list->visualItemRect(list->topLevelItem(1)).center();
    QSignalSpy doubleClicks(list, &QTreeWidget::itemDoubleClicked);
    // Through the window, as real input arrives: events sent to the widget make no double-click.
    QTest::mouseDClick(dialog->windowHandle(), Qt::LeftButton, {},
                       list->viewport()->mapTo(dialog.get(), pos));
    ASSERT_EQ(doubleClicks.size(), 1) << "the double-click did not reach the list";
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), 0);
    EXPECT_TRUE(dialog->ServerEdit->text().isEmpty());
}

// How a dialog is closed, and the modal result that gives.
struct Closing {
    const char* name;
    std::function<void(TServerSelectionDialog*)> close;
    int result;
};

const Closing kClosings[] = {
    {"OK", [](TServerSelectionDialog* d) { d->OKBtn->click(); }, mrOk},
    {"Enter", [](TServerSelectionDialog* d) { QTest::keyClick(d->ServerEdit, Qt::Key_Return); },
     mrOk},
    {"Cancel", [](TServerSelectionDialog* d) { d->CancelBtn->click(); }, mrCancel},
    {"Escape", [](TServerSelectionDialog* d) { QTest::keyClick(d->ServerEdit, Qt::Key_Escape); },
     mrCancel},
    {"CloseBox", [](TServerSelectionDialog* d) { d->close(); }, mrCancel},
};

TEST_P(SelectionDialogTest, ModalResultsOfEveryWayOfClosing) {
    for (const Closing& closing : kClosings) {
        SCOPED_TRACE(closing.name);
        auto dialog = MakeDialog(GetParam());
        WhenModal<TServerSelectionDialog>([&](TServerSelectionDialog* d) {
            d->MachineEdit->setText(QStringLiteral("plant-7"));
            d->ServerEdit->setText(QStringLiteral("Vendor.Server.1"));
            d->ServerEdit->setFocus();
            closing.close(d);
        });
        EXPECT_EQ(dialog->exec(), closing.result);
        // The texts stay as typed; nothing is validated.
        EXPECT_EQ(dialog->MachineEdit->text(), QStringLiteral("plant-7"));
        EXPECT_EQ(dialog->ServerEdit->text(), QStringLiteral("Vendor.Server.1"));
        if (auto* dravik = dynamic_cast<TDravikConnectDialog*>(dialog.get())) {
            const bool ok = closing.result == mrOk;
            EXPECT_EQ(dravik->MachineName, ok ? "plant-7" : "");
            EXPECT_EQ(dravik->ServerName, ok ? "Vendor.Server.1" : "");
        }
    }
}

TEST_P(SelectionDialogTest, ScreenshotHasTheFixedClientArea) {
    auto dialog = MakeDialog(GetParam());
    dialog->ServerEdit->setText(dialog->ListView1->topLevelItem(2)->text(0));
    dialog->ListView1->setCurrentItem(dialog->ListView1->topLevelItem(2));
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    const QSize expected = GetParam() == Variant::Dravik ? QSize(480, 328) : QSize(551, 330);
    EXPECT_EQ(dialog->size(), expected);
    const std::string path = dravik_test::SaveScreenshot(dialog.get(), GetParam() == Variant::Dravik
                                                                           ? "DravikConnectDialog"
                                                                           : "VirelonSearchDialog");
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(QImage(QString::fromStdString(path)).size(), expected);
}

INSTANTIATE_TEST_SUITE_P(BothVariants, SelectionDialogTest,
                         ::testing::Values(Variant::Dravik, Variant::Virelon), VariantName);

// The simulation host's own server: which variant lists it for which machine field.
struct HostServerCase {
    const char* name;
    Variant variant;
    const char* registeredAs;
    enum { Local, ThisComputer, ThisComputerOtherCase } machine;
    bool listed;
};

void PrintTo(const HostServerCase& c, std::ostream* os) {
    *os << c.name;
}

class HostServerTest : public dravik_test::WindowTest,
                       public ::testing::WithParamInterface<HostServerCase> {};

TEST_P(HostServerTest, ListedUnlessTheSearchDialogListsThisComputerUnnamed) {
    const HostServerCase& c = GetParam();
    const std::string classId = "{6A1B7C9D-0E2F-4A35-8B6C-7D8E9F0A1B2C}";
    WriteClassesKey(std::string(c.registeredAs), "The host's own OPC server");
    WriteClassesKey(std::string(c.registeredAs) + "\\CLSID", classId);
    WriteClassesKey(std::string(c.registeredAs) + "\\OPC");

    auto dialog = MakeDialog(c.variant);
    if (c.machine != HostServerCase::Local) {
        QString machine = Q(GetComputerName());
        if (c.machine == HostServerCase::ThisComputerOtherCase)
            machine = machine.toUpper() == machine ? machine.toLower() : machine.toUpper();
        dialog->MachineEdit->setText(machine);
        dialog->BrowseButtonClick();
    }
    const QStringList names = Column(dialog->ListView1, 0);
    EXPECT_EQ(names.contains(QString::fromLatin1(c.registeredAs)), c.listed)
        << names.join(u',').toStdString();
    for (const QString& server : kLocalServers)
        EXPECT_TRUE(names.contains(server)) << server.toStdString();
    if (c.listed) {
        const int row = int(names.indexOf(QString::fromLatin1(c.registeredAs)));
        EXPECT_EQ(dialog->ListView1->topLevelItem(row)->text(1), Q(classId));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostServerTest,
    ::testing::Values(HostServerCase{"ConnectDialogLocal", Variant::Dravik, "KORVA.OPCServer",
                                     HostServerCase::Local, true},
                      HostServerCase{"SearchDialogLocal", Variant::Virelon, "KORVA.OPCServer",
                                     HostServerCase::Local, false},
                      HostServerCase{"SearchDialogThisComputerNamed", Variant::Virelon,
                                     "KORVA.OPCServer", HostServerCase::ThisComputer, true},
                      HostServerCase{"SearchDialogThisComputerNamedOtherCase", Variant::Virelon,
                                     "KORVA.OPCServer", HostServerCase::ThisComputerOtherCase,
                                     true},
                      HostServerCase{"SearchDialogOtherLetterCase", Variant::Virelon,
                                     "Korva.OpcServer", HostServerCase::Local, true}),
    [](const ::testing::TestParamInfo<HostServerCase>& info) { return info.param.name; });

using SearchDialogTest = dravik_test::WindowTest;

TEST_F(SearchDialogTest, PresetFieldsKeepTheLocalListUntilBrowse) {
    auto remote = std::make_shared<UnreachableMachines>();
    auto previous = CoSetRemoteActivation(remote);
    TVirelonSearchDialog dialog(nullptr);
    dialog.MachineEdit->setText(QStringLiteral("far-away.invalid"));
    dialog.ServerEdit->setText(QStringLiteral("{E3DB549F-4B85-4653-A139-B5EAD52307B5}"));
    WhenModal<TVirelonSearchDialog>([](TVirelonSearchDialog* d) { d->OKBtn->click(); });
    EXPECT_EQ(dialog.exec(), mrOk);
    CoSetRemoteActivation(previous);
    EXPECT_EQ(Column(dialog.ListView1, 0), kLocalServers);
    EXPECT_TRUE(remote->Cursors().empty()) << "the preset machine was listed";
    EXPECT_EQ(dialog.MachineEdit->text(), QStringLiteral("far-away.invalid"));
    EXPECT_EQ(dialog.ServerEdit->text(), QStringLiteral("{E3DB549F-4B85-4653-A139-B5EAD52307B5}"));
}

}  // namespace

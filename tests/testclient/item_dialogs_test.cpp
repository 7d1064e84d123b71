// The test client's add-item and write dialogs, opened on a connected main window.
#include <QTest>

#include "tests/testclient/dravik_test_support.h"

namespace {

using namespace dravik_test;

using AddTagDialogTest = DravikTest;

QStringList ListLines(const QListWidget* list) {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

TEST_F(AddTagDialogTest, ListsTheServersItemsWithTheFirstSelectedAndOkReturnsIt) {
    ConnectThroughDialog(kFaultServer);
    ASSERT_TRUE(form->Connected);
    TDravikAddTagDialog dialog(form.get());
    EXPECT_EQ(ListLines(dialog.ListBox1),
              (QStringList{"Text.Comma", "Text.Thousands", "Text.Empty", "Bool.True", "Bool.False",
                           "Number.R8", "Number.I4", "Number.ReadOnly"}));
    EXPECT_EQ(dialog.ListBox1->currentRow(), 0);
    EXPECT_TRUE(dialog.ListBox1->item(0)->isSelected());
    EXPECT_TRUE(dialog.SelectedItemID.empty());
    EXPECT_EQ(FaultStats().lastBrowseType, 3u) << "a flat browse";

    WhenModal<TDravikAddTagDialog>([](TDravikAddTagDialog* d) { d->OKBtn->click(); });
    EXPECT_EQ(dialog.exec(), mrOk);
    EXPECT_EQ(dialog.SelectedItemID, "Text.Comma");
}

struct AddClosing {
    const char* name;
    std::function<void(TDravikAddTagDialog*)> act;  // on the dialog with line 2 selected
    int result;
    const char* selected;
};

const AddClosing kAddClosings[] = {
    {"DoubleClick",
     [](TDravikAddTagDialog* d) {
         QListWidget* list = d->ListBox1;
         // A double-click on another line returns that line. Through the window, as real
         // input arrives: mouse events sent to the widget itself make no double-click.
         const QPoint pos = list->visualItemRect(list->item(4)).center();
         QTest::mouseDClick(d->windowHandle(), Qt::LeftButton, {}, list->viewport()->mapTo(d, pos));
     },
     mrOk, "Bool.False"},
    {"Enter", [](TDravikAddTagDialog* d) { QTest::keyClick(d->ListBox1, Qt::Key_Return); }, mrOk,
     "Text.Empty"},
    {"Cancel", [](TDravikAddTagDialog* d) { d->CancelBtn->click(); }, mrCancel, ""},
    {"Escape", [](TDravikAddTagDialog* d) { QTest::keyClick(d->ListBox1, Qt::Key_Escape); },
     mrCancel, ""},
    {"CloseBox", [](TDravikAddTagDialog* d) { d->close(); }, mrCancel, ""},
};

TEST_F(AddTagDialogTest, EveryWayOfClosing) {
    ConnectThroughDialog(kFaultServer);
    for (const AddClosing& closing : kAddClosings) {
        SCOPED_TRACE(closing.name);
        TDravikAddTagDialog dialog(form.get());
        WhenModal<TDravikAddTagDialog>([&](TDravikAddTagDialog* d) {
            d->ListBox1->setCurrentRow(2);
            d->ListBox1->setFocus();
            closing.act(d);
        });
        EXPECT_EQ(dialog.exec(), closing.result);
        EXPECT_EQ(dialog.SelectedItemID, closing.selected);
    }
    // Cancel through the window adds nothing.
    WhenModal<TDravikAddTagDialog>([](TDravikAddTagDialog* d) { d->CancelBtn->click(); });
    form->Button4->click();
    EXPECT_EQ(form->ListBox1->count(), 0);
    EXPECT_EQ(FaultStats().calls[OPC_FAULT_ADDITEMS], 0u);
}

struct EmptyListCase {
    const char* name;
    bool emptyAddressSpace;  // else a server without browsing
};

class AddTagDialogEmptyTest : public DravikTest,
                              public ::testing::WithParamInterface<EmptyListCase> {};

TEST_P(AddTagDialogEmptyTest, OkWithoutALineReturnsNoItem) {
    OpcFaultConfig config{};
    static const OpcFaultItem kNone[1] = {};
    if (GetParam().emptyAddressSpace) {
        config.items = kNone;
        config.itemCount = 0;
    } else {
        config.refuse = OPC_FAULT_REFUSE_BROWSE;
    }
    ConfigureFault(config);
    ConnectThroughDialog(kFaultServer);
    ASSERT_TRUE(form->Connected);

    WhenModal<TDravikAddTagDialog>([](TDravikAddTagDialog* d) {
        EXPECT_EQ(d->ListBox1->count(), 0);
        EXPECT_FALSE(d->OKBtn->isEnabled());
        d->OKBtnClick();
        QTest::keyClick(d->ListBox1, Qt::Key_Return);
        EXPECT_TRUE(d->isVisible()) << "OK closed the dialog without an item";
        d->CancelBtn->click();
    });
    form->Button4->click();
    EXPECT_EQ(form->ListBox1->count(), 0);
    EXPECT_EQ(form->Connection->ItemCount(), 0);
    EXPECT_EQ(FaultStats().calls[OPC_FAULT_ADDITEMS], 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, AddTagDialogEmptyTest,
                         ::testing::Values(EmptyListCase{"EmptyAddressSpace", true},
                                           EmptyListCase{"NoBrowsing", false}),
                         [](const ::testing::TestParamInfo<EmptyListCase>& info) {
                             return info.param.name;
                         });

using WriteTagDialogTest = DravikTest;

TEST_F(WriteTagDialogTest, ListsPlainIdentifiersWithoutASelectionAndIgnoresEscape) {
    ConnectThroughDialog(kFaultServer);
    AddThroughDialog(QStringLiteral("Number.R8"));
    AddThroughDialog(QStringLiteral("Number.I4"));
    AddThroughDialog(QStringLiteral("Number.R8"));
    ASSERT_TRUE(WaitForLineValue(2, QStringLiteral("2.5")));

    TDravikWriteTagDialog dialog(form.get());
    EXPECT_EQ(ListLines(dialog.TagListbox), (QStringList{"Number.R8", "Number.I4", "Number.R8"}));
    EXPECT_EQ(dialog.SelectedIndex(), -1);
    EXPECT_EQ(dialog.ValueEdit->text(), QStringLiteral("0.00"));
    EXPECT_EQ(dialog.ValueEdit->Format(), QStringLiteral("%16.10g"));
    EXPECT_TRUE(dialog.ValueEdit->IsZeroAllowed());
    EXPECT_TRUE(dialog.ValueEdit->NoBlanks());
    EXPECT_EQ(dialog.ValueEdit->MinValue(), 0);
    EXPECT_EQ(dialog.ValueEdit->MaxValue(), 0);

    WhenModal<TDravikWriteTagDialog>([](TDravikWriteTagDialog* d) {
        QTest::keyClick(d->TagListbox, Qt::Key_Escape);
        QTest::keyClick(d->ValueEdit, Qt::Key_Escape);
        EXPECT_TRUE(d->isVisible()) << "Escape closed the write dialog";
        d->TagListbox->setCurrentRow(2);
        d->OKBtn->click();
    });
    EXPECT_EQ(dialog.exec(), mrOk);
    EXPECT_EQ(dialog.SelectedIndex(), 2);
    EXPECT_EQ(dialog.ValueEdit->Value(), 0.0L);
}

}  // namespace

#include "plugin/ui/virelon_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "components/ui/help_document.h"
#include "components/ui/message_box.h"
#include "components/ui/qncomps.h"
#include "opc/opc_access.h"
#include "opc/ui/server_selection_dialog.h"
#include "platform/com/com.h"
#include "plugin/parameter_dialog.h"
#include "plugin/ui/detail/form.h"
#include "plugin/ui/tag_tree_builder.h"
#include "plugin/ui/virelon_add_item_dialog.h"
#include "plugin/value_table.h"

namespace virelon {
namespace {

using namespace form;

const QString kRootText = QStringLiteral("Root");

// The application-wide hourglass for the lifetime of the object.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QGroupBox* MakeGroupBox(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(left, top, width, height);
    return box;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(left, top, width, height);
    return box;
}

QLineEdit* MakeServerField(QWidget* parent, const char* name, int left, int top) {
    auto* edit = new QLineEdit(QStringLiteral("MachineEdit"), parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(left, top, 289, 21);
    edit->setReadOnly(true);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));  // silver
    edit->setPalette(palette);
    return edit;
}

// The millisecond fields: "%3d", no range, zero allowed, no blanks, a beep on a bad entry.
TIntegerEdit* MakeMillisecondField(QWidget* parent, const char* name) {
    auto* edit = new TIntegerEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(168, 18, 41, 21);
    edit->SetFormat(QStringLiteral("%3d"));
    edit->SetMinValue(0);
    edit->SetMaxValue(0);
    edit->SetIsZeroAllowed(true);
    edit->SetNoBlanks(true);
    edit->SetBeep(true);
    edit->Loaded();
    return edit;
}

}  // namespace

TOPCClientDialog::TOPCClientDialog(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("OPCClientDialog"));
    SetUpFixedDialog(this, QStringLiteral("OPC Client"), 534, 505, true);

    GroupBox1 = MakeGroupBox(this, "GroupBox1", QStringLiteral("OPC Server"), 8, 12, 521, 81);
    MakeLabel(GroupBox1, QStringLiteral("Machine name:"), 16, 28);
    MachineEdit = MakeServerField(GroupBox1, "MachineEdit", 132, 24);
    MakeLabel(GroupBox1, QStringLiteral("Server name or GUID:"), 16, 56);
    ServerEdit = MakeServerField(GroupBox1, "ServerEdit", 132, 52);
    SearchButton =
        MakeButton(GroupBox1, "SearchButton", QStringLiteral("&Search..."), 440, 51, 75, 23);

    // "&&" shows one ampersand, as the caption has it.
    GroupBox4 =
        MakeGroupBox(this, "GroupBox4", QStringLiteral("Data type && log file"), 8, 100, 281, 97);
    TypeComboBox = new QComboBox(GroupBox4);
    TypeComboBox->setObjectName(QStringLiteral("TypeComboBox"));
    TypeComboBox->setGeometry(160, 24, 109, 21);
    TypeComboBox->addItems({"VT_I2", "VT_I4", "VT_R4", "VT_R8", "VT_BOOL", "VT_I1", "VT_UI1",
                            "VT_UI2", "VT_UI4", "VT_I8", "VT_UI8", "VT_INT", "VT_UINT"});
    QLabel* typeLabel =
        MakeLabel(GroupBox4, QStringLiteral("Data t&ype (Client Output only):"), 6, 28);
    typeLabel->setBuddy(TypeComboBox);
    LogFileCB =
        MakeCheckBox(GroupBox4, "LogFileCB", QStringLiteral("&Write log file"), 12, 66, 89, 17);

    GroupBox5 =
        MakeGroupBox(this, "GroupBox5", QStringLiteral("OPC Thread Delay"), 296, 100, 233, 45);
    DelayRB1 = new QRadioButton(QStringLiteral("Automatical"), GroupBox5);
    DelayRB1->setObjectName(QStringLiteral("DelayRB1"));
    DelayRB1->setGeometry(12, 20, 85, 17);
    DelayRB2 = new QRadioButton(QStringLiteral("Delay of"), GroupBox5);
    DelayRB2->setObjectName(QStringLiteral("DelayRB2"));
    DelayRB2->setGeometry(100, 20, 65, 17);
    DelayTimeEdit = MakeMillisecondField(GroupBox5, "DelayTimeEdit");
    MakeLabel(GroupBox5, QStringLiteral("ms"), 212, 22);

    GroupBox6 =
        MakeGroupBox(this, "GroupBox6", QStringLiteral("OPC Group Update Rate"), 296, 152, 233, 45);
    MakeLabel(GroupBox6, QStringLiteral("Update Rate (0 = max.):"), 12, 22);
    GroupUpdateRateEdit = MakeMillisecondField(GroupBox6, "GroupUpdateRateEdit");
    MakeLabel(GroupBox6, QStringLiteral("ms"), 212, 22);

    GroupBox2 =
        MakeGroupBox(this, "GroupBox2", QStringLiteral("Server tag list"), 8, 203, 221, 241);
    TreeView1 = new QTreeWidget(GroupBox2);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setGeometry(2, 15, 217, 208);
    TreeView1->setColumnCount(1);
    TreeView1->setHeaderHidden(true);
    TreeView1->setIndentation(19);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    // Every row has the font's height: the view then lays out a tree of 100,000 nodes without
    // measuring each row.
    TreeView1->setUniformRowHeights(true);
    {
        // The selection stays visible while another control has the focus.
        QPalette palette = TreeView1->palette();
        palette.setColor(QPalette::Inactive, QPalette::Highlight,
                         palette.color(QPalette::Active, QPalette::Highlight));
        palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         palette.color(QPalette::Active, QPalette::HighlightedText));
        TreeView1->setPalette(palette);
    }
    ProgressBar = new QProgressBar(GroupBox2);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setGeometry(2, 223, 217, 16);
    ProgressBar->setTextVisible(false);
    ProgressBar->setRange(0, 100);
    ProgressBar->hide();

    GroupBox3 =
        MakeGroupBox(this, "GroupBox3", QStringLiteral("Selected items"), 236, 203, 193, 241);
    ListBox1 = new QListWidget(GroupBox3);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(2, 15, 189, 224);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setSortingEnabled(false);

    AddButton = MakeButton(this, "AddButton", QStringLiteral("&Add item"), 440, 211, 85, 23);
    AddButton2 = MakeButton(this, "AddButton2", QStringLiteral("A&dd item..."), 440, 239, 85, 23);
    RemoveButton =
        MakeButton(this, "RemoveButton", QStringLiteral("&Remove item"), 440, 267, 85, 23);
    RemoveAllButton =
        MakeButton(this, "RemoveAllButton", QStringLiteral("R&emove all"), 440, 295, 85, 23);
    UpButton = MakeButton(this, "UpButton", QStringLiteral("I&tem up"), 440, 331, 85, 23);
    DownButton = MakeButton(this, "DownButton", QStringLiteral("Item d&own"), 440, 359, 85, 23);
    UpdateButton =
        MakeButton(this, "UpdateButton", QStringLiteral("&Update tag list"), 440, 419, 85, 23);

    CheckStateCB = MakeCheckBox(this, "CheckStateCB", QStringLiteral("Check OPC Server State"), 20,
                                450, 161, 17);
    UseTriggerInputCB =
        MakeCheckBox(this, "UseTriggerInputCB",
                     QStringLiteral("Use trigger input (Client Output only)"), 20, 470, 213, 17);

    OKBtn = MakeButton(this, "OKBtn", QStringLiteral("OK"), 280, 474, 75, 23);
    OKBtn->setDefault(true);
    CancelBtn = MakeButton(this, "CancelBtn", QStringLiteral("Cancel"), 366, 474, 75, 23);
    Button1 = MakeButton(this, "Button1", QStringLiteral("&Help"), 451, 474, 75, 23);

    connect(SearchButton, &QPushButton::clicked, this, [this] { SearchButtonClick(); });
    connect(UpdateButton, &QPushButton::clicked, this, [this] { UpdateButtonClick(); });
    connect(AddButton, &QPushButton::clicked, this, [this] { AddButtonClick(); });
    connect(AddButton2, &QPushButton::clicked, this, [this] { AddButton2Click(); });
    connect(RemoveButton, &QPushButton::clicked, this, [this] { RemoveButtonClick(); });
    connect(RemoveAllButton, &QPushButton::clicked, this, [this] { RemoveAllButtonClick(); });
    connect(UpButton, &QPushButton::clicked, this, [this] { UpButtonClick(); });
    connect(DownButton, &QPushButton::clicked, this, [this] { DownButtonClick(); });
    connect(TreeView1, &QTreeWidget::itemDoubleClicked, this, [this] { TreeView1DblClick(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(OKBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { done(mrCancel); });
}

TOPCClientDialog::~TOPCClientDialog() = default;

void TOPCClientDialog::reject() {
    done(mrCancel);
}

bool TOPCClientDialog::ListIsFull() const {
    return ListBox1->count() >= kMaxItems;
}

int TOPCClientDialog::SelectedIndex() const {
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    return selected.isEmpty() ? -1 : ListBox1->row(selected.front());
}

void TOPCClientDialog::BuildTagTree() {
    WaitCursor hourglass;
    std::vector<std::u16string> items;
    TreeView1->clear();

    // The build's own connection, on this thread; COM is initialised for it unless the host
    // already did so (in either apartment model).
    ComInit com;
    ComPtr<IOPCServer> server;
    if (!ConnectToServer(MachineEdit->text().toStdU16String(), ServerEdit->text().toStdU16String(),
                         server)) {
        ShowMessageBox(this, QStringLiteral("Could not connect to ") + ServerEdit->text(),
                       QStringLiteral("Error"), MB_ICONWARNING | MB_OK);
        return;
    }

    ProgressBar->setValue(0);
    ProgressBar->show();
    OPCNAMESPACETYPE organization = static_cast<OPCNAMESPACETYPE>(FNamespaceType);
    ServerBrowseItemIDs(server.Get(), items, organization);
    FNamespaceType = static_cast<int32_t>(organization);
    TreeView1->setUpdatesEnabled(false);

    // The nodes are made apart from the view and handed to it in one step at the end, which
    // keeps a build of 100,000 identifiers well under a second; the view shows nothing between
    // the two steps anyway, its redrawing being suspended.
    auto* root = new QTreeWidgetItem(QStringList{kRootText});
    const int maximum = static_cast<int>(
        std::min<size_t>(items.size(), static_cast<size_t>(std::numeric_limits<int>::max())));
    ProgressBar->setMaximum(maximum);
    const bool flat = FNamespaceType == OPC_NS_FLAT;
    ChildIndex index;
    if (!flat)
        index.Reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const QStringView id(items[i].data(), static_cast<qsizetype>(items[i].size()));
        if (flat) {
            root->addChild(new QTreeWidgetItem(QStringList{id.toString()}));
        } else {
            AddHierarchicalItem(index, root, id, [](QTreeWidgetItem* parent, const QString& text) {
                auto* child = new QTreeWidgetItem(QStringList{text});
                parent->addChild(child);
                return child;
            });
        }
        ProgressBar->setValue(static_cast<int>(std::min<size_t>(i + 1, maximum)));
    }
    TreeView1->addTopLevelItem(root);
    if (flat)
        TreeView1->expandAll();
    else
        TreeView1->collapseAll();

    ProgressBar->hide();
    TreeView1->setUpdatesEnabled(true);
}

void TOPCClientDialog::AddButtonClick() {
    if (ListIsFull())
        return;
    const QList<QTreeWidgetItem*> selected = TreeView1->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem* node = selected.front();
    if (!node->parent())  // the top-level node
        return;
    if (FNamespaceType == OPC_NS_FLAT) {
        ListBox1->addItem(node->text(0));
        return;
    }
    if (node->childCount() > 0)
        return;
    // The identifier is the path below the top-level node, joined with dots.
    QString id = node->text(0);
    for (QTreeWidgetItem* parent = node->parent(); parent->parent(); parent = parent->parent())
        id = parent->text(0) + u'.' + id;
    ListBox1->addItem(id);
}

void TOPCClientDialog::TreeView1DblClick() {
    AddButtonClick();
}

void TOPCClientDialog::AddButton2Click() {
    if (ListIsFull())
        return;
    TVirelonAddItemDialog dialog(this);
    if (dialog.exec() == mrOk)
        ListBox1->addItem(dialog.NameEdit->text());
}

void TOPCClientDialog::RemoveButtonClick() {
    const int row = SelectedIndex();
    if (row < 0)
        return;
    delete ListBox1->takeItem(row);
    // As after a deletion in a list box: no entry is selected.
    ListBox1->clearSelection();
    ListBox1->setCurrentRow(-1);
}

void TOPCClientDialog::RemoveAllButtonClick() {
    ListBox1->clear();
}

void TOPCClientDialog::UpButtonClick() {
    const int row = SelectedIndex();
    if (ListBox1->count() < 2 || row < 1)
        return;
    QListWidgetItem* above = ListBox1->item(row - 1);
    QListWidgetItem* selected = ListBox1->item(row);
    const QString text = above->text();
    above->setText(selected->text());
    selected->setText(text);
    ListBox1->setCurrentRow(row - 1);
}

void TOPCClientDialog::DownButtonClick() {
    const int row = SelectedIndex();
    if (ListBox1->count() < 2 || row < 0 || row >= ListBox1->count() - 1)
        return;
    QListWidgetItem* below = ListBox1->item(row + 1);
    QListWidgetItem* selected = ListBox1->item(row);
    const QString text = below->text();
    below->setText(selected->text());
    selected->setText(text);
    ListBox1->setCurrentRow(row + 1);
}

void TOPCClientDialog::SearchButtonClick() {
    const QString machine = MachineEdit->text();
    const QString server = ServerEdit->text();
    // The search dialog lists the machine's servers through COM on this thread.
    ComInit com;
    TVirelonSearchDialog dialog(this);
    dialog.MachineEdit->setText(machine);
    dialog.ServerEdit->setText(server);
    if (dialog.exec() != mrOk)
        return;
    MachineEdit->setText(dialog.MachineEdit->text());
    ServerEdit->setText(dialog.ServerEdit->text());
    if (MachineEdit->text() != machine || ServerEdit->text() != server)
        BuildTagTree();
}

void TOPCClientDialog::UpdateButtonClick() {
    BuildTagTree();
}

void TOPCClientDialog::Button1Click() {
    // The manual lies beside the block library: any address inside it names the library.
    OpenHelpDocument(this, reinterpret_cast<const void*>(&ShowParameterDialog));
}

}  // namespace virelon

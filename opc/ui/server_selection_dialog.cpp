#include "opc/ui/server_selection_dialog.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QTreeWidget>

#include "opc/ui/form_support.h"

namespace {

// Restores the cursor on every way out of the listing.
class HourglassCursor {
  public:
    HourglassCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~HourglassCursor() { QApplication::restoreOverrideCursor(); }
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;
};

}  // namespace

TServerSelectionDialog::TServerSelectionDialog(QWidget* owner, const ServerSelectionLayout& layout)
    : QDialog(owner) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (layout.stayOnTop)
        flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    setWindowTitle(layout.caption);
    setFont(FormFont());
    FixClientArea(this, layout.clientArea.width(), layout.clientArea.height());

    int labelNumber = 0;
    auto label = [&](const ServerSelectionLayout::Text& text) {
        return PlaceLabel(this, QStringLiteral("Label%1").arg(++labelNumber), text.text, text.pos);
    };

    QLabel* machineLabel = label(layout.machineLabel);
    MachineEdit = new QLineEdit(this);
    MachineEdit->setObjectName(QStringLiteral("MachineEdit"));
    MachineEdit->setGeometry(layout.machineEdit);
    machineLabel->setBuddy(MachineEdit);
    if (layout.machineHint)
        label(*layout.machineHint);

    BrowseButton = new QPushButton(QStringLiteral("Browse"), this);
    BrowseButton->setObjectName(QStringLiteral("BrowseButton"));
    BrowseButton->setGeometry(layout.browseButton);
    BrowseButton->setAutoDefault(false);

    QLabel* serverLabel = label(layout.serverLabel);
    ServerEdit = new QLineEdit(this);
    ServerEdit->setObjectName(QStringLiteral("ServerEdit"));
    ServerEdit->setGeometry(layout.serverEdit);
    serverLabel->setBuddy(ServerEdit);

    label(layout.listLabel);
    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(layout.listView);
    ListView1->setColumnCount(2);
    ListView1->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("ClassID")});
    ListView1->setColumnWidth(0, layout.nameColumnWidth);
    ListView1->setColumnWidth(1, layout.classIdColumnWidth);
    ListView1->header()->setStretchLastSection(false);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setExpandsOnDoubleClick(false);
    // The selected row stays visible when the list loses the focus.
    QPalette palette = ListView1->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    ListView1->setPalette(palette);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Selectserverbyname1 = PopupMenu1->addAction(QStringLiteral("Select server by name"));
    Selectserverbyname1->setObjectName(QStringLiteral("Selectserverbyname1"));
    SelectserverbyClassID1 = PopupMenu1->addAction(QStringLiteral("Select server by ClassID"));
    SelectserverbyClassID1->setObjectName(QStringLiteral("SelectserverbyClassID1"));
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);

    label(layout.listHint);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(layout.okButton);
    OKBtn->setDefault(true);

    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(layout.cancelButton);
    CancelBtn->setAutoDefault(false);

    connect(BrowseButton, &QPushButton::clicked, this, [this] { BrowseButtonClick(); });
    connect(Selectserverbyname1, &QAction::triggered, this, [this] { Selectserverbyname1Click(); });
    connect(SelectserverbyClassID1, &QAction::triggered, this,
            [this] { SelectserverbyClassID1Click(); });
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ListViewContextMenu(pos); });
    // Virtual dispatch reaches the variant's OK once construction is complete.
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { reject(); });

    CentreOnScreen(this, owner);
    MachineEdit->setFocus();
}

TServerSelectionDialog::~TServerSelectionDialog() = default;

void TServerSelectionDialog::BrowseButtonClick() {
    std::vector<QString> names;
    std::vector<QString> classIds;
    HourglassCursor hourglass;
    const QString machine = MachineEdit->text();
    ListServers(machine, names, classIds);
    ListView1->clear();
    for (size_t i = 0; i < names.size() && i < classIds.size(); ++i) {
        if (!ShowsServer(names[i], machine))
            continue;
        auto* row = new QTreeWidgetItem(ListView1);
        row->setText(0, names[i]);
        row->setText(1, classIds[i]);
    }
}

void TServerSelectionDialog::Selectserverbyname1Click() {
    if (QTreeWidgetItem* row = ListView1->currentItem(); row && row->isSelected())
        ServerEdit->setText(row->text(0));
}

void TServerSelectionDialog::SelectserverbyClassID1Click() {
    if (QTreeWidgetItem* row = ListView1->currentItem(); row && row->isSelected())
        ServerEdit->setText(row->text(1));
}

void TServerSelectionDialog::OKBtnClick() {
    done(mrOk);
}

void TServerSelectionDialog::reject() {
    done(mrCancel);
}

bool TServerSelectionDialog::ShowsServer(const QString&, const QString&) const {
    return true;
}

void TServerSelectionDialog::ListViewContextMenu(const QPoint& pos) {
    // The hint under the list tells the user to pick a server with the right button, so the
    // row under the mouse is selected before the menu opens.
    if (QTreeWidgetItem* row = ListView1->itemAt(pos)) {
        ListView1->setCurrentItem(row);
        row->setSelected(true);
    }
    PopupMenu1->popup(ListView1->viewport()->mapToGlobal(pos));
}

#include "testclient/dravik_add_tag_dialog.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "opc/opc_access.h"
#include "opc/ui/form_support.h"
#include "opc/ui/server_selection_dialog.h"
#include "platform/text/text.h"
#include "testclient/dravik_main_window.h"

TDravikAddTagDialog::TDravikAddTagDialog(TForm1* owner) : QDialog(owner), owner_(owner) {
    setObjectName(QStringLiteral("DravikAddTagDialog"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Add item"));
    setFont(FormFont());
    FixClientArea(this, 313, 214);

    Label1 = PlaceLabel(this, QStringLiteral("Label1"), QStringLiteral("Tags:"), QPoint(16, 16));
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(16, 36, 281, 125);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setSortingEnabled(false);
    ListBox1->setUniformItemSizes(true);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(79, 180, 75, 23);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(159, 180, 75, 23);
    CancelBtn->setAutoDefault(false);

    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { reject(); });
    connect(ListBox1, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* line) { ListBox1DblClick(line); });
    connect(ListBox1, &QListWidget::itemSelectionChanged, this,
            [this] { OKBtn->setEnabled(SelectedLine() >= 0); });

    CentreOnScreen(this, owner);
    FormCreate();
    OKBtn->setEnabled(SelectedLine() >= 0);
    ListBox1->setFocus();
}

void TDravikAddTagDialog::FormCreate() {
    itemIds_.clear();
    ListBox1->clear();
    if (owner_ && owner_->Connected && owner_->Connection) {
        // Held for the browse, in case the connection ends meanwhile.
        const ComPtr<IOPCServer> server = owner_->Connection->OPCServer;
        OPCNAMESPACETYPE organization = OPC_NS_HIERARCHIAL;
        ServerBrowseItemIDs(server.Get(), itemIds_, organization);
    }
    for (const std::string& itemId : itemIds_)
        ListBox1->addItem(QString::fromStdString(AnsiToUtf8(itemId)));
    if (ListBox1->count() > 0)
        ListBox1->setCurrentRow(0);
}

void TDravikAddTagDialog::OKBtnClick() {
    const int line = SelectedLine();
    if (line < 0)
        return;
    SelectedItemID = itemIds_[static_cast<size_t>(line)];
    done(mrOk);
}

void TDravikAddTagDialog::ListBox1DblClick(QListWidgetItem* line) {
    if (!line)
        return;
    ListBox1->setCurrentItem(line);
    OKBtnClick();
}

void TDravikAddTagDialog::reject() {
    done(mrCancel);
}

int TDravikAddTagDialog::SelectedLine() const {
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    if (selected.isEmpty())
        return -1;
    const int row = ListBox1->row(selected.first());
    return row >= 0 && row < static_cast<int>(itemIds_.size()) ? row : -1;
}

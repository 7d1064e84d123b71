#include "testclient/dravik_write_tag_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "opc/ui/form_support.h"
#include "opc/ui/server_selection_dialog.h"
#include "platform/text/text.h"
#include "testclient/dravik_main_window.h"

TDravikWriteTagDialog::TDravikWriteTagDialog(TForm1* owner) : QDialog(owner), owner_(owner) {
    setObjectName(QStringLiteral("DravikWriteTagDialog"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Write item"));
    setFont(FormFont());
    FixClientArea(this, 268, 213);

    Label2 = PlaceLabel(this, QStringLiteral("Label2"), QStringLiteral("Select item to write:"),
                        QPoint(16, 12));
    TagListbox = new QListWidget(this);
    TagListbox->setObjectName(QStringLiteral("TagListbox"));
    TagListbox->setGeometry(16, 32, 237, 97);
    TagListbox->setSelectionMode(QAbstractItemView::SingleSelection);
    TagListbox->setSortingEnabled(false);

    Label1 = PlaceLabel(this, QStringLiteral("Label1"), QStringLiteral("Value:"), QPoint(44, 148));
    ValueEdit = new TRealEdit(this);
    ValueEdit->setObjectName(QStringLiteral("ValueEdit"));
    ValueEdit->setGeometry(92, 144, 121, 21);
    ValueEdit->setText(QStringLiteral("0.00"));
    ValueEdit->SetFormat(QStringLiteral("%16.10g"));
    ValueEdit->SetIsZeroAllowed(true);
    ValueEdit->SetNoBlanks(true);
    ValueEdit->SetMinValue(0);
    ValueEdit->SetMaxValue(0);
    ValueEdit->Loaded();

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(96, 184, 75, 23);
    OKBtn->setDefault(true);

    connect(OKBtn, &QPushButton::clicked, this, [this] { done(mrOk); });

    CentreOnScreen(this, owner);
    FormCreate();
}

void TDravikWriteTagDialog::FormCreate() {
    TagListbox->clear();
    if (owner_ && owner_->Connected && owner_->Connection) {
        for (const std::string& itemId : owner_->Connection->ItemIDs)
            TagListbox->addItem(QString::fromStdString(AnsiToUtf8(itemId)));
    }
    TagListbox->clearSelection();
}

int TDravikWriteTagDialog::SelectedIndex() const {
    const QList<QListWidgetItem*> selected = TagListbox->selectedItems();
    return selected.isEmpty() ? -1 : TagListbox->row(selected.first());
}

void TDravikWriteTagDialog::reject() {
    done(mrCancel);
}

void TDravikWriteTagDialog::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

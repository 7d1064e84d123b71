#include "plugin/ui/virelon_add_item_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "plugin/ui/detail/form.h"

namespace virelon {

using namespace form;

TVirelonAddItemDialog::TVirelonAddItemDialog(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("VirelonAddItemDialog"));
    SetUpFixedDialog(this, QStringLiteral("Add item"), 313, 113, true);

    NameEdit = new QLineEdit(this);
    NameEdit->setObjectName(QStringLiteral("NameEdit"));
    NameEdit->setGeometry(80, 32, 217, 21);
    Label1 = MakeLabel(this, QStringLiteral("&Item name:"), 16, 36);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setBuddy(NameEdit);
    OKBtn = MakeButton(this, "OKBtn", QStringLiteral("OK"), 79, 80, 75, 25);
    OKBtn->setDefault(true);
    CancelBtn = MakeButton(this, "CancelBtn", QStringLiteral("Cancel"), 159, 80, 75, 25);
    connect(OKBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { done(mrCancel); });

    setTabOrder(NameEdit, OKBtn);
    setTabOrder(OKBtn, CancelBtn);
    NameEdit->setFocus();
}

void TVirelonAddItemDialog::reject() {
    done(mrCancel);
}

}  // namespace virelon

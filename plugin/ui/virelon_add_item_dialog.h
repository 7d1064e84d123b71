// TVirelonAddItemDialog (unit VirelonAddItemDlg): the small dialog in which the user types an
// item identifier by hand. It has no code of its own: its caller reads NameEdit after OK.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace virelon {

class TVirelonAddItemDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TVirelonAddItemDialog(QWidget* owner = nullptr);

    // Closing by the close box or Escape is Cancel (2), as the Cancel button.
    void reject() override;

    QLabel* Label1;
    QLineEdit* NameEdit;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};

}  // namespace virelon

// The test client's write dialog: the identifiers of the items already added and a numeric
// field. The main window reads the selected line and the number after the dialog has closed and
// writes the number to that item. There is no cancel path.
#pragma once

#include <QDialog>

#include "components/ui/qncomps.h"

class QLabel;
class QListWidget;
class QPushButton;
class TForm1;

class TDravikWriteTagDialog : public QDialog {
    Q_OBJECT
  public:
    // Runs FormCreate: lists the items of `owner`'s connection.
    explicit TDravikWriteTagDialog(TForm1* owner);

    QLabel* Label2 = nullptr;
    QListWidget* TagListbox = nullptr;  // line i is item i of the connection
    QLabel* Label1 = nullptr;
    TRealEdit* ValueEdit = nullptr;
    QPushButton* OKBtn = nullptr;

    // Copies the connection's item identifiers into TagListbox; no line is selected.
    void FormCreate();
    // The selected line of TagListbox, -1 when none is selected.
    int SelectedIndex() const;

    // The close box closes the dialog (with Cancel, 2); the caller writes all the same.
    void reject() override;

  protected:
    // Escape does nothing: there is no cancel button.
    void keyPressEvent(QKeyEvent* e) override;

  private:
    TForm1* owner_;
};

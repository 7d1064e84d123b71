// The test client's add-item dialog: lists every item identifier that the connected server
// offers and returns the one the user picks. Opened by the main window while it is connected;
// the dialog reaches the connection through the window and does no OPC work besides the browse.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class TForm1;

class TDravikAddTagDialog : public QDialog {
    Q_OBJECT
  public:
    // Runs FormCreate: browses the server of `owner`'s connection.
    explicit TDravikAddTagDialog(TForm1* owner);

    QLabel* Label1 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // The chosen identifier (system code page); empty until one is chosen with OK.
    std::string SelectedItemID;

    // Fills ListBox1 with the server's item identifiers and selects the first line.
    void FormCreate();
    // OK and a double-click close with OK (1) only when a line is selected, so the dialog never
    // returns an item without one (an empty list in particular). OK is disabled meanwhile.
    void OKBtnClick();
    void ListBox1DblClick(QListWidgetItem* line);
    // Cancel, Escape and the close box close with Cancel (2).
    void reject() override;

  private:
    int SelectedLine() const;

    TForm1* owner_;
    std::vector<std::string> itemIds_;  // line i as the server delivered it
};

// TOPCClientDialog (unit VirelonDlg): the block's parameter dialog. The user picks the OPC
// server, browses its tag tree, chooses up to 50 items in output order and sets the log,
// server-state, pause and update-rate options. The dialog only edits its controls; the caller
// (CallParameterDialogDLL) fills them from the instance and stores them back on OK.
//
// UI thread only. Tree builds connect to the server on this thread, for the build alone.
#pragma once

#include <QDialog>
#include <QDomDocument>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;
class TIntegerEdit;

namespace virelon {

class TOPCClientDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TOPCClientDialog(QWidget* owner = nullptr);
    ~TOPCClientDialog() override;

    // Closing by the close box or Escape is Cancel (2), as the Cancel button.
    void reject() override;

    // Connects to the server of MachineEdit/ServerEdit, browses its item identifiers and fills
    // TreeView1: a flat list below "Root" for a flat address space (expanded), else the tree
    // split at the dots (collapsed). A failed connection leaves the tree empty and says so.
    void BuildTagTree();

    void SearchButtonClick();
    void UpdateButtonClick();
    void AddButtonClick();
    void AddButton2Click();
    void RemoveButtonClick();
    void RemoveAllButtonClick();
    void UpButtonClick();
    void DownButtonClick();
    void TreeView1DblClick();
    void Button1Click();

    // The row of ListBox1's selected entry, or -1.
    int SelectedIndex() const;

    QGroupBox* GroupBox1;
    QLineEdit* MachineEdit;
    QLineEdit* ServerEdit;
    QPushButton* SearchButton;
    QGroupBox* GroupBox4;
    QComboBox* TypeComboBox;
    QCheckBox* LogFileCB;
    QGroupBox* GroupBox5;
    QRadioButton* DelayRB1;
    QRadioButton* DelayRB2;
    TIntegerEdit* DelayTimeEdit;
    QGroupBox* GroupBox6;
    TIntegerEdit* GroupUpdateRateEdit;
    QGroupBox* GroupBox2;
    QTreeWidget* TreeView1;
    QProgressBar* ProgressBar;
    QGroupBox* GroupBox3;
    QListWidget* ListBox1;
    QPushButton* AddButton;
    QPushButton* AddButton2;
    QPushButton* RemoveButton;
    QPushButton* RemoveAllButton;
    QPushButton* UpButton;
    QPushButton* DownButton;
    QPushButton* UpdateButton;
    QCheckBox* CheckStateCB;
    QCheckBox* UseTriggerInputCB;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QPushButton* Button1;
    // Used by the tag tree cache; empty except while a save or load runs.
    QDomDocument XMLDocument1;

    // The address-space organisation of the last successful browse (1 hierarchical, 2 flat);
    // 0 until the dialog has browsed. Loading the tree from the cache does not set it.
    int32_t FNamespaceType = 0;

  private:
    // Appends an item identifier to ListBox1 unless it holds the most items a block has.
    bool ListIsFull() const;
};

}  // namespace virelon

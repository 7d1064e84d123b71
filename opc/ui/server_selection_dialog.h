// The server selection dialog: the user names a machine (empty: this computer) and a server (a
// ProgID, or a class identifier in registry text form). The dialog lists the OPC servers of the
// machine to help, and copies a row's name or class identifier into the server field from the
// list's pop-up menu. It never connects to the server; it only returns the two texts.
//
// Two variants share the behaviour and differ in layout, texts, result fields and one listing
// rule:
//   - TDravikConnectDialog, opened by the test client's Connect; the result is in MachineName
//     and ServerName (system code page), empty until OK.
//   - TVirelonSearchDialog, opened by the plug-in's parameter dialog; the caller may preset
//     MachineEdit and ServerEdit before showing it and reads them back after OK. It keeps the
//     simulation host's own server, "KORVA.OPCServer", out of the local machine's list.
//
// Create the dialog with its owner, show it with exec() and free it afterwards. exec() answers
// the modal result: 1 for OK, 2 for Cancel (also Escape and the close box). The listing of this
// computer runs once while the dialog is created. UI thread only; COM must be initialised on it.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTreeWidget;

// Modal results of the system's dialogs.
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

// The ProgID that the simulation host's own server is registered under.
inline constexpr const char* kHostOpcServerProgID = "KORVA.OPCServer";

// What the variants do not share: captions, texts and positions (left, top, width x height).
struct ServerSelectionLayout {
    struct Text {
        QString text;
        QPoint pos;
    };
    QString caption;
    QSize clientArea;
    bool stayOnTop = false;
    Text machineLabel;
    std::optional<Text> machineHint;
    QRect machineEdit;
    QRect browseButton;
    Text serverLabel;
    QRect serverEdit;
    Text listLabel;
    QRect listView;
    int nameColumnWidth = 0;
    int classIdColumnWidth = 0;
    Text listHint;
    QRect okButton;
    QRect cancelButton;
};

class TServerSelectionDialog : public QDialog {
    Q_OBJECT
  public:
    ~TServerSelectionDialog() override;

    // Controls, named as on the form (objectName too). Labels are Label1, Label2, ... from top
    // to bottom.
    QLineEdit* MachineEdit = nullptr;
    QLineEdit* ServerEdit = nullptr;
    QPushButton* BrowseButton = nullptr;
    QTreeWidget* ListView1 = nullptr;  // column 0 "Name", column 1 "ClassID"
    QMenu* PopupMenu1 = nullptr;
    QAction* Selectserverbyname1 = nullptr;
    QAction* SelectserverbyClassID1 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // Lists the servers of the machine in MachineEdit, with the hourglass cursor meanwhile. An
    // unreachable machine, or one without servers, gives an empty list and no message.
    void BrowseButtonClick();
    // Pop-up entries: the selected row's name or class identifier into ServerEdit; nothing
    // without a selected row.
    void Selectserverbyname1Click();
    void SelectserverbyClassID1Click();
    // Closes with OK; TDravikConnectDialog first copies the edit texts into its result fields.
    virtual void OKBtnClick();

    // Cancel, Escape and the close box close with Cancel (2), not with QDialog's Rejected (0).
    void reject() override;

  protected:
    TServerSelectionDialog(QWidget* owner, const ServerSelectionLayout& layout);

    // The variant's listing: name i belongs to class identifier i (registry text form), in the
    // sorted order of the server enumeration.
    virtual void ListServers(const QString& machine, std::vector<QString>& names,
                             std::vector<QString>& classIds) const = 0;
    // Whether the listing shows the entry `name` when the machine field holds `machine`.
    virtual bool ShowsServer(const QString& name, const QString& machine) const;

  private:
    void ListViewContextMenu(const QPoint& pos);
};

class TDravikConnectDialog : public TServerSelectionDialog {
    Q_OBJECT
  public:
    explicit TDravikConnectDialog(QWidget* owner);

    // The edit texts when OK was pressed, in the system code page; empty until then.
    std::string MachineName;
    std::string ServerName;

    void OKBtnClick() override;

  protected:
    void ListServers(const QString& machine, std::vector<QString>& names,
                     std::vector<QString>& classIds) const override;
};

class TVirelonSearchDialog : public TServerSelectionDialog {
    Q_OBJECT
  public:
    explicit TVirelonSearchDialog(QWidget* owner);

  protected:
    void ListServers(const QString& machine, std::vector<QString>& names,
                     std::vector<QString>& classIds) const override;
    // Leaves out "KORVA.OPCServer" (exact letter case) while the machine field is empty.
    bool ShowsServer(const QString& name, const QString& machine) const override;
};

// The layouts of the two variants.
const ServerSelectionLayout& DravikConnectLayout();
const ServerSelectionLayout& VirelonSearchLayout();

// The test client's main window (TForm1): connect to one server, add items from its address
// space, watch their values and the server state every 100 ms, write numbers to items, and read
// the timestamped status lines. All OPC work runs on the window's thread, which must have joined
// a single-threaded COM apartment before the window is created.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <string>

#include "testclient/opc_connection.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;

inline constexpr const char* kCaption = "KORVA OPC Test Client";
inline constexpr const char* kCaptionShutdown =
    "KORVA OPC Test Client (Server requested disconnect.)";
// The program's title: the caption of its message boxes.
inline constexpr const char* kProgramTitle = "Dravik";

class TForm1 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm1(QWidget* parent = nullptr);
    // Stops the timer and releases an open connection's references; nothing is sent to the
    // server.
    ~TForm1() override;

    // Controls, named as on the form (objectName too).
    QLabel* Label1 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* Button2 = nullptr;  // Connect
    QPushButton* Button3 = nullptr;  // Disconnect
    QPushButton* Button4 = nullptr;  // Add Item
    QPushButton* Button5 = nullptr;  // Write Item
    QLabel* Label3 = nullptr;
    QLineEdit* Edit1 = nullptr;      // server state
    QPushButton* Button7 = nullptr;  // Clear Messages
    QPushButton* Button6 = nullptr;  // Help
    QPushButton* Button1 = nullptr;  // Close
    QTimer* Timer1 = nullptr;        // 100 ms, running from creation

    // Disconnect writes its status line only while this is true; the shutdown handler clears it
    // around its own Disconnect.
    bool LogUserDisconnect = true;
    bool Connected = false;
    std::unique_ptr<TOPCConnection> Connection;

    void FormCreate();
    void FormDestroy();
    void Button1Click();
    void Button2Click();
    void Button3Click() { Disconnect(); }
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    // The server state into Edit1: its number while connected, "???" otherwise.
    void Button8Click();
    void Timer1Timer();

    // Ends the open connection: caption, user-disconnect status line (while LogUserDisconnect),
    // the connection freed, the item list emptied. Nothing when not connected.
    void Disconnect();
    // Rebuilds ListBox1 from the connection's items.
    void UpdateItemList();
    void AppendStatusLine(const QString& line);

    // Connect's work after the selection dialog: connects to `server` on `machine`, subscribes
    // the shutdown sink and creates the group "Main". False, with nothing changed, when no
    // server could be reached; false too when a shutdown request ended the new connection
    // before it was complete.
    bool ConnectTo(const std::string& machine, const std::string& server);
    // Add Item's work after its dialog: adds `itemId` to the group and lists it with the value 0.
    void AddItemToConnection(const std::string& itemId);

    // The current local time as the status lines write it.
    static QString Timestamp();

  private:
    // True while the window's connection is still the one whose Id is `connectionId`.
    bool StillConnectedTo(uint64_t connectionId) const;
    QString ItemLine(int i) const;
    void ShowMessage(const QString& text);

    QObject* apartmentPump_ = nullptr;
};

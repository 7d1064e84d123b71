#include "testclient/dravik_main_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include "components/ui/help_document.h"
#include "components/ui/message_box.h"
#include "opc/opc_access.h"
#include "opc/ui/form_support.h"
#include "opc/ui/server_selection_dialog.h"
#include "platform/text/text.h"
#include "testclient/dravik_add_tag_dialog.h"
#include "testclient/dravik_write_tag_dialog.h"
#include "testclient/value_text.h"

namespace {

QString FromAnsi(const std::string& text) {
    return QString::fromStdString(AnsiToUtf8(text));
}

// Runs the calls that other threads queue for the window's apartment (a server's shutdown
// request from its own thread) on the window's thread, from the event loop, modal loops
// included.
class ApartmentPump : public QObject {
  public:
    static QEvent::Type EventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    explicit ApartmentPump(QObject* parent) : QObject(parent) {
        CoSetApartmentWakeup(
            [this] { QCoreApplication::postEvent(this, new QEvent(EventType())); });
        // Calls queued before the hook existed.
        QCoreApplication::postEvent(this, new QEvent(EventType()));
    }
    ~ApartmentPump() override {
        // Once this returns the hook is not running and will not run again, so no event is
        // posted to the object after it is gone.
        CoSetApartmentWakeup({});
    }

  protected:
    bool event(QEvent* e) override {
        if (e->type() != EventType())
            return QObject::event(e);
        CoDispatchApartmentCalls();
        return true;
    }
};

QPushButton* PlaceButton(QWidget* parent, const char* name, const char* caption, int left,
                         int top) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, top, 89, 23);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromLatin1(kCaption));
    setFont(FormFont());
    FixClientArea(this, 440, 345);

    Label1 = PlaceLabel(this, QStringLiteral("Label1"), QStringLiteral("Items:"), QPoint(8, 12));
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 32, 317, 189);
    ListBox1->setUniformItemSizes(true);

    Label2 = PlaceLabel(this, QStringLiteral("Label2"), QStringLiteral("Status Messages:"),
                        QPoint(12, 228));
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(12, 248, 317, 89);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    Button2 = PlaceButton(this, "Button2", "Connect", 340, 36);
    Button3 = PlaceButton(this, "Button3", "Disconnect", 340, 64);
    Button4 = PlaceButton(this, "Button4", "Add Item", 340, 104);
    Button5 = PlaceButton(this, "Button5", "Write Item", 340, 132);
    Label3 = PlaceLabel(this, QStringLiteral("Label3"), QStringLiteral("Server State:"),
                        QPoint(344, 176));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(344, 192, 73, 21);
    Edit1->setReadOnly(true);
    Button7 = PlaceButton(this, "Button7", "Clear Messages", 340, 248);
    Button6 = PlaceButton(this, "Button6", "Help", 340, 276);
    Button1 = PlaceButton(this, "Button1", "Close", 340, 308);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
    connect(Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

    apartmentPump_ = new ApartmentPump(this);
    FormCreate();
    Timer1->start();
}

TForm1::~TForm1() {
    FormDestroy();
    // Closing the program lets go of the server: the connection's references are released,
    // without removing the group or cancelling the subscription.
    LogUserDisconnect = false;
    Connected = false;
    std::unique_ptr<TOPCConnection> connection = std::move(Connection);
    connection.reset();
    delete apartmentPump_;
    apartmentPump_ = nullptr;
}

void TForm1::FormCreate() {
    Connection.reset();
    Connected = false;
    LogUserDisconnect = true;
}

void TForm1::FormDestroy() {
    Timer1->stop();
}

void TForm1::Button1Click() {
    close();
}

void TForm1::Button2Click() {
    if (Connected) {
        ShowMessage(QStringLiteral("Client already connected!"));
        return;
    }
    TDravikConnectDialog dialog(this);
    if (dialog.exec() != mrOk)
        return;
    // Nothing else may connect while the dialog is open, but a modal loop runs whatever is
    // queued: never replace a connection that exists by now.
    if (Connected)
        return;
    ConnectTo(dialog.MachineName, dialog.ServerName);
}

bool TForm1::ConnectTo(const std::string& machine, const std::string& server) {
    Connection = std::make_unique<TOPCConnection>(this);
    const bool reached = ConnectToServer(machine, server, Connection->OPCServer);
    Connection->MachineName = machine;
    Connection->ServerName = server;
    if (!reached) {
        Connection.reset();
        return false;
    }
    const uint64_t id = Connection->Id;
    setWindowTitle(QString::fromLatin1(kCaption) + QStringLiteral(" (connected to ") +
                   FromAnsi(server) + QLatin1Char(')'));
    AppendStatusLine(QStringLiteral("Connected to ") + FromAnsi(server) + QStringLiteral(" at ") +
                     Timestamp());
    Connected = true;

    // The server may call back into the window during these calls; the local references keep
    // the interfaces alive if that ends the connection.
    const ComPtr<IOPCServer> opcServer = Connection->OPCServer;
    const ComPtr<IOPCShutdown> sink = Connection->ShutdownSink;
    ServerAdviseShutdown(opcServer.Get(), sink.Get());
    if (!StillConnectedTo(id))
        return false;
    ComPtr<IOPCItemMgt> group;
    OPCHANDLE groupHandle = 0;
    ServerCreateGroup(opcServer.Get(), std::string_view("Main"), BOOL(-1), 0, group, groupHandle);
    if (!StillConnectedTo(id))
        return false;
    Connection->Group = std::move(group);
    Connection->GroupHandle = groupHandle;
    return true;
}

void TForm1::Disconnect() {
    if (!Connected)
        return;
    Connected = false;
    setWindowTitle(QString::fromLatin1(kCaption));
    if (LogUserDisconnect)
        AppendStatusLine(QStringLiteral("Disconnected by user at ") + Timestamp());
    // Taken out of the window first, so that nothing reached from the release sees it half gone.
    std::unique_ptr<TOPCConnection> connection = std::move(Connection);
    connection.reset();
    UpdateItemList();
}

void TForm1::Button4Click() {
    if (!Connected) {
        ShowMessage(QStringLiteral("Client not connected!"));
        return;
    }
    const uint64_t id = Connection->Id;
    TDravikAddTagDialog dialog(this);
    if (dialog.exec() != mrOk)
        return;
    // A shutdown request may have ended the connection while the dialog was open.
    if (!StillConnectedTo(id))
        return;
    AddItemToConnection(dialog.SelectedItemID);
}

void TForm1::AddItemToConnection(const std::string& itemId) {
    if (!Connected)
        return;
    const uint64_t id = Connection->Id;
    const ComPtr<IOPCItemMgt> group = Connection->Group;
    OPCHANDLE handle = 0;
    VARTYPE canonicalType = VT_EMPTY;
    const HRESULT hr = GroupAddItem(group.Get(), itemId, 0, VT_EMPTY, handle, canonicalType);
    if (!StillConnectedTo(id))
        return;
    const bool accepted = SUCCEEDED(hr);
    Connection->AppendItem(itemId, accepted ? handle : 0, accepted);
    UpdateItemList();
}

void TForm1::Button5Click() {
    if (!Connected || ListBox1->count() == 0)
        return;
    const uint64_t id = Connection->Id;
    TDravikWriteTagDialog dialog(this);
    dialog.exec();  // no cancel path: however the dialog closes, the value is written
    if (!StillConnectedTo(id))
        return;
    const long double entered = dialog.ValueEdit->Value();
    int i = dialog.SelectedIndex();
    if (i < 0)
        i = 0;
    if (i >= Connection->ItemCount())
        return;
    const double value = static_cast<double>(entered);
    HRESULT hr = E_FAIL;
    // A number beyond the range of a double cannot be written as one.
    if (std::isfinite(value)) {
        Connection->ItemValues[static_cast<size_t>(i)] = value;
        if (Connection->ItemAccepted[static_cast<size_t>(i)]) {
            const ComPtr<IOPCItemMgt> group = Connection->Group;
            hr = GroupWriteItemValue(group.Get(), Connection->ItemHandle(i),
                                     Variant::FromDouble(value).get());
        }
    }
    // Writing can make the server ask for the shutdown from inside the write.
    if (!StillConnectedTo(id))
        return;
    if (SUCCEEDED(hr))
        UpdateItemList();
    else
        ShowMessage(QStringLiteral("Cannot write item!"));
}

void TForm1::Button6Click() {
    OpenHelpDocument(this, nullptr);
}

void TForm1::Button7Click() {
    Memo1->clear();
}

void TForm1::Button8Click() {
    if (!Connected) {
        Edit1->setText(QStringLiteral("???"));
        return;
    }
    const ComPtr<IOPCServer> opcServer = Connection->OPCServer;
    Edit1->setText(QString::number(ServerGetState(opcServer.Get())));
}

void TForm1::Timer1Timer() {
    Button8Click();
    if (!Connected)
        return;
    const uint64_t id = Connection->Id;
    const ComPtr<IOPCItemMgt> group = Connection->Group;
    std::string text;
    for (int i = 0; i < Connection->ItemCount(); ++i) {
        double value = kNoValue;
        if (Connection->ItemAccepted[static_cast<size_t>(i)]) {
            WORD quality = 0;
            text.clear();
            const HRESULT hr =
                GroupReadItemText(group.Get(), Connection->ItemHandle(i), text, quality);
            if (!StillConnectedTo(id))
                return;
            if (SUCCEEDED(hr))
                value = ReadItemNumber(text).value_or(kNoValue);
        }
        Connection->ItemValues[static_cast<size_t>(i)] = value;
        if (QListWidgetItem* line = ListBox1->item(i))
            line->setText(ItemLine(i));
    }
}

void TForm1::UpdateItemList() {
    ListBox1->clear();
    if (!Connected)
        return;
    for (int i = 0; i < Connection->ItemCount(); ++i)
        ListBox1->addItem(ItemLine(i));
}

void TForm1::AppendStatusLine(const QString& line) {
    Memo1->appendPlainText(line);
}

QString TForm1::Timestamp() {
    return QString::fromStdString(LocaleTimestampNow());
}

bool TForm1::StillConnectedTo(uint64_t connectionId) const {
    return Connected && Connection && Connection->Id == connectionId;
}

QString TForm1::ItemLine(int i) const {
    const size_t k = static_cast<size_t>(i);
    return FromAnsi(Connection->ItemIDs[k]) + QStringLiteral(" = ") +
           QString::fromStdString(ItemValueText(Connection->ItemValues[k]));
}

void TForm1::ShowMessage(const QString& text) {
    ShowMessageBox(this, text, QString::fromLatin1(kProgramTitle), MB_OK);
}

// TDravikConnectDialog: the test client's variant of the server selection dialog. The test client
// works with text in the system code page, so the listing and the result pass through it.
#include <QLineEdit>

#include "opc/opc_access.h"
#include "opc/ui/server_selection_dialog.h"
#include "platform/text/text.h"

namespace {

QString FromAnsi(const std::string& text) {
    return QString::fromStdString(AnsiToUtf8(text));
}

std::string ToAnsi(const QString& text) {
    return Utf8ToAnsi(text.toStdString());
}

}  // namespace

const ServerSelectionLayout& DravikConnectLayout() {
    static const ServerSelectionLayout layout = [] {
        ServerSelectionLayout l;
        l.caption = QStringLiteral("OPC Servers");
        l.clientArea = QSize(480, 328);
        l.stayOnTop = false;
        l.machineLabel = {QStringLiteral("Machine name (none = local):"), QPoint(24, 28)};
        l.machineEdit = QRect(180, 24, 197, 21);
        l.browseButton = QRect(380, 24, 75, 23);
        l.serverLabel = {QStringLiteral("Server name or ClassID:"), QPoint(24, 60)};
        l.serverEdit = QRect(180, 56, 197, 21);
        l.listLabel = {QStringLiteral("Available OPC servers:"), QPoint(24, 96)};
        l.listView = QRect(24, 116, 433, 153);
        l.nameColumnWidth = 180;
        l.classIdColumnWidth = 245;
        l.listHint = {QStringLiteral("(select server by right mouse click!)"), QPoint(24, 276)};
        l.okButton = QRect(305, 296, 75, 23);
        l.cancelButton = QRect(385, 296, 75, 23);
        return l;
    }();
    return layout;
}

TDravikConnectDialog::TDravikConnectDialog(QWidget* owner)
    : TServerSelectionDialog(owner, DravikConnectLayout()) {
    setObjectName(QStringLiteral("DravikConnectDialog"));
    BrowseButtonClick();
}

void TDravikConnectDialog::OKBtnClick() {
    MachineName = ToAnsi(MachineEdit->text());
    ServerName = ToAnsi(ServerEdit->text());
    TServerSelectionDialog::OKBtnClick();
}

void TDravikConnectDialog::ListServers(const QString& machine, std::vector<QString>& names,
                                       std::vector<QString>& classIds) const {
    std::vector<std::string> ansiNames;
    std::vector<std::string> ansiClassIds;
    EnumerateServers(ToAnsi(machine), ansiNames, ansiClassIds);
    names.clear();
    classIds.clear();
    for (const std::string& name : ansiNames)
        names.push_back(FromAnsi(name));
    for (const std::string& classId : ansiClassIds)
        classIds.push_back(FromAnsi(classId));
}

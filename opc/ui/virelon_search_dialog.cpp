// TVirelonSearchDialog: the plug-in's variant of the server selection dialog, in UTF-16 text.
#include "opc/opc_access.h"
#include "opc/ui/server_selection_dialog.h"

namespace {

QString FromUtf16(const std::u16string& text) {
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

}  // namespace

const ServerSelectionLayout& VirelonSearchLayout() {
    static const ServerSelectionLayout layout = [] {
        ServerSelectionLayout l;
        l.caption = QStringLiteral("Search OPC Server");
        l.clientArea = QSize(551, 330);
        l.stayOnTop = true;
        l.machineLabel = {QStringLiteral("&Machine name:"), QPoint(16, 24)};
        l.machineHint = ServerSelectionLayout::Text{
            QStringLiteral("(or IP-address;  none = Local machine)"), QPoint(136, 48)};
        l.machineEdit = QRect(136, 20, 321, 21);
        l.browseButton = QRect(460, 20, 75, 23);
        l.serverLabel = {QStringLiteral("&Server name or ClassID:"), QPoint(16, 88)};
        l.serverEdit = QRect(136, 84, 401, 21);
        l.listLabel = {QStringLiteral("Available servers:"), QPoint(16, 120)};
        l.listView = QRect(104, 120, 433, 141);
        l.nameColumnWidth = 210;
        l.classIdColumnWidth = 215;
        l.listHint = {QStringLiteral("(select server by right mouse click!)"), QPoint(104, 268)};
        l.okButton = QRect(380, 296, 75, 23);
        l.cancelButton = QRect(464, 296, 75, 23);
        return l;
    }();
    return layout;
}

TVirelonSearchDialog::TVirelonSearchDialog(QWidget* owner)
    : TServerSelectionDialog(owner, VirelonSearchLayout()) {
    setObjectName(QStringLiteral("VirelonSearchDialog"));
    BrowseButtonClick();
}

void TVirelonSearchDialog::ListServers(const QString& machine, std::vector<QString>& names,
                                       std::vector<QString>& classIds) const {
    std::vector<std::u16string> wideNames;
    std::vector<std::u16string> wideClassIds;
    EnumerateServers(std::u16string_view(reinterpret_cast<const char16_t*>(machine.utf16()),
                                         size_t(machine.size())),
                     wideNames, wideClassIds);
    names.clear();
    classIds.clear();
    for (const std::u16string& name : wideNames)
        names.push_back(FromUtf16(name));
    for (const std::u16string& classId : wideClassIds)
        classIds.push_back(FromUtf16(classId));
}

bool TVirelonSearchDialog::ShowsServer(const QString& name, const QString& machine) const {
    // The host's own server is of no use to its own block on this computer; on a named machine
    // (this one included) it is listed like any other.
    return !(machine.isEmpty() && name == QLatin1String(kHostOpcServerProgID));
}

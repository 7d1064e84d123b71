// CallParameterDialogDLL's work: the parameter dialog filled from the instance, shown modally on
// the host's thread, and on OK the tag tree cache, the instance and the host's output
// description updated, in that order. On Cancel nothing changes.
#include "plugin/parameter_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTreeWidget>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "components/ui/message_box.h"
#include "components/ui/qncomps.h"
#include "platform/text/text.h"
#include "plugin/block.h"
#include "plugin/ui/detail/form.h"
#include "plugin/ui/tag_tree_cache.h"
#include "plugin/ui/virelon_dialog.h"
#include "plugin/value_table.h"

namespace virelon {
namespace {

bool EnvironmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// The application object for one call: the host's when it has one, else the library's own,
// made for the call and gone with it. Qt ends the process when its default platform finds no
// display, so without one (and without a platform chosen through QT_QPA_PLATFORM) the library
// makes no application and shows nothing rather than take the host down.
class ApplicationScope {
  public:
    ApplicationScope() {
        if (QCoreApplication::instance())
            return;
        if (!EnvironmentSet("QT_QPA_PLATFORM") && !EnvironmentSet("DISPLAY") &&
            !EnvironmentSet("WAYLAND_DISPLAY"))
            return;
        static int argc = 1;
        static char name[] = "virelon";
        static char* argv[] = {name, nullptr};
        own_ = std::make_unique<QApplication>(argc, argv);
    }
    ApplicationScope(const ApplicationScope&) = delete;
    ApplicationScope& operator=(const ApplicationScope&) = delete;

    // Windows can be shown: there is an application object for widgets (a host that made only
    // a core application cannot show any).
    bool Usable() const { return qobject_cast<QApplication*>(QCoreApplication::instance()); }

  private:
    std::unique_ptr<QApplication> own_;
};

// The owner of the library's windows: the host window as a widget of this process, or a
// native window of another toolkit or process to which the dialog is made transient.
struct OwnerWindowOf {
    explicit OwnerWindowOf(korva::abi::HostWindowHandle handle) {
        if (!handle)
            return;
        if (QWidget* found = QWidget::find(static_cast<WId>(handle)))
            widget = found->window();
        else
            foreign.reset(QWindow::fromWinId(static_cast<WId>(handle)));
    }
    void Own(QWidget* dialog) const {
        if (!foreign)
            return;
        dialog->winId();  // creates the dialog's native window
        if (QWindow* window = dialog->windowHandle())
            window->setTransientParent(foreign.get());
    }

    QWidget* widget = nullptr;
    std::unique_ptr<QWindow> foreign;
};

QString FromAnsi(const std::string& ansi) {
    return QString::fromStdU16String(AnsiToUtf16(ansi));
}

void FillDialog(TOPCClientDialog& dialog, const TVirelonData& data) {
    dialog.TypeComboBox->setEnabled(false);
    dialog.LogFileCB->setChecked(data.WriteLogFile != 0);
    dialog.CheckStateCB->setChecked(data.CheckServerState != 0);
    dialog.MachineEdit->setText(QString::fromStdU16String(data.Machine));
    dialog.ServerEdit->setText(QString::fromStdU16String(data.Server));
    // Any other stored mode ticks neither button.
    dialog.DelayRB1->setChecked(data.DelayMode == 0);
    dialog.DelayRB2->setChecked(data.DelayMode == 1);
    dialog.DelayTimeEdit->SetValue(data.DelayTime);
    dialog.GroupUpdateRateEdit->SetValue(data.GroupUpdateRate);
    const int count = std::clamp<int32_t>(data.Count, 0, kMaxItems);
    for (int k = 0; k < count; ++k)
        dialog.ListBox1->addItem(FromAnsi(data.ItemIDs[k]));
}

void StoreDialog(TOPCClientDialog& dialog, TVirelonData& data, const QString& cacheFile,
                 korva::abi::THostIOInfo* io) {
    if (!cacheFile.isEmpty() && dialog.TreeView1->topLevelItemCount() > 0) {
        // A tree that cannot be written must not leave an older tree behind to be shown as
        // this server's at the next opening.
        if (!SaveTagTree(dialog.TreeView1, cacheFile, dialog.XMLDocument1))
            QFile::remove(cacheFile);
    }
    data.Machine = dialog.MachineEdit->text().toStdU16String();
    data.Server = dialog.ServerEdit->text().toStdU16String();
    // The add paths stop at the most items a block has.
    data.Count = std::min(dialog.ListBox1->count(), kMaxItems);
    data.WriteLogFile = dialog.LogFileCB->isChecked() ? 1 : 0;
    data.CheckServerState = dialog.CheckStateCB->isChecked() ? 1 : 0;
    data.DelayMode = dialog.DelayRB2->isChecked() ? 1 : 0;
    data.DelayTime = dialog.DelayTimeEdit->Value();
    data.GroupUpdateRate = dialog.GroupUpdateRateEdit->Value();
    for (int k = 0; k < data.Count; ++k)
        data.ItemIDs[k] = Utf16ToAnsi(dialog.ListBox1->item(k)->text().toStdU16String());
    if (io)
        DescribeOutputs(data, *io);
}

}  // namespace

void ShowParameterDialog(korva::abi::THostBlock& block, korva::abi::THostIOInfo* io) {
    TVirelonData* data = InstanceOf(&block);
    if (!data)
        return;
    ApplicationScope application;
    if (!application.Usable())
        return;
    // The library's owner window; after a disposal cleared it, the window of the block's host.
    const korva::abi::HostWindowHandle handle = OwnerWindow() ? OwnerWindow() : block.HostWindow;
    const OwnerWindowOf owner(handle);

    if (data->Simulating) {
        ShowMessageBox(owner.widget, QStringLiteral("Is simulating..."), QStringLiteral("Error"),
                       MB_ICONERROR | MB_OK);
        return;
    }

    TOPCClientDialog dialog(owner.widget);
    owner.Own(&dialog);
    FillDialog(dialog, *data);

    const QString cacheFile = QString::fromStdU16String(data->TagTreeFile);
    if (!cacheFile.isEmpty() && QFileInfo::exists(cacheFile)) {
        // A file that cannot be read or parsed opens the dialog with an empty tree.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        LoadTagTree(dialog.TreeView1, cacheFile, dialog.XMLDocument1);
        QApplication::restoreOverrideCursor();
    }

    if (dialog.exec() == form::mrOk)
        StoreDialog(dialog, *data, cacheFile, io);
}

}  // namespace virelon

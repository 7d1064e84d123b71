#include "host/edit_window.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <cstdlib>
#include <memory>
#include <string>

#include "host/commands.h"

namespace korva {
namespace {

bool EnvironmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

class QtHostWindow : public HostWindow {
  public:
    QtHostWindow(std::unique_ptr<QApplication> application, const std::string& title)
        : application_(std::move(application)), window_(std::make_unique<QMainWindow>()) {
        window_->setObjectName(QStringLiteral("KorvaMainWindow"));
        window_->setWindowTitle(QString::fromStdString(title));
        auto* label = new QLabel(QStringLiteral("The block's parameter dialog is open."));
        label->setAlignment(Qt::AlignCenter);
        window_->setCentralWidget(label);
        window_->resize(480, 120);
        window_->show();
    }

    abi::HostWindowHandle Handle() const override {
        return static_cast<abi::HostWindowHandle>(window_->winId());
    }

  private:
    // The window goes before the application object it needs.
    std::unique_ptr<QApplication> application_;
    std::unique_ptr<QMainWindow> window_;
};

std::unique_ptr<HostWindow> MakeQtHostWindow(const std::string& title, std::string& error) {
    std::unique_ptr<QApplication> application;
    if (!QCoreApplication::instance()) {
        if (!EnvironmentSet("QT_QPA_PLATFORM") && !EnvironmentSet("DISPLAY") &&
            !EnvironmentSet("WAYLAND_DISPLAY")) {
            error = "no display to show the dialog on (set DISPLAY or WAYLAND_DISPLAY)";
            return nullptr;
        }
        static int argc = 1;
        static char name[] = "korva";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QApplication>(argc, argv);
    } else if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        error = "the program's application object cannot show windows";
        return nullptr;
    }
    return std::make_unique<QtHostWindow>(std::move(application), title);
}

}  // namespace

void InstallQtHostWindow() {
    SetHostWindowFactory(MakeQtHostWindow);
}

}  // namespace korva

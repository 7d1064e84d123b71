// What the window tests of the test client and the server selection dialogs share: one
// QApplication (offscreen) with the component library started, a fixture with a private
// registry, COM on the test's thread and the simulation and fault servers registered, message
// boxes and beeps recorded, waiting on conditions with deadlines and acting on modal dialogs.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "components/ui/message_box.h"
#include "platform/com/com.h"
#include "tests/fixtures/opc/fault_server.h"
#include "tests/support/private_registry.h"

namespace dravik_test {

// Processes events until `condition` holds or the deadline passes; answers the condition.
bool WaitFor(const std::function<bool()>& condition, int milliseconds = 5000);

// Runs `action` on the first modal dialog of type T once it is open (polled from the event
// loop, so it also runs inside the dialog's own modal loop). If none opens before the deadline
// the test fails and any modal dialog that is open is rejected, so that nothing hangs.
void WhenModalOpen(const std::function<bool(QWidget*)>& matches,
                   const std::function<void(QWidget*)>& action, int milliseconds = 5000);
template <class T>
void WhenModal(const std::function<void(T*)>& action, int milliseconds = 5000) {
    WhenModalOpen([](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
                  [action](QWidget* w) { action(qobject_cast<T*>(w)); }, milliseconds);
}

// Writes `widget`'s picture to <build>/screenshots/<name>.png; answers the file's path (empty
// when it could not be written).
std::string SaveScreenshot(QWidget* widget, const std::string& name);

// Records every message box and beep while it lives.
class Recorder {
  public:
    Recorder();
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    std::vector<MessageBoxRequest> boxes;
    int beeps = 0;

  private:
    MessageBoxHandler previousBox_;
    std::function<void()> previousBeep_;
};

// Private registry, COM (single-threaded apartment) on the test's thread, the simulation server
// and the fault server registered, the fault server in its default behaviour, message boxes and
// beeps recorded. When the test ends, no object of the fault server may be left alive and task
// memory must be back at its baseline.
class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    const OpcFaultApi& Fault() const;
    void ConfigureFault(const OpcFaultConfig& config);
    OpcFaultStats FaultStats() const;

    // Writes a key below HKEY_CLASSES_ROOT of the private registry, with a default value.
    static void WriteClassesKey(const std::string& path,
                                std::optional<std::string> defaultValue = std::nullopt);

    std::optional<Recorder> recorder;

  private:
    std::optional<korva::test::PrivateRegistry> registry_;
    std::optional<ComInit> com_;
    size_t taskMemoryBaseline_ = 0;
};

inline QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

}  // namespace dravik_test

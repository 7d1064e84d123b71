// The test client's window tests: a fixture that owns the real main window and drives it
// through its buttons and modal dialogs.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "opc/ui/server_selection_dialog.h"
#include "testclient/dravik_add_tag_dialog.h"
#include "testclient/dravik_main_window.h"
#include "testclient/dravik_write_tag_dialog.h"
#include "tests/testclient/window_test_support.h"

namespace dravik_test {

inline const QString kFaultServer = QStringLiteral(OPC_FAULT_SERVER_PROGID);
inline const QString kSimServer = QStringLiteral("OPCSim.Server");

// How the write dialog is closed.
enum class WriteClosing { OkButton, EnterKey, CloseBox };

class DravikTest : public WindowTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Connect through the selection dialog with these texts and OK.
    void ConnectThroughDialog(const QString& server, const QString& machine = {});
    // Add Item, choosing `itemId` in the add dialog and pressing OK.
    void AddThroughDialog(const QString& itemId);
    // Write Item: selects line `line` (none when negative), types `value` and closes the dialog.
    void WriteThroughDialog(int line, const QString& value,
                            WriteClosing closing = WriteClosing::OkButton);

    QStringList Lines() const;
    QStringList StatusLines() const;
    // The value text of list line i (behind " = ").
    QString LineValue(int i) const;
    // Waits until list line i shows `value`.
    bool WaitForLineValue(int i, const QString& value, int milliseconds = 5000);
    // Waits for the next tick (the state box is written anew).
    bool WaitForTicks(int count = 2);

    std::unique_ptr<TForm1> form;
    int ticks = 0;
};

}  // namespace dravik_test

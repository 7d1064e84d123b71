// Message boxes and the default beep of the whole system. Every message box of the program and
// of the plug-in goes through ShowMessageBox, and every beep through SystemBeep, so both can be
// replaced: tests record the requests and answer them without showing a window.
#pragma once

#include <QPointer>
#include <QString>
#include <functional>

#include "components/message_flags.h"

class QWidget;

struct MessageBoxRequest {
    QPointer<QWidget> owner;  // null: no owner window
    QString text;             // exactly as composed, line breaks included ("\n\r", "\r\n")
    QString caption;
    unsigned flags = MB_OK;
};

using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;

// Shows a modal message box and answers the button that closed it (IDOK ...). Owner null means
// no owner window; MB_TASKMODAL then makes the box modal to the whole application. Call on the
// thread of the windows (the UI thread) only.
int ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags);

// Replaces the display of every message box; the handler's answer is ShowMessageBox's answer.
// An empty handler restores the real box. Answers the previous handler (empty for the real one).
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The box as it would be shown, without a handler: QMessageBox with the icon and buttons of the
// flags. Handlers that want the real box after recording can call it.
int ShowQtMessageBox(const MessageBoxRequest& request);

// The platform's default beep (QApplication::beep), replaceable in the same way.
void SystemBeep();
std::function<void()> SetBeepHandler(std::function<void()> handler);

// The application's main window for boxes "owned by the application": the active top-level
// window, else the first visible top-level window; null when there is none.
QWidget* ApplicationMainWindow();

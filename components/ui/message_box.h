// Message boxes and the default beep of the whole system. Every message box of the program and
// of the plug-in goes through ShowMessageBox, and every beep through SystemBeep, so both can be
// replaced: tests record the requests and answer them without showing a window.
#pragma once

#include <QPointer>
#include <QString>
#include <functional>

class QWidget;

// Style flags as the platform spells them: one button set, one icon, one modality.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
constexpr unsigned MB_YESNOCANCEL = 0x3;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_RETRYCANCEL = 0x5;
constexpr unsigned MB_TYPEMASK = 0xF;
constexpr unsigned MB_ICONERROR = 0x10;  // also "hand" and "stop"
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;      // also "exclamation"
constexpr unsigned MB_ICONINFORMATION = 0x40;  // also "asterisk"
constexpr unsigned MB_ICONMASK = 0xF0;
constexpr unsigned MB_DEFBUTTON1 = 0x000;
constexpr unsigned MB_DEFBUTTON2 = 0x100;
constexpr unsigned MB_DEFBUTTON3 = 0x200;
constexpr unsigned MB_DEFMASK = 0xF00;
constexpr unsigned MB_APPLMODAL = 0x0000;
constexpr unsigned MB_SYSTEMMODAL = 0x1000;
constexpr unsigned MB_TASKMODAL = 0x2000;

// The button that closed a box.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

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

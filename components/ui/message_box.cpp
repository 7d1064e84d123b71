#include "components/ui/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>
#include <utility>

namespace {

MessageBoxHandler& CurrentHandler() {
    static MessageBoxHandler handler;
    return handler;
}

std::function<void()>& CurrentBeep() {
    static std::function<void()> beep;
    return beep;
}

// Texts are composed with the platform's line breaks (CR LF, and LF CR in the range message);
// a label shows one break for each pair and for a lone CR or LF.
QString DisplayText(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            const QChar partner = c == u'\r' ? u'\n' : u'\r';
            if (i + 1 < text.size() && text.at(i + 1) == partner)
                ++i;
            shown += u'\n';
        } else {
            shown += c;
        }
    }
    return shown;
}

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton order[3];
};

ButtonSet ButtonsOf(unsigned flags) {
    using B = QMessageBox;
    switch (flags & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {B::Ok | B::Cancel, {B::Ok, B::Cancel, B::NoButton}};
        case MB_ABORTRETRYIGNORE:
            return {B::Abort | B::Retry | B::Ignore, {B::Abort, B::Retry, B::Ignore}};
        case MB_YESNOCANCEL:
            return {B::Yes | B::No | B::Cancel, {B::Yes, B::No, B::Cancel}};
        case MB_YESNO:
            return {B::Yes | B::No, {B::Yes, B::No, B::NoButton}};
        case MB_RETRYCANCEL:
            return {B::Retry | B::Cancel, {B::Retry, B::Cancel, B::NoButton}};
        default:
            return {B::Ok, {B::Ok, B::NoButton, B::NoButton}};
    }
}

QMessageBox::Icon IconOf(unsigned flags) {
    switch (flags & MB_ICONMASK) {
        case MB_ICONERROR:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONWARNING:
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

int IdOf(int button, unsigned flags) {
    switch (button) {
        case QMessageBox::Ok:
            return IDOK;
        case QMessageBox::Cancel:
            return IDCANCEL;
        case QMessageBox::Abort:
            return IDABORT;
        case QMessageBox::Retry:
            return IDRETRY;
        case QMessageBox::Ignore:
            return IDIGNORE;
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        default:
            // Closed without a button: a box with only OK answers OK, as the platform's does.
            return (flags & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
    }
}

}  // namespace

int ShowQtMessageBox(const MessageBoxRequest& request) {
    const ButtonSet set = ButtonsOf(request.flags);
    QMessageBox box(IconOf(request.flags), request.caption, DisplayText(request.text), set.buttons,
                    request.owner.data());
    // Texts may hold item names and other foreign text: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    const unsigned defIndex = (request.flags & MB_DEFMASK) >> 8;
    if (defIndex < 3 && set.order[defIndex] != QMessageBox::NoButton)
        box.setDefaultButton(set.order[defIndex]);
    // With an owner the box blocks that window; without one, or task-modal, the whole program.
    const bool wholeProgram = !request.owner || (request.flags & (MB_TASKMODAL | MB_SYSTEMMODAL));
    box.setWindowModality(wholeProgram ? Qt::ApplicationModal : Qt::WindowModal);
    return IdOf(box.exec(), request.flags);
}

int ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags) {
    MessageBoxRequest request{owner, text, caption, flags};
    // A copy, so a handler may replace itself while it runs.
    const MessageBoxHandler handler = CurrentHandler();
    if (handler)
        return handler(request);
    return ShowQtMessageBox(request);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    return std::exchange(CurrentHandler(), std::move(handler));
}

void SystemBeep() {
    const std::function<void()> beep = CurrentBeep();
    if (beep)
        beep();
    else
        QApplication::beep();
}

std::function<void()> SetBeepHandler(std::function<void()> handler) {
    return std::exchange(CurrentBeep(), std::move(handler));
}

QWidget* ApplicationMainWindow() {
    if (QWidget* active = QApplication::activeWindow())
        return active;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->isWindow() && !w->inherits("QMenu"))
            return w;
    return nullptr;
}

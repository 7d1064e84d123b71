#include <QCoreApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>

#include "components/numeric_text.h"
#include "components/string_resources.h"
#include "components/ui/message_box.h"
#include "components/ui/qncomps.h"

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The character a key press types, as the platform's character message would carry it; none
// for keys that type nothing (arrows, Delete, Home ...) and for the dialog keys Return, Escape
// and Tab, which belong to the form (default button, cancel, focus change).
std::optional<QChar> TypedCharacter(const QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return std::nullopt;
        default:
            break;
    }
    const Qt::KeyboardModifiers mods = e->modifiers();
    // Alt combinations are menu and mnemonic keys, not characters.
    if (mods & Qt::AltModifier)
        return std::nullopt;
    // Ctrl+letter types the control character 1 .. 26: Ctrl+C, Ctrl+V, Ctrl+X, Ctrl+Z arrive as
    // characters and meet the filter like any other key.
    if ((mods & Qt::ControlModifier) && e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z)
        return QChar(char16_t(e->key() - Qt::Key_A + 1));
    if (e->key() == Qt::Key_Backspace)
        return QChar(char16_t(8));
    if (!e->text().isEmpty())
        return e->text().at(0);
    return std::nullopt;
}

}  // namespace

int ResMessageBox(UINT TextId, UINT CaptionId, unsigned Flags) {
    const ResMessageTexts texts = ResMessageBoxTexts(TextId, CaptionId);
    return ShowMessageBox(ApplicationMainWindow(), FromUtf8(texts.text), FromUtf8(texts.caption),
                          Flags);
}

TNumericEdit::TNumericEdit(const QString& initialText, const QString& format, QWidget* parent)
    : QLineEdit(initialText, parent), format_(format) {
    onMouseDown_ = [this](TNumericEdit* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                          int x, int y) { EditMouseDown(sender, button, shift, x, y); };
    // The right click is the field's own; the toolkit's edit menu would offer paste and other
    // commands past the key filter.
    setContextMenuPolicy(Qt::PreventContextMenu);
    // Text dropped from elsewhere would bypass the key filter as well.
    setAcceptDrops(false);
}

bool TNumericEdit::ValidateOnExit() {
    if (isReadOnly())
        return true;
    const int code = CheckText();
    if (code > 0) {
        // Posted, so the message box opens only after the focus change has finished.
        QCoreApplication::postEvent(this, new NumericErrorEvent(code));
        WriteStoredValue();
        setFocus(Qt::OtherFocusReason);
        return false;
    }
    ReadStoredValue();
    return true;
}

void TNumericEdit::ShowValueError(int code) {
    const std::optional<NumericMessage> message = ValueErrorMessage(code);
    if (!message)
        return;
    QWidget* owner =
        message->owner == MessageOwner::Application ? ApplicationMainWindow() : nullptr;
    ShowMessageBox(owner, FromUtf8(message->text), FromUtf8(message->caption), message->flags);
}

void TNumericEdit::EditMouseDown(TNumericEdit*, Qt::MouseButton Button, Qt::KeyboardModifiers,
                                 int X, int Y) {
    if (Button != Qt::RightButton || isReadOnly() || tag_ < 0)
        return;
    RightClick(mapToGlobal(QPoint(X, Y)));
}

void TNumericEdit::Loaded() {
    loaded_ = true;
}

bool TNumericEdit::event(QEvent* e) {
    if (e->type() == NumericErrorEvent::EventType()) {
        ShowValueError(static_cast<int>(static_cast<NumericErrorEvent*>(e)->LParam));
        return true;
    }
    if (e->type() == QEvent::Polish && !loaded_)
        Loaded();
    return QLineEdit::event(e);
}

void TNumericEdit::keyPressEvent(QKeyEvent* e) {
    const std::optional<QChar> typed = TypedCharacter(e);
    if (typed && !AcceptsChar(*typed)) {
        if (beep_)
            SystemBeep();
        e->accept();  // the key is gone: neither the field nor the form sees it
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void TNumericEdit::inputMethodEvent(QInputMethodEvent* e) {
    for (QChar c : e->commitString()) {
        if (!AcceptsChar(c)) {
            if (beep_)
                SystemBeep();
            e->accept();
            return;
        }
    }
    QLineEdit::inputMethodEvent(e);
}

void TNumericEdit::focusInEvent(QFocusEvent* e) {
    holdsFocus_ = true;
    QLineEdit::focusInEvent(e);
}

void TNumericEdit::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    // Only a move of the focus to another control of the form is an exit: opening a pop-up menu
    // or a message box, or switching to another window, leaves the field the form's focused
    // control. A field that never held the focus (the focus was taken back before it arrived)
    // has nothing to check, and a hidden one is closing with its form.
    switch (e->reason()) {
        case Qt::ActiveWindowFocusReason:
        case Qt::PopupFocusReason:
        case Qt::MenuBarFocusReason:
        case Qt::NoFocusReason:
            return;
        default:
            break;
    }
    if (!holdsFocus_ || !isVisible())
        return;
    holdsFocus_ = false;
    emit exited();
    ValidateOnExit();
}

void TNumericEdit::mousePressEvent(QMouseEvent* e) {
    QLineEdit::mousePressEvent(e);
    if (onMouseDown_) {
        const QPoint at = e->position().toPoint();
        onMouseDown_(this, e->button(), e->modifiers(), at.x(), at.y());
    }
}

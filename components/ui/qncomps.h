// The numeric edit fields of the component unit: TRealEdit for floating-point values and
// TIntegerEdit for whole numbers. Each filters the typed keys, checks the text when the focus
// leaves it (format, then range, then zero), reports a bad entry through a posted
// WM_NUMERIC_ERROR, puts the last accepted value back and formats the value through its format
// string. A right click shows the permitted range (TRealEdit: a pop-up menu with the range,
// copy, paste and the conversion entries). The text rules live in components/numeric_text.h.
//
// Forms create a field, set its properties and then call Loaded(), as a form loader does; a
// field whose form never calls it runs Loaded() when it is first polished (before it is shown).
// UI thread only.
#pragma once

#include <QEvent>
#include <QLineEdit>
#include <QPointer>
#include <cstdint>
#include <functional>

#include "platform/kernel/wintypes.h"

#include <QMenu>

// The private message that reports a bad entry after the focus change has finished; its long
// parameter carries the error code (components/numeric_text.h: NumericError).
constexpr UINT WM_NUMERIC_ERROR = 0x7F09;

// WM_NUMERIC_ERROR as a queued event of the field's own thread.
class NumericErrorEvent : public QEvent {
  public:
    explicit NumericErrorEvent(intptr_t lParam, uintptr_t wParam = 0)
        : QEvent(EventType()), WParam(wParam), LParam(lParam) {}
    static QEvent::Type EventType() {
        return static_cast<QEvent::Type>(QEvent::User + WM_NUMERIC_ERROR);
    }
    uintptr_t WParam;
    intptr_t LParam;
};

// Shows strings TextId and CaptionId of the string-resource library in an application-modal
// box owned by the application's main window ("String-Resource nicht gefunden!" / "Fehler" when
// either is missing) and answers the button that closed it. Only when StringLibrary is loaded.
int ResMessageBox(UINT TextId, UINT CaptionId, unsigned Flags);

// What the two fields share: the properties besides the value, the key filter, the exit check
// and the error message, the mouse-down event.
class TNumericEdit : public QLineEdit {
    Q_OBJECT
  public:
    // A form's mouse-button-down event: (Sender, Button, Shift, X, Y) in the field's coordinates.
    using MouseDownEvent = std::function<void(TNumericEdit* Sender, Qt::MouseButton Button,
                                              Qt::KeyboardModifiers Shift, int X, int Y)>;

    bool IsZeroAllowed() const { return isZeroAllowed_; }
    void SetIsZeroAllowed(bool allowed) { isZeroAllowed_ = allowed; }
    QString Format() const { return format_; }
    void SetFormat(const QString& format) { format_ = format; }
    bool NoBlanks() const { return noBlanks_; }
    void SetNoBlanks(bool noBlanks) { noBlanks_ = noBlanks; }
    bool Beep() const { return beep_; }
    void SetBeep(bool beep) { beep_ = beep; }
    // The platform's free integer of every control; a negative Tag switches the right click off.
    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }

    // The mouse-down event; EditMouseDown from construction on. An empty one handles nothing.
    void SetOnMouseDown(MouseDownEvent handler) { onMouseDown_ = std::move(handler); }
    const MouseDownEvent& OnMouseDown() const { return onMouseDown_; }

    // The key filter: whether the typed character may reach the field.
    virtual bool AcceptsChar(QChar Key) const = 0;
    // The error code of the current text (0 to 4).
    virtual int CheckText() const = 0;
    // The exit check: true when the text was accepted (or the field is read-only). On a bad text
    // it posts WM_NUMERIC_ERROR to the field, writes the stored value back and takes the focus
    // back.
    bool ValidateOnExit();
    // Shows the permitted range in a message box.
    virtual void ShowRange() = 0;
    // The handler of WM_NUMERIC_ERROR: the message of code 1 to 4; any other code does nothing.
    void ShowValueError(int code);
    // The right click: acts on the right button going down, unless the field is read-only or
    // its Tag negative.
    void EditMouseDown(TNumericEdit* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                       int X, int Y);
    // The form has finished setting the field up.
    virtual void Loaded();

  signals:
    // The form's exit event: the focus has left the field; emitted before the exit check, so a
    // receiver sees the text as the user left it.
    void exited();

  protected:
    TNumericEdit(const QString& initialText, const QString& format, QWidget* parent);

    // The value write of the stored value (restores the text after a refused entry).
    virtual void WriteStoredValue() = 0;
    // Sets the stored value from a value read of the text.
    virtual void ReadStoredValue() = 0;
    // The right click's action at `globalPos`.
    virtual void RightClick(const QPoint& globalPos) = 0;

    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

    QWidget* FieldWindow() { return window(); }

  private:
    bool isZeroAllowed_ = true;
    QString format_;
    bool noBlanks_ = true;
    bool beep_ = true;
    int tag_ = 0;
    bool loaded_ = false;
    bool holdsFocus_ = false;  // focus came in and has not left through a checked exit
    MouseDownEvent onMouseDown_;
};

class TRealEdit : public TNumericEdit {
    Q_OBJECT
  public:
    explicit TRealEdit(QWidget* parent = nullptr);

    long double MinValue() const { return minValue_; }
    void SetMinValue(long double value) { minValue_ = value; }
    long double MaxValue() const { return maxValue_; }
    void SetMaxValue(long double value) { maxValue_ = value; }
    // The value read: the text's number when it is one within the range (or no range is
    // active), else the stored value, which it also becomes.
    long double Value() const;
    // The value write: stores V and shows it through Format ("DEFAULT" in any letter case: the
    // suite's default float format), trimmed when NoBlanks.
    void SetValue(long double V);

    // Backspace, "+", "-", ".", digits, "E" and "e".
    bool AcceptsChar(QChar Key) const override;
    int CheckText() const override;
    void ShowRange() override;
    // Creates the pop-up menu when Tag is not negative and the field is not read-only.
    void Loaded() override;
    // The conversion entry with tag t: Value times factor t (t > 0) or divided by factor -t
    // (t <= 0); nothing when the text is bad, the factor is missing, or the result is not a
    // finite number.
    void ConvertByFactor(int t);
    // The pop-up menu, or null when the field has none.
    QMenu* PopupMenu() const { return popupMenu_; }

  protected:
    void WriteStoredValue() override { SetValue(stored_); }
    void ReadStoredValue() override { (void)Value(); }
    void RightClick(const QPoint& globalPos) override;

  private:
    long double minValue_ = 0;
    long double maxValue_ = 0;
    mutable long double stored_ = 0;
    QPointer<QMenu> popupMenu_;
};

class TIntegerEdit : public TNumericEdit {
    Q_OBJECT
  public:
    explicit TIntegerEdit(QWidget* parent = nullptr);

    int32_t MinValue() const { return minValue_; }
    void SetMinValue(int32_t value) { minValue_ = value; }
    int32_t MaxValue() const { return maxValue_; }
    void SetMaxValue(int32_t value) { maxValue_ = value; }
    // As TRealEdit's, with the text read as an integer (decimal, or hexadecimal after "$", "x",
    // "0x").
    int32_t Value() const;
    void SetValue(int32_t V);

    // Backspace, "+", "-" and digits.
    bool AcceptsChar(QChar Key) const override;
    int CheckText() const override;
    void ShowRange() override;

  protected:
    void WriteStoredValue() override { SetValue(stored_); }
    void ReadStoredValue() override { (void)Value(); }
    // Shows the range directly.
    void RightClick(const QPoint& globalPos) override;

  private:
    int32_t minValue_ = 0;
    int32_t maxValue_ = 0;
    mutable int32_t stored_ = 0;
};

// What the block library's forms share: modal results, the form font, fixed dialog windows
// centred on the screen, and controls placed at their form positions.
#pragma once

#include <QString>

class QDialog;
class QFont;
class QLabel;
class QPushButton;
class QWidget;

namespace virelon::form {

// Modal results of the forms (QDialog::exec answers them).
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

// "MS Sans Serif", height -11 (8 pt at 96 dpi): the system's sans-serif at 8 pt.
QFont DialogFont();

// A fixed-size dialog with client area `width` x `height` and `caption`, always on top when
// `stayOnTop`, centred on the screen.
void SetUpFixedDialog(QDialog* dialog, const QString& caption, int width, int height,
                      bool stayOnTop);

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height);
// A static text at its form position, sized to its text.
QLabel* MakeLabel(QWidget* parent, const QString& caption, int left, int top);

}  // namespace virelon::form

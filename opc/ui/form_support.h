// Small helpers that give the OPC windows their forms' look: the form font, labels placed at a
// form position, fixed-size windows centred on the screen. Used by the server selection dialogs
// and by the test client's windows. UI thread only.
#pragma once

#include <QFont>
#include <QPoint>
#include <QString>

class QLabel;
class QWidget;

// The forms' font, "MS Sans Serif" 8 pt: the system's sans-serif face at 8 points, semi-condensed.
QFont FormFont();

// A label with `text` whose top-left corner is at `pos` in its parent, sized to its text as a
// form's auto-sized label is. `name` becomes its objectName.
QLabel* PlaceLabel(QWidget* parent, const QString& name, const QString& text, QPoint pos);

// Gives `window` a fixed client area of `width` x `height` and centres it on the screen of
// `owner` (the primary screen without one).
void FixClientArea(QWidget* window, int width, int height);
void CentreOnScreen(QWidget* window, const QWidget* owner);

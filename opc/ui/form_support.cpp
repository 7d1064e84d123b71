#include "opc/ui/form_support.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>

QFont FormFont() {
    QFont font(QStringLiteral("Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    // The forms' positions were laid out for a narrow face; the common wide sans-serif faces
    // would run labels into the fields beside them, so a semi-condensed width is asked for.
    font.setStretch(QFont::SemiCondensed);
    return font;
}

QLabel* PlaceLabel(QWidget* parent, const QString& name, const QString& text, QPoint pos) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->move(pos);
    label->adjustSize();
    return label;
}

void FixClientArea(QWidget* window, int width, int height) {
    window->setFixedSize(width, height);
}

void CentreOnScreen(QWidget* window, const QWidget* owner) {
    QScreen* screen = owner ? owner->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // Moving the window also keeps the dialog from re-centring itself over its owner.
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

#include "plugin/ui/detail/form.h"

#include <QDialog>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "opc/ui/form_support.h"

namespace virelon::form {

QFont DialogFont() {
    // The same face as the OPC client layer's windows, narrow enough for the forms' positions.
    return FormFont();
}

void SetUpFixedDialog(QDialog* dialog, const QString& caption, int width, int height,
                      bool stayOnTop) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
    if (stayOnTop)
        flags |= Qt::WindowStaysOnTopHint;
    dialog->setWindowFlags(flags);
    dialog->setWindowTitle(caption);
    dialog->setFont(DialogFont());
    dialog->setFixedSize(width, height);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        dialog->move(area.center().x() - width / 2, area.center().y() - height / 2);
    }
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, top, width, height);
    button->setAutoDefault(false);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const QString& caption, int left, int top) {
    auto* label = new QLabel(caption, parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

}  // namespace virelon::form

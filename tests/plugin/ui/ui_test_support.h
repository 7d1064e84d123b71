// Helpers of the block library's window tests: one QApplication for the test program, message
// boxes recorded instead of shown, modal dialogs driven from a timer, waiting with a deadline.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "components/ui/message_box.h"

namespace virelon::test {

// The QApplication of the test program (offscreen platform, set by the test's environment).
class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "plugin_ui_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

  private:
    std::unique_ptr<QApplication> app_;
};

// Records every message box for the lifetime of the object and answers it with `answer`.
class MessageBoxes {
  public:
    explicit MessageBoxes(int answer = IDOK) {
        previous_ = SetMessageBoxHandler([this, answer](const MessageBoxRequest& request) {
            shown.push_back(request);
            return answer;
        });
    }
    ~MessageBoxes() { SetMessageBoxHandler(previous_); }
    MessageBoxes(const MessageBoxes&) = delete;
    MessageBoxes& operator=(const MessageBoxes&) = delete;

    std::vector<MessageBoxRequest> shown;

  private:
    MessageBoxHandler previous_;
};

// Runs `action` once on the first modal dialog of type T that becomes the active modal widget,
// from inside that dialog's own event loop. Should none appear within `deadlineMs`, the test
// fails and whatever modal dialog is open is closed, so that a broken test cannot hang.
// Register it before the call that opens the dialog; the action usually ends with done().
template <typename T>
void WhenModal(std::function<void(T*)> action, int deadlineMs = 20000) {
    auto* timer = new QTimer;
    auto deadline = std::make_shared<QDeadlineTimer>(deadlineMs);
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, action = std::move(action)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (T* dialog = qobject_cast<T*>(modal); dialog && dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(dialog);
            return;
        }
        if (deadline->hasExpired()) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal " << T::staticMetaObject.className() << " appeared";
            if (auto* open = qobject_cast<QDialog*>(modal))
                open->done(2);
        }
    });
    timer->start();
}

// Counts the modal dialogs of type T that open while it lives, and closes each at once with
// Cancel: for tests that expect none to open and must not hang when one does.
template <typename T>
class ModalCounter {
  public:
    ModalCounter() {
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            if (T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
                dialog && dialog->isVisible()) {
                ++opened;
                dialog->done(2);
            }
        });
        timer_.start();
    }
    int opened = 0;

  private:
    QTimer timer_;
};

// Processes events until `condition` holds or the deadline passes; answers the condition.
inline bool WaitFor(const std::function<bool()>& condition, int milliseconds = 20000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// A tree as one line of text: "Root(Dev1(Temp,Press))"; top-level nodes apart by a blank.
inline QString Shape(const QTreeWidgetItem* item) {
    QString text = item->text(0);
    if (item->childCount() > 0) {
        text += u'(';
        for (int k = 0; k < item->childCount(); ++k)
            text += (k ? "," : "") + Shape(item->child(k));
        text += u')';
    }
    return text;
}
inline QString Shape(const QTreeWidget& tree) {
    QString text;
    for (int k = 0; k < tree.topLevelItemCount(); ++k)
        text += (k ? " " : "") + Shape(tree.topLevelItem(k));
    return text;
}

}  // namespace virelon::test

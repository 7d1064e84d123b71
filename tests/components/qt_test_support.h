// Qt for the window tests: one QApplication for the test program (offscreen platform), message
// boxes and beeps recorded instead of shown, and waiting on conditions with a deadline.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "components/ui/message_box.h"

namespace qncomps_test {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "components_ui_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

  private:
    std::unique_ptr<QApplication> app_;
};

// Processes events until `condition` holds or five seconds have passed; answers the condition.
inline bool WaitFor(const std::function<bool()>& condition, int milliseconds = 5000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Processes the events that are already queued (posted events included), without waiting.
inline void Drain() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Records every message box and beep for the lifetime of the object.
class Recorder {
  public:
    struct Shown {
        MessageBoxRequest request;
        QWidget* focusAtDisplay;  // the focused widget when the box opened
        QString fieldTextAtDisplay;
    };

    explicit Recorder(QWidget* watched = nullptr) : watched_(watched) {
        previousBox_ = SetMessageBoxHandler([this](const MessageBoxRequest& request) {
            boxes.push_back({request, QApplication::focusWidget(),
                             watched_ ? watched_->property("text").toString() : QString()});
            return IDOK;
        });
        previousBeep_ = SetBeepHandler([this] { ++beeps; });
    }
    ~Recorder() {
        SetMessageBoxHandler(previousBox_);
        SetBeepHandler(previousBeep_);
    }
    void Watch(QWidget* w) { watched_ = w; }

    std::vector<Shown> boxes;
    int beeps = 0;

  private:
    QWidget* watched_;
    MessageBoxHandler previousBox_;
    std::function<void()> previousBeep_;
};

}  // namespace qncomps_test

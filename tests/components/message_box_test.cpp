// The real message box behind ShowMessageBox: flags mapped to icon, buttons and default button,
// the answer mapped back, texts shown as plain text with one line break per CR LF or LF CR. The
// box is found and closed from a timer while its modal loop runs.
#include <QAbstractButton>
#include <QDeadlineTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "components/ui/message_box.h"
#include "tests/components/qt_test_support.h"

namespace {

struct SeenBox {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QString caption;
    Qt::WindowModality modality = Qt::NonModal;
};

// Closes the next message box with `press` (NoButton: by Escape/close) and notes what it showed.
// The timer polls from inside the box's modal loop and gives up after five seconds.
class BoxCloser {
  public:
    BoxCloser(QMessageBox::StandardButton press, SeenBox* seen) : deadline_(5000) {
        QObject::connect(&timer_, &QTimer::timeout, [this, press, seen] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                if (deadline_.hasExpired())
                    timer_.stop();
                return;
            }
            timer_.stop();
            seen->icon = box->icon();
            seen->buttons = box->standardButtons();
            seen->defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton())
                                                       : QMessageBox::NoButton;
            seen->text = box->text();
            seen->format = box->textFormat();
            seen->caption = box->windowTitle();
            seen->modality = box->windowModality();
            if (press == QMessageBox::NoButton)
                box->reject();
            else
                box->button(press)->click();
        });
        timer_.start(1);
    }

  private:
    QDeadlineTimer deadline_;
    QTimer timer_;
};

struct BoxCase {
    const char* label;
    unsigned flags;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
    QMessageBox::StandardButton press;
    int answer;
};
void PrintTo(const BoxCase& c, std::ostream* os) {
    *os << c.label;
}

class RealMessageBox : public ::testing::TestWithParam<BoxCase> {};

TEST_P(RealMessageBox, ShowsTheFlagsAndAnswersTheButton) {
    const BoxCase& c = GetParam();
    SeenBox seen;
    BoxCloser closer(c.press, &seen);
    const int answer =
        ShowMessageBox(nullptr, "one\r\ntwo\n\rthree <b>four</b>", "Caption", c.flags);
    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(seen.icon, c.icon);
    EXPECT_EQ(seen.buttons, c.buttons);
    EXPECT_EQ(seen.defaultButton, c.defaultButton);
    EXPECT_EQ(seen.text, "one\ntwo\nthree <b>four</b>");
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.caption, "Caption");
    EXPECT_EQ(seen.modality, Qt::ApplicationModal);
}

using B = QMessageBox;
INSTANTIATE_TEST_SUITE_P(
    Table, RealMessageBox,
    ::testing::Values(
        BoxCase{"WarningOk", MB_ICONWARNING | MB_TASKMODAL, B::Warning, B::Ok, B::Ok, B::Ok, IDOK},
        BoxCase{"ErrorOkClosedByEscape", MB_ICONERROR, B::Critical, B::Ok, B::Ok, B::NoButton,
                IDOK},
        BoxCase{"InformationOkCancel", MB_ICONINFORMATION | MB_OKCANCEL, B::Information,
                B::Ok | B::Cancel, B::Ok, B::Cancel, IDCANCEL},
        BoxCase{"QuestionYesNoSecondDefault", MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2,
                B::Question, B::Yes | B::No, B::No, B::Yes, IDYES},
        BoxCase{"YesNoCancelByEscape", MB_YESNOCANCEL, B::NoIcon, B::Yes | B::No | B::Cancel,
                B::Yes, B::NoButton, IDCANCEL},
        BoxCase{"AbortRetryIgnore", MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, B::NoIcon,
                B::Abort | B::Retry | B::Ignore, B::Ignore, B::Retry, IDRETRY},
        BoxCase{"RetryCancel", MB_RETRYCANCEL, B::NoIcon, B::Retry | B::Cancel, B::Retry, B::Cancel,
                IDCANCEL}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(MessageBoxHandler, RecordsTheRequestAndAnswersForTheBox) {
    QWidget owner;
    MessageBoxRequest seen;
    const MessageBoxHandler previous = SetMessageBoxHandler([&](const MessageBoxRequest& request) {
        seen = request;
        return IDNO;
    });
    EXPECT_EQ(ShowMessageBox(&owner, "Client not connected!", "Dravik", MB_OK), IDNO);
    EXPECT_EQ(seen.owner, &owner);
    EXPECT_EQ(seen.text, "Client not connected!");
    EXPECT_EQ(seen.caption, "Dravik");
    EXPECT_EQ(seen.flags, MB_OK);
    // The handler is handed back, and an empty one restores the real box.
    const MessageBoxHandler mine = SetMessageBoxHandler(previous);
    ASSERT_TRUE(static_cast<bool>(mine));
    int beeps = 0;
    const auto previousBeep = SetBeepHandler([&] { ++beeps; });
    SystemBeep();
    SystemBeep();
    SetBeepHandler(previousBeep);
    EXPECT_EQ(beeps, 2);
}

}  // namespace

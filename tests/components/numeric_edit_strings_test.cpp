// The numeric edit fields' messages with a fixture string-resource library on the search path
// (QN_STRINGS_VARIANT: complete, partial or long).
#include <QTest>
#include <QVBoxLayout>
#include <memory>

#include "components/qncomps_library.h"
#include "components/string_resources.h"
#include "components/ui/qncomps.h"
#include "tests/components/qt_test_support.h"
#include "tests/components/suite_version_printer.h"
#include "tests/support/private_registry.h"

namespace {

using qncomps_test::Drain;
using qncomps_test::Recorder;

const std::string kVariant = QN_STRINGS_VARIANT;

QString ExpectedFormatErrorText() {
    if (kVariant == "partial")
        return "String-Resource nicht gefunden!";
    if (kVariant == "long")
        return QString("Wrong number format ") + QString("0123456789").repeated(28).left(255 - 20);
    return "Wrong number format";
}

class StringsEditTest : public ::testing::TestWithParam<SuiteVersion> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(QnCompsInitialize(GetParam()));
        ASSERT_NE(StringLibrary, nullptr) << "fixture library not on the search path";
        form_ = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(form_.get());
        other_ = new QLineEdit(form_.get());
        layout->addWidget(other_);
        field_ = new TIntegerEdit(form_.get());
        field_->SetMinValue(0);
        field_->SetMaxValue(1000);
        field_->SetIsZeroAllowed(false);
        layout->addWidget(field_);
        form_->show();
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
        field_->setFocus();
        ASSERT_TRUE(qncomps_test::WaitFor([&] { return field_->hasFocus(); }));
    }
    void TearDown() override {
        form_.reset();
        QnCompsFinalize();
    }

    korva::test::PrivateRegistry registry_;
    std::unique_ptr<QWidget> form_;
    QLineEdit* other_ = nullptr;
    TIntegerEdit* field_ = nullptr;
};

TEST_P(StringsEditTest, FormatErrorIsShownThroughResMessageBox) {
    field_->setText("");
    Recorder recorder;
    QTest::keyClick(field_, Qt::Key_Tab);
    Drain();
    ASSERT_EQ(recorder.boxes.size(), 1u);
    const MessageBoxRequest& request = recorder.boxes[0].request;
    EXPECT_EQ(request.text, ExpectedFormatErrorText());
    EXPECT_EQ(request.caption, kVariant == "partial" ? "Fehler" : "Error");
    EXPECT_EQ(request.flags, MB_ICONWARNING);  // warning icon only, application-modal
    EXPECT_EQ(request.owner, form_.get());     // the application's main window
}

TEST_P(StringsEditTest, TooLargeFallsBackWhenOnlyTheCaptionIsMissing) {
    field_->setText("1001");
    Recorder recorder;
    QTest::keyClick(field_, Qt::Key_Tab);
    Drain();
    ASSERT_EQ(recorder.boxes.size(), 1u);
    if (kVariant == "partial") {
        EXPECT_EQ(recorder.boxes[0].request.text, "String-Resource nicht gefunden!");
        EXPECT_EQ(recorder.boxes[0].request.caption, "Fehler");
    } else {
        EXPECT_EQ(recorder.boxes[0].request.text, "Number too large");
        EXPECT_EQ(recorder.boxes[0].request.caption, "Error");
    }
}

TEST_P(StringsEditTest, RangeMessageUsesTheLibraryTextsAndTheFieldsWindow) {
    Recorder recorder;
    QTest::mousePress(field_, Qt::RightButton, {}, QPoint(4, 4));
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].request.text,
              "Permitted range:\n\rfrom: 0\n\rto: 1000\r\n(value 0 not allowed)");
    EXPECT_EQ(recorder.boxes[0].request.caption, "Permitted range");
    EXPECT_EQ(recorder.boxes[0].request.flags, MB_ICONWARNING);
    EXPECT_EQ(recorder.boxes[0].request.owner, form_.get());
}

TEST_P(StringsEditTest, ResMessageBoxAnswersTheButtonThatClosedIt) {
    const MessageBoxHandler previous = SetMessageBoxHandler([](const MessageBoxRequest& request) {
        return request.flags == (MB_YESNO | MB_ICONQUESTION) ? IDNO : IDOK;
    });
    EXPECT_EQ(ResMessageBox(1554, 1011, MB_YESNO | MB_ICONQUESTION), IDNO);
    SetMessageBoxHandler(previous);
}

// The variant names the instantiation, so the executables' test names differ.
#define QN_INSTANTIATE(prefix, ...) INSTANTIATE_TEST_SUITE_P(prefix, __VA_ARGS__)
QN_INSTANTIATE(QN_STRINGS_VARIANT_NAME, StringsEditTest,
               ::testing::Values(SuiteVersion::Quintor7, SuiteVersion::Quintor8),
               [](const auto& info) {
                   return info.param == SuiteVersion::Quintor7 ? std::string("Narrow7")
                                                               : std::string("Wide8");
               });

}  // namespace

// Pictures of the test client's windows in use, written to <build>/screenshots for a look at
// their layout; each must have its fixed client area.
#include <QImage>
#include <QTest>

#include "tests/testclient/dravik_test_support.h"

namespace {

using namespace dravik_test;

using ScreenshotTest = DravikTest;

void ExpectScreenshot(QWidget* window, const std::string& name, QSize clientArea) {
    EXPECT_EQ(window->size(), clientArea) << name;
    const std::string path = SaveScreenshot(window, name);
    ASSERT_FALSE(path.empty()) << name;
    EXPECT_EQ(QImage(QString::fromStdString(path)).size(), clientArea) << name;
}

TEST_F(ScreenshotTest, MainWindowAndItemDialogs) {
    ConnectThroughDialog(kSimServer);
    ASSERT_TRUE(form->Connected);
    for (const char* item : {"Signals.Constant", "Signals.Ramp", "Registers.R8", "Signals.Toggle"})
        AddThroughDialog(QString::fromLatin1(item));
    ASSERT_TRUE(WaitForLineValue(0, QStringLiteral("42.5")));
    ASSERT_TRUE(WaitFor([&] { return form->Edit1->text() == QStringLiteral("1"); }));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    ExpectScreenshot(form.get(), "DravikMainWindow", QSize(440, 345));

    WhenModal<TDravikAddTagDialog>([](TDravikAddTagDialog* dialog) {
        ExpectScreenshot(dialog, "DravikAddTagDialog", QSize(313, 214));
        dialog->CancelBtn->click();
    });
    form->Button4->click();

    WhenModal<TDravikWriteTagDialog>([](TDravikWriteTagDialog* dialog) {
        dialog->TagListbox->setCurrentRow(2);
        ExpectScreenshot(dialog, "DravikWriteTagDialog", QSize(268, 213));
        dialog->close();
    });
    form->Button5->click();
}

}  // namespace

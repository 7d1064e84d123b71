// The numeric edit fields driven through Qt Test on the offscreen platform, without the
// string-resource library: the built-in German texts.
#include <QAction>
#include <QClipboard>
#include <QDialog>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

#include "components/qncomps_library.h"
#include "components/ui/qncomps.h"
#include "tests/components/qt_test_support.h"
#include "tests/support/private_registry.h"

namespace {

using qncomps_test::Drain;
using qncomps_test::Recorder;
using qncomps_test::WaitFor;

const QString kRange = QString::fromUtf8("Zulässiger Wertebereich");

class EditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QnCompsInitialize(SuiteVersion::Quintor7);
        form_ = std::make_unique<QWidget>();
        form_->setObjectName("Form");
        layout_ = new QVBoxLayout(form_.get());
        other_ = new QLineEdit(form_.get());
        other_->setObjectName("Other");
        layout_->addWidget(other_);
    }
    void TearDown() override {
        form_.reset();
        QnCompsFinalize();
    }

    template <typename Field>
    Field* Add(const char* name = "Field") {
        auto* field = new Field(form_.get());
        field->setObjectName(name);
        layout_->insertWidget(layout_->count() - 1, field);
        return field;
    }
    // Shows the form, activates it and puts the focus into `field`.
    void ShowAndFocus(QWidget* field) {
        form_->show();
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
        field->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(WaitFor([&] { return field->hasFocus(); }));
    }

    korva::test::PrivateRegistry registry_;
    std::unique_ptr<QWidget> form_;
    QVBoxLayout* layout_ = nullptr;
    QLineEdit* other_ = nullptr;
};

// ---- Key filter -------------------------------------------------------------------------------

struct KeyCase {
    const char* label;
    bool integer;
    bool beep;
    const char* start;  // text before, cursor at the end
    std::function<void(QWidget*)> type;
    const char* text;  // text after
    int beeps;
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << '"' << c.label << '"';
}

class KeyFilter : public EditTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyFilter, PassesOnlyTheAcceptedCharacters) {
    const KeyCase& c = GetParam();
    TNumericEdit* field = c.integer ? static_cast<TNumericEdit*>(Add<TIntegerEdit>())
                                    : static_cast<TNumericEdit*>(Add<TRealEdit>());
    field->SetBeep(c.beep);
    ShowAndFocus(field);
    field->setText(c.start);
    QApplication::clipboard()->setText("123");
    Recorder recorder;
    c.type(field);
    EXPECT_EQ(field->text(), c.text);
    EXPECT_EQ(recorder.beeps, c.beeps);
}

auto Chars(const char* s) {
    return [s](QWidget* w) { QTest::keyClicks(w, s); };
}
auto Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    return [key, mods](QWidget* w) { QTest::keyClick(w, key, mods); };
}

INSTANTIATE_TEST_SUITE_P(
    Table, KeyFilter,
    ::testing::Values(
        KeyCase{"RealRefusesComma", false, true, "", Chars(","), "", 1},
        KeyCase{"RealRefusesX", false, true, "", Chars("x"), "", 1},
        KeyCase{"RealRefusesBlank", false, true, "", Chars(" "), "", 1},
        KeyCase{"RealTakesNumberCharacters", false, true, "", Chars("-1.5e+3E"), "-1.5e+3E", 0},
        KeyCase{"RealRefusedWithoutBeep", false, false, "", Chars(",x"), "", 0},
        KeyCase{"RealKeepsGoodKeysAroundARefusedOne", false, true, "", Chars("1,5"), "15", 1},
        KeyCase{"IntegerRefusesFullStop", true, true, "", Chars("."), "", 1},
        KeyCase{"IntegerRefusesE", true, true, "", Chars("e"), "", 1},
        KeyCase{"IntegerTakesSignsAndDigits", true, true, "", Chars("+-0123456789"), "+-0123456789",
                0},
        KeyCase{"BackspaceIsAccepted", true, true, "123", Key(Qt::Key_Backspace), "12", 0},
        KeyCase{"CtrlVPastesNothing", false, true, "", Key(Qt::Key_V, Qt::ControlModifier), "", 1},
        KeyCase{"CtrlXCutsNothing", true, true, "42",
                [](QWidget* w) {
                    QTest::keyClick(w, Qt::Key_Home, Qt::ShiftModifier);
                    QTest::keyClick(w, Qt::Key_X, Qt::ControlModifier);
                },
                "42", 1},
        KeyCase{"DeleteAndArrowsTypeNothing", true, true, "123",
                [](QWidget* w) {
                    QTest::keyClick(w, Qt::Key_Home);
                    QTest::keyClick(w, Qt::Key_Right);
                    QTest::keyClick(w, Qt::Key_Delete);
                },
                "13", 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(EditTest, CopyShortcutCopiesNothing) {
    auto* field = Add<TRealEdit>();
    ShowAndFocus(field);
    field->setText("2.5");
    field->selectAll();
    QApplication::clipboard()->setText("before");
    Recorder recorder;
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "before");
    EXPECT_EQ(recorder.beeps, 1);
}

TEST_F(EditTest, ReturnStillReachesTheDialogsDefaultButton) {
    QDialog dialog;
    auto* field = new TRealEdit(&dialog);
    auto* ok = new QPushButton("OK", &dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(field);
    layout->addWidget(ok);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    field->setFocus();
    Recorder recorder;
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(recorder.beeps, 0);
}

// ---- The exit check ---------------------------------------------------------------------------

struct ExitCase {
    const char* label;
    bool integer;
    double minValue, maxValue;
    bool zeroAllowed;
    double stored;
    const char* text;
    int code;  // 0: accepted
    const char* textAfter;
};

void PrintTo(const ExitCase& c, std::ostream* os) {
    *os << '"' << c.label << '"';
}

class ExitCheck : public EditTest, public ::testing::WithParamInterface<ExitCase> {};

const char* const kBuiltInTexts[] = {"", "Falsches Zahlenformat", "Zahlenwert zu groß",
                                     "Zahlenwert zu klein", "Zahlenwert 0 nicht erlaubt"};

TEST_P(ExitCheck, RefusesBadTextsAfterTheFocusHasMoved) {
    const ExitCase& c = GetParam();
    TNumericEdit* field;
    std::function<double()> value;
    if (c.integer) {
        auto* f = Add<TIntegerEdit>();
        f->SetMinValue(int32_t(c.minValue));
        f->SetMaxValue(int32_t(c.maxValue));
        f->SetValue(int32_t(c.stored));
        value = [f] { return double(f->Value()); };
        field = f;
    } else {
        auto* f = Add<TRealEdit>();
        f->SetMinValue(c.minValue);
        f->SetMaxValue(c.maxValue);
        f->SetValue(c.stored);
        value = [f] { return double(f->Value()); };
        field = f;
    }
    field->SetIsZeroAllowed(c.zeroAllowed);
    ShowAndFocus(field);
    field->setText(c.text);
    QString textOnExit;
    QObject::connect(field, &TNumericEdit::exited, [&] { textOnExit = field->text(); });

    Recorder recorder(field);
    QTest::keyClick(field, Qt::Key_Tab);
    // The form's exit event saw the text as the user left it.
    EXPECT_EQ(textOnExit, c.text);
    // The message is posted: it opens only once the focus change is over.
    EXPECT_TRUE(recorder.boxes.empty());
    Drain();
    EXPECT_EQ(field->text(), c.textAfter);
    if (c.code == 0) {
        EXPECT_TRUE(recorder.boxes.empty());
        EXPECT_TRUE(other_->hasFocus());
        EXPECT_DOUBLE_EQ(value(), std::stod(c.textAfter));
        return;
    }
    ASSERT_EQ(recorder.boxes.size(), 1u);
    const auto& shown = recorder.boxes[0];
    EXPECT_EQ(shown.request.text, QString::fromUtf8(kBuiltInTexts[c.code]));
    EXPECT_EQ(shown.request.caption, "Fehler");
    EXPECT_EQ(shown.request.flags, MB_ICONWARNING | MB_TASKMODAL);
    EXPECT_EQ(shown.request.owner, nullptr);
    EXPECT_EQ(shown.focusAtDisplay, field);  // the focus went back before the box opened
    EXPECT_EQ(shown.fieldTextAtDisplay, c.textAfter);
    EXPECT_TRUE(field->hasFocus());
    EXPECT_DOUBLE_EQ(value(), c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExitCheck,
    ::testing::Values(ExitCase{"RealEmpty", false, 0, 0, true, 2.5, "", 1, "2.5"},
                      ExitCase{"RealLoneMinus", false, 0, 0, true, 2.5, "-", 1, "2.5"},
                      ExitCase{"RealInvertedRange", false, 10, 5, true, 8, "7", 3, "8"},
                      ExitCase{"RealZeroBanned", false, 0, 0, false, 1, "0.0", 4, "1"},
                      ExitCase{"RealAboveRange", false, 0, 10, true, 1, "10.5", 2, "1"},
                      ExitCase{"RealAccepted", false, 0, 100, true, 1, "12.5", 0, "12.5"},
                      ExitCase{"IntegerAboveRange", true, 0, 1000, true, 10, "1001", 2, "10"},
                      ExitCase{"IntegerBeyond32Bits", true, 0, 0, true, 10, "9999999999", 2, "10"},
                      ExitCase{"IntegerEmpty", true, 0, 0, true, 0, "", 1, "0"},
                      ExitCase{"IntegerAccepted", true, 0, 1000, false, 10, "42", 0, "42"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(EditTest, MouseClickElsewhereIsAnExitToo) {
    auto* field = Add<TIntegerEdit>();
    ShowAndFocus(field);
    field->setText("");
    Recorder recorder;
    QTest::mouseClick(other_, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return recorder.boxes.size() == 1; }));
    EXPECT_EQ(recorder.boxes[0].request.text, "Falsches Zahlenformat");
    EXPECT_TRUE(field->hasFocus());
}

TEST_F(EditTest, ReadOnlyFieldAcceptsAnyText) {
    auto* field = Add<TRealEdit>();
    field->SetValue(3);
    field->setReadOnly(true);
    ShowAndFocus(field);
    field->setText("abc");
    Recorder recorder;
    EXPECT_TRUE(field->ValidateOnExit());
    QTest::keyClick(field, Qt::Key_Tab);
    Drain();
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_EQ(field->text(), "abc");
    EXPECT_TRUE(other_->hasFocus());
    EXPECT_EQ(field->Value(), 3);
}

TEST_F(EditTest, FocusTakenBackIsNotCheckedInTheNextField) {
    // Both fields hold bad texts; leaving the first must report the first only, and the second,
    // which never really got the focus, is not checked.
    auto* first = Add<TIntegerEdit>("First");
    auto* second = Add<TIntegerEdit>("Second");
    second->SetIsZeroAllowed(false);
    ShowAndFocus(first);
    first->setText("");
    second->setText("0");
    Recorder recorder;
    QTest::keyClick(first, Qt::Key_Tab);
    Drain();
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].request.text, "Falsches Zahlenformat");
    EXPECT_TRUE(first->hasFocus());
    EXPECT_EQ(second->text(), "0");
}

TEST_F(EditTest, ValueErrorMessageShowsOnlyTheFourCodes) {
    auto* field = Add<TRealEdit>();
    ShowAndFocus(field);
    Recorder recorder;
    for (intptr_t code : {0, 5, -1, 4})
        QCoreApplication::postEvent(field, new NumericErrorEvent(code));
    Drain();
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].request.text, "Zahlenwert 0 nicht erlaubt");
}

// ---- Value read and write ---------------------------------------------------------------------

TEST_F(EditTest, ValueWriteFormatsAndValueReadKeepsTheStoredValueOutsideTheRange) {
    auto* integer = Add<TIntegerEdit>();
    EXPECT_EQ(integer->text(), "0");
    integer->SetValue(5);
    EXPECT_EQ(integer->text(), "5");
    integer->SetNoBlanks(false);
    integer->SetValue(5);
    EXPECT_EQ(integer->text(), "  5");

    auto* real = Add<TRealEdit>("Real");
    EXPECT_EQ(real->text(), "0.00");
    EXPECT_EQ(real->Format(), "%16.10g");
    real->SetFormat("default");
    real->SetValue(1.5L);
    EXPECT_EQ(real->text(), "1.5");
    real->SetMinValue(0);
    real->SetMaxValue(10);
    real->SetValue(5);
    real->setText("11");
    EXPECT_EQ(real->Value(), 5);
    EXPECT_EQ(real->text(), "11");
    real->setText("7.25");
    EXPECT_EQ(real->Value(), 7.25L);
}

// ---- Right click ------------------------------------------------------------------------------

TEST_F(EditTest, IntegerRightClickShowsTheRangeUnlessTagIsNegative) {
    auto* field = Add<TIntegerEdit>();
    field->SetMinValue(0);
    field->SetMaxValue(1000);
    field->SetIsZeroAllowed(false);
    ShowAndFocus(field);
    Recorder recorder;
    field->SetTag(-1);
    QTest::mousePress(field, Qt::RightButton, {}, QPoint(4, 4));
    QTest::mouseRelease(field, Qt::RightButton, {}, QPoint(4, 4));
    Drain();
    EXPECT_TRUE(recorder.boxes.empty());

    field->SetTag(0);
    QTest::mousePress(field, Qt::RightButton, {}, QPoint(4, 4));
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].request.text,
              QString::fromUtf8(
                  "Zulässiger Wertebereich:\n\rvon: 0\n\rbis: 1000\r\n(Wert 0 nicht erlaubt)"));
    EXPECT_EQ(recorder.boxes[0].request.caption, kRange);
    EXPECT_EQ(recorder.boxes[0].request.flags, MB_ICONWARNING | MB_TASKMODAL);
    EXPECT_EQ(recorder.boxes[0].request.owner, nullptr);

    // The left button does nothing; nor does a read-only field.
    QTest::mousePress(field, Qt::LeftButton, {}, QPoint(4, 4));
    field->setReadOnly(true);
    QTest::mousePress(field, Qt::RightButton, {}, QPoint(4, 4));
    EXPECT_EQ(recorder.boxes.size(), 1u);
}

TEST_F(EditTest, FormsCanReplaceTheMouseDownEvent) {
    auto* field = Add<TIntegerEdit>();
    ShowAndFocus(field);
    Recorder recorder;
    std::vector<std::tuple<TNumericEdit*, Qt::MouseButton, int, int>> calls;
    field->SetOnMouseDown([&](TNumericEdit* sender, Qt::MouseButton button, Qt::KeyboardModifiers,
                              int x, int y) { calls.emplace_back(sender, button, x, y); });
    QTest::mousePress(field, Qt::RightButton, {}, QPoint(7, 3));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], std::make_tuple(static_cast<TNumericEdit*>(field), Qt::RightButton, 7, 3));
    EXPECT_TRUE(recorder.boxes.empty());
}

QStringList Captions(QMenu* menu) {
    QStringList captions;
    for (QAction* action : menu->actions())
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return captions;
}

QAction* Entry(QMenu* menu, const QString& caption) {
    for (QAction* action : menu->actions())
        if (action->text() == caption)
            return action;
    ADD_FAILURE() << "no entry " << caption.toStdString();
    return nullptr;
}

TEST_F(EditTest, RealPopUpOffersRangeCopyAndPaste) {
    auto* field = Add<TRealEdit>();
    field->SetMinValue(0.5L);
    field->SetMaxValue(2.5L);
    field->Loaded();
    ShowAndFocus(field);
    field->setText("");  // a bad text: opening the menu is no exit
    Recorder recorder;
    for (int round = 0; round < 2; ++round) {  // rebuilt, not appended to, on every click
        QTest::mousePress(field, Qt::RightButton, {}, QPoint(4, 4));
        QMenu* menu = field->PopupMenu();
        ASSERT_NE(menu, nullptr);
        ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
        EXPECT_EQ(Captions(menu),
                  QStringList({"Wertebereich...", "Kopieren", QString::fromUtf8("Einfügen")}));
        for (QAction* action : menu->actions())
            EXPECT_EQ(action->data().toInt(), 0);
        menu->close();
    }
    Drain();
    EXPECT_TRUE(recorder.boxes.empty());

    QTest::mousePress(field, Qt::RightButton, {}, QPoint(4, 4));
    Entry(field->PopupMenu(), "Wertebereich...")->trigger();
    field->PopupMenu()->close();
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].request.text,
              QString::fromUtf8("Zulässiger Wertebereich:\n\rvon: 0.5\n\rbis: 2.5"));

    field->setText("1.25");
    field->selectAll();
    Entry(field->PopupMenu(), "Kopieren")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "1.25");
    // Paste goes past the key filter, as the platform's does; the exit check still guards.
    QApplication::clipboard()->setText("abc");
    field->selectAll();
    Entry(field->PopupMenu(), QString::fromUtf8("Einfügen"))->trigger();
    EXPECT_EQ(field->text(), "abc");
    EXPECT_FALSE(field->ValidateOnExit());
}

TEST_F(EditTest, RealPopUpExistsOnlyWhenTagAndReadOnlyAllowItAtLoading) {
    auto* negative = Add<TRealEdit>("Negative");
    negative->SetTag(-1);
    negative->Loaded();
    EXPECT_EQ(negative->PopupMenu(), nullptr);
    auto* readOnly = Add<TRealEdit>("ReadOnly");
    readOnly->setReadOnly(true);
    readOnly->Loaded();
    EXPECT_EQ(readOnly->PopupMenu(), nullptr);
    // Tag switched back later: still no menu, so a right click shows nothing.
    negative->SetTag(0);
    ShowAndFocus(negative);
    Recorder recorder;
    QTest::mousePress(negative, Qt::RightButton, {}, QPoint(4, 4));
    Drain();
    EXPECT_EQ(negative->PopupMenu(), nullptr);
    EXPECT_TRUE(recorder.boxes.empty());
    // A field whose form never said it finished loading gets its menu when first shown.
    auto* unannounced = Add<TRealEdit>("Unannounced");
    unannounced->show();
    EXPECT_NE(unannounced->PopupMenu(), nullptr);
}

TEST_F(EditTest, ConversionEntriesMultiplyAndDivide) {
    ConversionNames->assign({"mm", "inch"});
    ConversionFactors->Add(new TExtended(1000));
    ConversionFactors->Add(new TExtended(25.4L));
    auto* field = Add<TRealEdit>();
    field->Loaded();
    field->SetValue(2);
    ShowAndFocus(field);
    QTest::mousePress(field, Qt::RightButton, {}, QPoint(4, 4));
    QMenu* menu = field->PopupMenu();
    EXPECT_EQ(Captions(menu),
              QStringList({"Wertebereich...", "Kopieren", QString::fromUtf8("Einfügen"), "-",
                           QString::fromUtf8("« mm"), QString::fromUtf8("« inch"), "-",
                           QString::fromUtf8("» mm"), QString::fromUtf8("» inch")}));
    EXPECT_EQ(Entry(menu, QString::fromUtf8("« inch"))->data().toInt(), 2);
    EXPECT_EQ(Entry(menu, QString::fromUtf8("» inch"))->data().toInt(), -2);

    Entry(menu, QString::fromUtf8("« mm"))->trigger();
    EXPECT_EQ(field->Value(), 2000);
    EXPECT_EQ(field->text(), "2000");
    Entry(menu, QString::fromUtf8("» inch"))->trigger();
    EXPECT_EQ(field->text(), "78.74015748");
    EXPECT_NEAR(double(field->Value()), double(2000 / 25.4L), 1e-8);
    menu->close();

    // A bad text, a missing factor and a zero divisor change nothing.
    field->setText("x");
    field->ConvertByFactor(1);
    EXPECT_EQ(field->text(), "x");
    field->SetValue(3);
    field->ConvertByFactor(3);
    field->ConvertByFactor(0);
    EXPECT_EQ(field->Value(), 3);
    ConversionFactors->Items(0)->Value = 0;
    field->ConvertByFactor(-1);
    EXPECT_EQ(field->Value(), 3);
}

}  // namespace

#include <string>

#include "components/numeric_text.h"
#include "components/ui/message_box.h"
#include "components/ui/qncomps.h"

namespace {
QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}
}  // namespace

TIntegerEdit::TIntegerEdit(QWidget* parent)
    : TNumericEdit(QStringLiteral("0"),
                   QString::fromUtf8(kIntegerEditDefaultFormat.data(),
                                     qsizetype(kIntegerEditDefaultFormat.size())),
                   parent) {}

int32_t TIntegerEdit::Value() const {
    stored_ = ReadIntegerValue(text().toStdString(), stored_, minValue_, maxValue_);
    return stored_;
}

void TIntegerEdit::SetValue(int32_t V) {
    stored_ = V;
    setText(FromUtf8(IntegerValueText(Format().toStdString(), V, NoBlanks())));
}

bool TIntegerEdit::AcceptsChar(QChar Key) const {
    const char16_t c = Key.unicode();
    return c == 8 || c == u'+' || c == u'-' || (c >= u'0' && c <= u'9');
}

int TIntegerEdit::CheckText() const {
    return CheckIntegerText(text().toStdString(), minValue_, maxValue_, IsZeroAllowed());
}

void TIntegerEdit::ShowRange() {
    const NumericMessage message =
        RangeMessage(RangeActive(minValue_, maxValue_), std::to_string(minValue_),
                     std::to_string(maxValue_), IsZeroAllowed());
    ShowMessageBox(message.owner == MessageOwner::Field ? FieldWindow() : nullptr,
                   FromUtf8(message.text), FromUtf8(message.caption), message.flags);
}

void TIntegerEdit::RightClick(const QPoint&) {
    ShowRange();
}

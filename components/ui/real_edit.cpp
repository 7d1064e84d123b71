#include <QAction>
#include <QMenu>
#include <cmath>

#include "components/numeric_text.h"
#include "components/qncomps_library.h"
#include "components/suite_options.h"
#include "components/ui/message_box.h"
#include "components/ui/qncomps.h"

namespace {
QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}
}  // namespace

TRealEdit::TRealEdit(QWidget* parent)
    : TNumericEdit(QStringLiteral("0.00"),
                   QString::fromUtf8(kRealEditDefaultFormat.data(),
                                     qsizetype(kRealEditDefaultFormat.size())),
                   parent) {}

long double TRealEdit::Value() const {
    stored_ = ReadRealValue(text().toStdString(), stored_, minValue_, maxValue_);
    return stored_;
}

void TRealEdit::SetValue(long double V) {
    stored_ = V;
    setText(FromUtf8(RealValueText(Format().toStdString(), V, NoBlanks(), SuiteOptions)));
}

bool TRealEdit::AcceptsChar(QChar Key) const {
    const char16_t c = Key.unicode();
    return c == 8 || c == u'+' || c == u'-' || c == u'.' || (c >= u'0' && c <= u'9') || c == u'E' ||
           c == u'e';
}

int TRealEdit::CheckText() const {
    return CheckRealText(text().toStdString(), minValue_, maxValue_, IsZeroAllowed());
}

void TRealEdit::ShowRange() {
    const NumericMessage message =
        RangeMessage(RangeActive(minValue_, maxValue_), FormatDefaultFloat(minValue_),
                     FormatDefaultFloat(maxValue_), IsZeroAllowed());
    ShowMessageBox(message.owner == MessageOwner::Field ? FieldWindow() : nullptr,
                   FromUtf8(message.text), FromUtf8(message.caption), message.flags);
}

void TRealEdit::Loaded() {
    TNumericEdit::Loaded();
    if (popupMenu_ || Tag() < 0 || isReadOnly())
        return;
    popupMenu_ = new QMenu(this);
    popupMenu_->setObjectName(QStringLiteral("PopupMenu"));
}

void TRealEdit::RightClick(const QPoint& globalPos) {
    if (!popupMenu_)
        return;
    QMenu* menu = popupMenu_;
    menu->clear();
    auto add = [&](const QString& caption, int tag, auto slot) {
        QAction* action = menu->addAction(caption);
        action->setData(tag);
        connect(action, &QAction::triggered, this, slot);
    };
    add(QStringLiteral("Wertebereich..."), 0, [this] { ShowRange(); });
    add(QStringLiteral("Kopieren"), 0, [this] { copy(); });
    add(QString::fromUtf8("Einfügen"), 0, [this] { paste(); });
    const int count = ConversionNames ? static_cast<int>(ConversionNames->size()) : 0;
    if (count > 0) {
        menu->addSeparator();
        for (int i = 1; i <= count; ++i)
            add(QString::fromUtf8("« ") + FromUtf8((*ConversionNames)[size_t(i - 1)]), i,
                [this, i] { ConvertByFactor(i); });
        menu->addSeparator();
        for (int i = 1; i <= count; ++i)
            add(QString::fromUtf8("» ") + FromUtf8((*ConversionNames)[size_t(i - 1)]), -i,
                [this, i] { ConvertByFactor(-i); });
    }
    menu->popup(globalPos);
}

void TRealEdit::ConvertByFactor(int t) {
    if (CheckText() != 0)
        return;
    const int k = t > 0 ? t : -t;
    if (!ConversionFactors || k < 1 || k > ConversionFactors->Count())
        return;
    const long double factor = ConversionFactors->Values(k - 1);
    if (t <= 0 && factor == 0)
        return;
    const long double converted = t > 0 ? Value() * factor : Value() / factor;
    // A result the field could not show as a number would be refused at every later exit.
    if (!std::isfinite(converted))
        return;
    SetValue(converted);
}

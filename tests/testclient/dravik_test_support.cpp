#include "tests/testclient/dravik_test_support.h"

#include <QTest>

namespace dravik_test {

void DravikTest::SetUp() {
    WindowTest::SetUp();
    if (HasFatalFailure())
        return;
    form = std::make_unique<TForm1>();
    // Connected after the window's own handler, so a count means a finished tick.
    QObject::connect(form->Timer1, &QTimer::timeout, form.get(), [this] { ++ticks; });
    form->show();
}

void DravikTest::TearDown() {
    form.reset();
    WindowTest::TearDown();
}

void DravikTest::ConnectThroughDialog(const QString& server, const QString& machine) {
    WhenModal<TDravikConnectDialog>([server, machine](TDravikConnectDialog* dialog) {
        dialog->MachineEdit->setText(machine);
        dialog->ServerEdit->setText(server);
        dialog->OKBtn->click();
    });
    form->Button2->click();
}

void DravikTest::AddThroughDialog(const QString& itemId) {
    WhenModal<TDravikAddTagDialog>([itemId](TDravikAddTagDialog* dialog) {
        const QList<QListWidgetItem*> found = dialog->ListBox1->findItems(itemId, Qt::MatchExactly);
        if (found.isEmpty()) {
            ADD_FAILURE() << "the add dialog does not list " << itemId.toStdString();
            dialog->CancelBtn->click();
            return;
        }
        dialog->ListBox1->setCurrentItem(found.first());
        dialog->OKBtn->click();
    });
    form->Button4->click();
}

void DravikTest::WriteThroughDialog(int line, const QString& value, WriteClosing closing) {
    WhenModal<TDravikWriteTagDialog>([line, value, closing](TDravikWriteTagDialog* dialog) {
        if (line >= 0)
            dialog->TagListbox->setCurrentRow(line);
        dialog->ValueEdit->setFocus();
        dialog->ValueEdit->selectAll();
        QTest::keyClicks(dialog->ValueEdit, value);
        switch (closing) {
            case WriteClosing::OkButton:
                dialog->OKBtn->click();
                break;
            case WriteClosing::EnterKey:
                QTest::keyClick(dialog->ValueEdit, Qt::Key_Return);
                break;
            case WriteClosing::CloseBox:
                dialog->close();
                break;
        }
    });
    form->Button5->click();
}

QStringList DravikTest::Lines() const {
    QStringList lines;
    for (int i = 0; i < form->ListBox1->count(); ++i)
        lines << form->ListBox1->item(i)->text();
    return lines;
}

QStringList DravikTest::StatusLines() const {
    const QString text = form->Memo1->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

QString DravikTest::LineValue(int i) const {
    if (i >= form->ListBox1->count())
        return QStringLiteral("<no line>");
    const QString line = form->ListBox1->item(i)->text();
    const qsizetype at = line.lastIndexOf(QStringLiteral(" = "));
    return at < 0 ? line : line.mid(at + 3);
}

bool DravikTest::WaitForLineValue(int i, const QString& value, int milliseconds) {
    return WaitFor([&] { return LineValue(i) == value; }, milliseconds);
}

bool DravikTest::WaitForTicks(int count) {
    const int target = ticks + count;
    return WaitFor([&] { return ticks >= target; });
}

}  // namespace dravik_test

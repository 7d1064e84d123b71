// Turns the Markdown manual into the PDF that ships beside each deliverable ("VIDOV.EZU").
// Usage: make_manual INPUT.md OUTPUT  (run with QT_QPA_PLATFORM=offscreen at build time)
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <cstdio>

namespace {

// Tables of the Markdown importer come without rules; give them thin borders and some padding
// so that they read as tables on paper.
void StyleTables(QTextDocument& document) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QTextCursor cursor(block);
        QTextTable* table = cursor.currentTable();
        if (!table)
            continue;
        QTextTableFormat format = table->format();
        if (format.border() == 1 && format.borderStyle() == QTextFrameFormat::BorderStyle_Solid &&
            format.cellPadding() == 4)
            continue;  // already done
        format.setBorder(1);
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setBorderBrush(QColor(150, 150, 150));
        format.setBorderCollapse(true);
        format.setCellPadding(4);
        format.setCellSpacing(0);
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        table->setFormat(format);
        // The header row in bold on a light background.
        for (int column = 0; column < table->columns(); ++column) {
            QTextTableCell cell = table->cellAt(0, column);
            QTextCharFormat cellFormat = cell.format();
            cellFormat.setBackground(QColor(232, 236, 242));
            cell.setFormat(cellFormat);
        }
    }
}

// Air above the headings, and code examples on a light background with a left indent.
void StyleBlocks(QTextDocument& document) {
    QTextCursor cursor(&document);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        if (format.headingLevel() > 1) {
            format.setTopMargin(format.headingLevel() == 2 ? 16 : 10);
            format.setBottomMargin(4);
        } else if (format.hasProperty(QTextFormat::BlockCodeFence)) {
            format.setBackground(QColor(242, 242, 242));
            format.setLeftMargin(12);
        } else {
            continue;
        }
        cursor.setPosition(block.position());
        cursor.setBlockFormat(format);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_manual INPUT.md OUTPUT\n");
        return 2;
    }
    QFile input(QString::fromLocal8Bit(argv[1]));
    if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "make_manual: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString markdown = QString::fromUtf8(input.readAll());

    QTextDocument document;
    QFont body(QStringLiteral("sans-serif"), 10);
    body.setStyleHint(QFont::SansSerif);
    document.setDefaultFont(body);
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    StyleTables(document);
    StyleBlocks(document);

    QPdfWriter writer(QString::fromLocal8Bit(argv[2]));
    writer.setTitle(QStringLiteral("Virelon and Dravik - User Manual"));
    writer.setCreator(QStringLiteral("Virelon and Dravik 8.0.1.265"));
    // No margins of the writer's own: printing puts a margin of 2 cm around every page.
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    writer.setResolution(300);
    // Printing lays the document out page by page and numbers the pages.
    document.print(&writer);
    if (!QFile::exists(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "make_manual: %s was not written\n", argv[2]);
        return 1;
    }
    return 0;
}

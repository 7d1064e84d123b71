// The tag tree cache reader on arbitrary bytes: it must never crash, must leave the tree empty
// when it refuses a file, and a tree it read must come back unchanged through the writer.
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QDomDocument>
#include <QFile>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "plugin/ui/tag_tree_cache.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

QString Shape(const QTreeWidgetItem* item) {
    // Texts framed by their length, so that no text can pass for structure.
    QString text = QString::number(item->text(0).size()) + u':' + item->text(0) + u'(';
    for (int k = 0; k < item->childCount(); ++k)
        text += Shape(item->child(k));
    return text + u')';
}
QString Shape(const QTreeWidget& tree) {
    QString text;
    for (int k = 0; k < tree.topLevelItemCount(); ++k)
        text += Shape(tree.topLevelItem(k));
    return text;
}

QString folder;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication app(*argc, *argv);
    char pattern[] = "/tmp/fuzz-tag-tree-XXXXXX";
    Check(mkdtemp(pattern) != nullptr);
    folder = QString::fromLocal8Bit(pattern);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString input = folder + "/input.xml", output = folder + "/output.xml";
    {
        QFile file(input);
        Check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        Check(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    }
    QTreeWidget tree;
    tree.addTopLevelItem(new QTreeWidgetItem(QStringList{"before"}));
    QDomDocument document;
    if (!virelon::LoadTagTree(&tree, input, document)) {
        Check(tree.topLevelItemCount() == 0);
        return 0;
    }
    Check(document.documentElement().isNull());
    if (!virelon::SaveTagTree(&tree, output, document))
        return 0;  // a text XML cannot carry, from a character reference the parser let in
    QTreeWidget again;
    Check(virelon::LoadTagTree(&again, output, document));
    Check(Shape(again) == Shape(tree));
    return 0;
}

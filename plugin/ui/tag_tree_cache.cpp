#include "plugin/ui/tag_tree_cache.h"

#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <utility>
#include <vector>

namespace virelon {
namespace {

const QString kDocumentElement = QStringLiteral("OPCItems");
const QString kAppAttribute = QStringLiteral("app");
const QString kAppValue = QStringLiteral("KORVA");
const QString kItemElement = QStringLiteral("item");
const QString kTextAttribute = QStringLiteral("text");

void SetError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

// Whether XML 1.0 can carry every character of `text` in an attribute value (as itself or as a
// character reference).
bool XmlCanCarry(const QString& text) {
    const qsizetype size = text.size();
    const QChar* chars = text.constData();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = chars[i].unicode();
        if (c < 0x20) {
            if (c != u'\t' && c != u'\n' && c != u'\r')
                return false;
        } else if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= size || !QChar::isLowSurrogate(chars[i + 1].unicode()))
                return false;
            ++i;
        } else if (QChar::isLowSurrogate(c) || c == 0xFFFE || c == 0xFFFF) {
            return false;
        }
    }
    return true;
}

// The first node of the subtree below `top` (`top` included) whose text XML cannot carry.
QTreeWidgetItem* FirstUncarriableNode(QTreeWidgetItem* top) {
    std::vector<QTreeWidgetItem*> stack{top};
    while (!stack.empty()) {
        QTreeWidgetItem* node = stack.back();
        stack.pop_back();
        if (!XmlCanCarry(node->text(0)))
            return node;
        for (int k = node->childCount() - 1; k >= 0; --k)
            stack.push_back(node->child(k));
    }
    return nullptr;
}

}  // namespace

void WriteTagNode(QTreeWidgetItem* node, QDomElement& parent) {
    if (!node)
        return;
    QDomDocument document = parent.ownerDocument();
    std::vector<std::pair<QTreeWidgetItem*, QDomElement>> stack;
    stack.emplace_back(node, parent);
    while (!stack.empty()) {
        auto [item, under] = std::move(stack.back());
        stack.pop_back();
        QDomElement element = document.createElement(kItemElement);
        element.setAttribute(kTextAttribute, item->text(0));
        under.appendChild(element);
        // Pushed last child first, so that the first child is written first.
        for (int k = item->childCount() - 1; k >= 0; --k)
            stack.emplace_back(item->child(k), element);
    }
}

QTreeWidgetItem* ReadTagNode(const QDomNode& node, QTreeWidgetItem* parent) {
    if (node.isNull() || !node.isElement())
        return nullptr;
    QTreeWidgetItem* top = nullptr;
    std::vector<std::pair<QDomElement, QTreeWidgetItem*>> stack;
    stack.emplace_back(node.toElement(), parent);
    while (!stack.empty()) {
        auto [element, under] = std::move(stack.back());
        stack.pop_back();
        auto* item = new QTreeWidgetItem;
        item->setText(0, element.attribute(kTextAttribute));
        if (under)
            under->addChild(item);
        if (!top)
            top = item;
        for (QDomElement child = element.lastChildElement(); !child.isNull();
             child = child.previousSiblingElement())
            stack.emplace_back(child, item);
    }
    return top;
}

bool SaveTagTree(QTreeWidget* TreeView, const QString& FileName, QDomDocument& XMLDocument,
                 QString* error) {
    for (int k = 0; k < TreeView->topLevelItemCount(); ++k) {
        if (QTreeWidgetItem* bad = FirstUncarriableNode(TreeView->topLevelItem(k))) {
            SetError(error, QStringLiteral("the node \"%1\" holds a character that XML cannot "
                                           "carry")
                                .arg(bad->text(0)));
            return false;
        }
    }

    XMLDocument = QDomDocument();
    QDomElement root = XMLDocument.createElement(kDocumentElement);
    root.setAttribute(kAppAttribute, kAppValue);
    XMLDocument.appendChild(root);
    for (int k = 0; k < TreeView->topLevelItemCount(); ++k)
        WriteTagNode(TreeView->topLevelItem(k), root);

    // Indent -1: no whitespace at all between the elements. The declaration is written here
    // rather than as a node of the document, which would put a line break behind it.
    const QByteArray bytes = QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") +
                             XMLDocument.toByteArray(-1);
    XMLDocument = QDomDocument();

    // Written beside the old file and renamed over it: a reader in another process sees either
    // file whole.
    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        SetError(error, QStringLiteral("%1: %2").arg(FileName, file.errorString()));
        return false;
    }
    return true;
}

bool LoadTagTree(QTreeWidget* TreeView, const QString& FileName, QDomDocument& XMLDocument,
                 QString* error) {
    TreeView->clear();

    // A directory or a pipe in the file's place is not read (a pipe could block for ever).
    const QFileInfo info(FileName);
    if (!info.isFile()) {
        SetError(error, QStringLiteral("%1: no such file").arg(FileName));
        return false;
    }
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly)) {
        SetError(error, QStringLiteral("%1: %2").arg(FileName, file.errorString()));
        return false;
    }
    XMLDocument = QDomDocument();
    QString message;
    int line = 0, column = 0;
    if (!XMLDocument.setContent(&file, &message, &line, &column)) {
        XMLDocument = QDomDocument();
        SetError(error,
                 QStringLiteral("%1:%2:%3: %4").arg(FileName).arg(line).arg(column).arg(message));
        return false;
    }

    // The nodes are made apart from the view and handed to it in one step: much faster than
    // adding them one by one to a visible tree. New nodes are collapsed.
    QList<QTreeWidgetItem*> topLevel;
    const QDomElement root = XMLDocument.documentElement();
    for (QDomNode child = root.firstChild(); !child.isNull(); child = child.nextSibling())
        if (QTreeWidgetItem* item = ReadTagNode(child, nullptr))
            topLevel.append(item);
    XMLDocument = QDomDocument();
    TreeView->addTopLevelItems(topLevel);
    return true;
}

}  // namespace virelon

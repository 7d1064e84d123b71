// The tag tree cache: the parameter dialog's browsed tree in a small XML file, so that the next
// opening shows it without contacting the server.
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <OPCItems app="KORVA"><item text="Root"><item text="Dev1"><item text="Temp"/>...
//
// Only the node texts and their nesting are stored. Texts are attribute values, escaped as XML
// requires; the writer adds no whitespace between elements and the reader ignores it. UI thread
// only (the functions work on a tree view).
#pragma once

#include <QString>

class QDomDocument;
class QDomElement;
class QDomNode;
class QTreeWidget;
class QTreeWidgetItem;

namespace virelon {

// Writes the whole tree of `TreeView` to `FileName`, replacing the file atomically: another
// process reads either the old file or the new one, never a part. `XMLDocument` is reset to a new
// document for the write and left empty afterwards. False with `error` set (the file untouched)
// when the file cannot be written or a node text holds a character that XML cannot carry (a
// control character other than tab, line feed and carriage return, or an unpaired surrogate).
bool SaveTagTree(QTreeWidget* TreeView, const QString& FileName, QDomDocument& XMLDocument,
                 QString* error = nullptr);

// Replaces the whole tree of `TreeView` by the tree stored in `FileName`; every new node is
// collapsed. The tree is emptied first and stays empty when the file cannot be read or parsed
// (false with `error` set). Element names and the "app" attribute are not looked at: each
// element below the document element becomes a node with its "text" attribute (empty when
// missing); text, comments and processing instructions between them are ignored.
bool LoadTagTree(QTreeWidget* TreeView, const QString& FileName, QDomDocument& XMLDocument,
                 QString* error = nullptr);

// The two steps for one subtree. WriteTagNode appends an "item" element for `node` as the last
// child of `parent`, and below it one for each descendant in tree order (null node: nothing).
// ReadTagNode makes a tree node for the element `node` with its "text" attribute, appends it as
// the last child of `parent` (when not null) and makes nodes for the element's descendant
// elements below it; it answers the new node (null when `node` is no element), which the caller
// adds as a top-level node when it gave no parent. Both walk the subtree with a stack of their
// own, so a tree as deep as a server's longest identifier does not exhaust the call stack.
void WriteTagNode(QTreeWidgetItem* node, QDomElement& parent);
QTreeWidgetItem* ReadTagNode(const QDomNode& node, QTreeWidgetItem* parent);

}  // namespace virelon

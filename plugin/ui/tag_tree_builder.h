// The rule by which the parameter dialog turns a server's flat list of item identifiers into a
// tag tree, kept apart from any window so that it can be tested and measured on its own.
//
// Hierarchical address spaces: each identifier is split at its dots into segments; starting at
// the top node, each segment goes down to the first child with exactly that text (case-sensitive)
// or appends a new child. A ChildIndex finds that first child in constant time, so a server with
// hundreds of thousands of items under one branch builds as fast as a small one.
#pragma once

#include <QString>
#include <QStringView>
#include <cstddef>
#include <unordered_map>

namespace virelon {

// Calls `segment(text)` for each segment of a hierarchical item identifier, in order: the text
// up to each ".", then what remains. The walk ends when nothing remains, so a trailing dot adds
// no segment and an empty identifier has none; two dots in a row give an empty segment, which
// keeps the identifier rebuilt from the tree equal to the server's.
template <typename Segment>
void ForEachSegment(QStringView id, Segment&& segment) {
    while (!id.isEmpty()) {
        const qsizetype dot = id.indexOf(u'.');
        if (dot < 0) {
            segment(id);
            return;
        }
        segment(id.left(dot));
        id = id.mid(dot + 1);
    }
}

// The children of every node by their text, for the "first child with the same text" look-up.
// Nodes are opaque pointers; the index owns nothing but copies of the texts.
class ChildIndex {
  public:
    // The first child recorded for `parent` with exactly `text`, or null.
    void* Find(const void* parent, QStringView text) const;
    // Records `child` as a child of `parent` with `text`, unless a child with that text is
    // recorded already: the first one stays the one found.
    void Add(const void* parent, const QString& text, void* child);
    void Clear() { entries_.clear(); }
    void Reserve(size_t count) { entries_.reserve(count); }
    size_t Size() const { return entries_.size(); }

  private:
    struct Key {
        const void* parent;
        QStringView text;  // the characters of Entry::text, or of the text being looked up
        bool operator==(const Key& other) const {
            return parent == other.parent && text == other.text;
        }
    };
    struct KeyHash {
        size_t operator()(const Key& key) const noexcept;
    };
    struct Entry {
        QString text;  // owns the characters the key views
        void* child;
    };
    std::unordered_map<Key, Entry, KeyHash> entries_;
};

// Walks `id` down from `root` by the hierarchical rule, appending missing children with
// `append(parent, text)` (which answers the new child), and answers the node reached last: the
// node that stands for the item (`root` itself for an identifier without segments).
template <typename Node, typename Append>
Node* AddHierarchicalItem(ChildIndex& index, Node* root, QStringView id, Append&& append) {
    Node* node = root;
    ForEachSegment(id, [&](QStringView segment) {
        if (void* found = index.Find(node, segment)) {
            node = static_cast<Node*>(found);
            return;
        }
        const QString text = segment.toString();
        Node* child = append(node, text);
        index.Add(node, text, child);
        node = child;
    });
    return node;
}

}  // namespace virelon

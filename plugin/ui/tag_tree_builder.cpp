#include "plugin/ui/tag_tree_builder.h"

#include <QHashFunctions>
#include <functional>

namespace virelon {

size_t ChildIndex::KeyHash::operator()(const Key& key) const noexcept {
    return qHash(key.text, std::hash<const void*>{}(key.parent));
}

void* ChildIndex::Find(const void* parent, QStringView text) const {
    const auto found = entries_.find(Key{parent, text});
    return found == entries_.end() ? nullptr : found->second.child;
}

void ChildIndex::Add(const void* parent, const QString& text, void* child) {
    if (entries_.find(Key{parent, text}) != entries_.end())
        return;
    // The key views the characters of the entry's own copy of the text. Moving a QString hands
    // its character block on unchanged, so the view stays valid inside the map.
    Entry entry{text, child};
    const Key key{parent, QStringView(entry.text)};
    entries_.emplace(key, std::move(entry));
}

}  // namespace virelon

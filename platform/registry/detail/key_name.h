// Key and value names: the case fold that makes them case-insensitive, and key path splitting.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korva::registry {

// The longest key name component, in characters, as the platform allows.
constexpr size_t kMaxKeyNameLength = 255;

// The comparison form of a name: UTF-8 with simple case folding of ASCII and of the common
// cased alphabets (Latin-1, Latin Extended-A and Additional, Greek, Cyrillic, Armenian,
// full-width Latin). Bytes that are not valid UTF-8 pass through unchanged, so every byte
// string has a folded form and equal names always fold equally.
std::string FoldName(std::string_view name);

// Splits a key path on "\" into its names. One leading and one trailing "\" are ignored; an
// empty path gives no names. Fails on an empty name inside the path ("a\\b"), on a name longer
// than kMaxKeyNameLength characters and on a NUL character.
bool SplitKeyPath(std::string_view path, std::vector<std::string_view>& names);

}  // namespace korva::registry

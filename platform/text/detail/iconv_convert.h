// The one place that drives iconv: conversion between two code pages with replacement of what
// cannot be converted, through descriptors cached per thread.
#pragma once

#include <string>
#include <string_view>

namespace korva::text {

// iconv's name for UTF-16 in this machine's byte order, the layout of char16_t.
const char* NativeUtf16();

// How the source is laid out, so that a bad spot is skipped by one whole character.
enum class SourceUnits { Bytes, Utf16 };

// Converts `input` from code page `from` to `to`. A character the target cannot hold, or input
// that is not valid in `from`, is replaced by `replacement` (already in the target's encoding)
// and skipped: one byte of a byte source, one character of a UTF-16 source (a surrogate pair
// counts as one). Answers false and leaves `output` empty when either code page is unknown.
bool Convert(const std::string& to, const std::string& from, std::string_view input,
             SourceUnits units, std::string_view replacement, std::string& output);

// True when iconv knows a conversion between the two code pages.
bool CanConvert(const std::string& to, const std::string& from);

}  // namespace korva::text

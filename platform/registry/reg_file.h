// Registry files (.reg, "Windows Registry Editor Version 5.00"): parsing, writing, reading a key
// tree into one and applying one to the hives.
//
// Format: the header line, then blocks of a key line "[HKEY_CURRENT_USER\Path]" (or "[-...]"
// to delete the key with its sub-keys) followed by value lines: `@=` (the default value) or
// `"name"=` with data `"text"` (REG_SZ; escapes \\ and \"), `dword:1f` (REG_DWORD, up to 8 hex
// digits), `hex:01,02` (REG_BINARY), `hex(N):..` (type N in hex; REG_SZ, REG_EXPAND_SZ and
// REG_MULTI_SZ data as UTF-16LE, as the platform's editor writes it), or `-` to delete the
// value. Hex data continues on the next line after a trailing "\". Lines starting with ";" are
// comments. Files are UTF-8 (a byte-order mark is skipped) or UTF-16LE with its byte-order mark.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";

struct RegFileValue {
    std::string name;  // "" is the default value
    bool remove = false;
    RegValue value;
    int line = 0;  // where the value stands in its file (0 when not read from a file)
};

struct RegFileKey {
    HKEY root = HKEY_CURRENT_USER;
    std::string path;  // below the root, no leading "\"; "" is the root itself
    bool remove = false;
    int line = 0;
    std::vector<RegFileValue> values;
};

struct RegFile {
    std::string fileName;  // named in messages
    std::vector<RegFileKey> keys;
};

// Splits "HKEY_CURRENT_USER\Path" or "HKCU\Path" into root and path; fails with "unknown hive"
// or "invalid key name" in `error`.
bool ParseFullKeyName(std::string_view name, HKEY& root, std::string& path, std::string* error);
// "HKEY_CURRENT_USER\Path" (or the bare root name for "").
std::string FullKeyName(HKEY root, std::string_view path);

// Parses a whole file. On failure answers nothing and `error` reads "FILE:LINE: problem".
std::optional<RegFile> ParseRegFile(std::string_view content, std::string_view fileName,
                                    std::string* error);
// The file's text (UTF-8, LF line ends), which ParseRegFile reads back to the same keys and
// values.
std::string FormatRegFile(const RegFile& file);

// The key `path` below `root` with its values and all keys below it, read in one snapshot,
// keys in enumeration order (parents first). Fails with "key not found" when it is missing.
std::optional<RegFile> ReadRegTree(HKEY root, std::string_view path, std::string* error);

// Applies the file to the hives: all or nothing, in one transaction per hive. Refuses (and
// changes nothing) when a change would touch a read-only key; the message names the file and
// line. Deleting a key or value that does not exist is not an error.
bool ImportRegFile(const RegFile& file, std::string* error);

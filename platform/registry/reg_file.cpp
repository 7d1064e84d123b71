#include "platform/registry/reg_file.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

#include "platform/registry/detail/hive_store.h"
#include "platform/registry/detail/key_name.h"
#include "platform/registry/detail/value_codec.h"

using korva::registry::HiveStore;
using korva::registry::KeyId;
using korva::registry::kRootKeyId;
using korva::registry::StoredKey;

namespace {

// ---- Parsing ----------------------------------------------------------------------------------

struct Line {
    std::string_view text;
    int number = 0;
};

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    return text;
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
        if (c != prefix[i])
            return false;
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits, the whole text.
std::optional<uint32_t> ParseHex32(std::string_view text) {
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    uint32_t number = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0)
            return std::nullopt;
        number = (number << 4) | static_cast<uint32_t>(digit);
    }
    return number;
}

class Parser {
  public:
    Parser(std::string_view content, std::string_view fileName) : fileName_(fileName) {
        SplitLines(content);
    }

    std::optional<RegFile> Parse(std::string* error) {
        RegFile file;
        file.fileName = fileName_;
        if (!ParseAll(file)) {
            if (error)
                *error = error_;
            return std::nullopt;
        }
        return file;
    }

  private:
    void SplitLines(std::string_view content) {
        int number = 1;
        while (true) {
            const size_t end = content.find('\n');
            lines_.push_back({TrimRight(content.substr(0, end)), number++});
            if (end == std::string_view::npos)
                break;
            content.remove_prefix(end + 1);
        }
    }

    bool Fail(int line, const std::string& problem) {
        error_ = fileName_ + ":" + std::to_string(line) + ": " + problem;
        return false;
    }

    bool ParseAll(RegFile& file) {
        if (lines_.empty() || lines_[0].text != kRegFileHeader)
            return Fail(1, "not a registry file: the first line must be \"" +
                               std::string(kRegFileHeader) + "\"");
        RegFileKey* current = nullptr;
        for (next_ = 1; next_ < lines_.size();) {
            const Line line = lines_[next_++];
            const std::string_view text = TrimLeft(line.text);
            if (text.empty() || text.front() == ';')
                continue;
            if (text.front() == '[') {
                RegFileKey key;
                if (!ParseKeyLine(text, line.number, key))
                    return false;
                file.keys.push_back(std::move(key));
                current = &file.keys.back();
                continue;
            }
            if (!current)
                return Fail(line.number, "a value line before the first key line");
            if (current->remove)
                return Fail(line.number, "a value line below a key that is deleted");
            RegFileValue value;
            if (!ParseValueLine(text, line.number, value))
                return false;
            current->values.push_back(std::move(value));
        }
        return true;
    }

    bool ParseKeyLine(std::string_view text, int number, RegFileKey& key) {
        if (text.back() != ']')
            return Fail(number, "a key line must end with \"]\"");
        std::string_view name = text.substr(1, text.size() - 2);
        key.line = number;
        if (!name.empty() && name.front() == '-') {
            key.remove = true;
            name.remove_prefix(1);
        }
        std::string problem;
        if (!ParseFullKeyName(name, key.root, key.path, &problem))
            return Fail(number, problem);
        if (key.remove && key.path.empty())
            return Fail(number, "a root key cannot be deleted");
        return true;
    }

    // A quoted text with the escapes \\ and \"; `text` starts at the opening quote and is left
    // behind the closing one.
    bool ParseQuoted(std::string_view& text, int number, std::string& out) {
        out.clear();
        for (size_t at = 1; at < text.size(); ++at) {
            const char c = text[at];
            if (c == '"') {
                text.remove_prefix(at + 1);
                return true;
            }
            if (c == '\\') {
                if (at + 1 >= text.size())
                    break;
                const char escaped = text[++at];
                if (escaped != '\\' && escaped != '"')
                    return Fail(number, std::string("unknown escape \"\\") + escaped +
                                            "\" in a quoted text (only \\\\ and \\\" are known)");
                out += escaped;
                continue;
            }
            out += c;
        }
        return Fail(number, "a quoted text has no closing quotation mark");
    }

    bool ParseValueLine(std::string_view text, int number, RegFileValue& value) {
        value.line = number;
        if (text.front() == '@') {
            text.remove_prefix(1);
        } else if (text.front() == '"') {
            if (!ParseQuoted(text, number, value.name))
                return false;
            if (value.name.find('\0') != std::string::npos)
                return Fail(number, "a value name cannot hold a NUL character");
        } else {
            return Fail(number,
                        "expected a key line \"[...]\", a value line (\"name\"= or @=) "
                        "or a comment");
        }
        text = TrimLeft(text);
        if (text.empty() || text.front() != '=')
            return Fail(number, "expected \"=\" after the value name");
        text = TrimLeft(text.substr(1));
        if (text == "-") {
            value.remove = true;
            return true;
        }
        if (!text.empty() && text.front() == '"') {
            value.value.type = REG_SZ;
            if (!ParseQuoted(text, number, value.value.text))
                return false;
            if (!TrimLeft(text).empty())
                return Fail(number, "unexpected text after the closing quotation mark");
            return true;
        }
        if (StartsWithIgnoringCase(text, "dword:")) {
            const std::optional<uint32_t> number32 = ParseHex32(text.substr(6));
            if (!number32)
                return Fail(number, "a dword value needs 1 to 8 hexadecimal digits");
            value.value.type = REG_DWORD;
            value.value.number = *number32;
            return true;
        }
        if (StartsWithIgnoringCase(text, "hex"))
            return ParseHexValue(text.substr(3), number, value.value);
        return Fail(number, "unknown value data (expected \"text\", dword:, hex:, hex(N): or -)");
    }

    bool ParseHexValue(std::string_view text, int number, RegValue& value) {
        DWORD type = REG_BINARY;
        if (!text.empty() && text.front() == '(') {
            const size_t close = text.find(')');
            const std::optional<uint32_t> parsed = close == std::string_view::npos
                                                       ? std::nullopt
                                                       : ParseHex32(text.substr(1, close - 1));
            if (!parsed)
                return Fail(number, "hex(N): needs a hexadecimal type number");
            type = *parsed;
            text.remove_prefix(close + 1);
        }
        if (text.empty() || text.front() != ':')
            return Fail(number, "expected \":\" after hex");
        text.remove_prefix(1);

        // The data with its continuation lines joined.
        std::string joined;
        while (true) {
            text = TrimRight(text);
            if (text.empty() || text.back() != '\\') {
                joined += text;
                break;
            }
            joined += text.substr(0, text.size() - 1);
            if (next_ >= lines_.size())
                return Fail(number, "the hex data continues past the end of the file");
            text = TrimLeft(lines_[next_++].text);
        }

        std::vector<uint8_t> bytes;
        std::string_view rest = joined;
        while (true) {
            rest = TrimLeft(rest);
            if (rest.empty())
                break;
            size_t digits = 0;
            while (digits < rest.size() && HexDigit(rest[digits]) >= 0)
                ++digits;
            if (digits == 0 || digits > 2)
                return Fail(number,
                            "hex data must be bytes of two hexadecimal digits separated "
                            "by commas");
            bytes.push_back(static_cast<uint8_t>(*ParseHex32(rest.substr(0, digits))));
            rest = TrimLeft(rest.substr(digits));
            if (rest.empty())
                break;
            if (rest.front() != ',')
                return Fail(number,
                            "hex data must be bytes of two hexadecimal digits separated "
                            "by commas");
            rest.remove_prefix(1);
        }
        return MakeValue(type, std::move(bytes), number, value);
    }

    bool MakeValue(DWORD type, std::vector<uint8_t> bytes, int number, RegValue& value) {
        value.type = static_cast<RegType>(type);
        switch (type) {
            case REG_SZ:
            case REG_EXPAND_SZ: {
                if (!korva::registry::Utf16LeToUtf8(bytes.data(), bytes.size(), value.text))
                    return Fail(number, "text data is not valid UTF-16");
                // The stored terminator is not part of the text.
                if (!value.text.empty() && value.text.back() == '\0')
                    value.text.pop_back();
                return true;
            }
            case REG_MULTI_SZ: {
                std::string text;
                if (!korva::registry::Utf16LeToUtf8(bytes.data(), bytes.size(), text))
                    return Fail(number, "text data is not valid UTF-16");
                value.data.assign(text.begin(), text.end());
                return true;
            }
            case REG_DWORD:
                if (bytes.size() != 4)
                    return Fail(number, "a REG_DWORD value needs 4 bytes");
                value = korva::registry::DecodeValue(type, bytes);
                return true;
            case REG_QWORD:
                if (bytes.size() != 8)
                    return Fail(number, "a REG_QWORD value needs 8 bytes");
                value = korva::registry::DecodeValue(type, bytes);
                return true;
            default:
                value.data = std::move(bytes);
                return true;
        }
    }

    std::string fileName_;
    std::vector<Line> lines_;
    size_t next_ = 0;
    std::string error_;
};

// ---- Writing ----------------------------------------------------------------------------------

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
}

// "hex(N):" data, wrapped like the platform's editor does it: lines of at most 80 characters,
// continued with "\" and an indent of two blanks.
void AppendHex(std::string& out, size_t lineStart, const char* prefix,
               const std::vector<uint8_t>& bytes) {
    out += prefix;
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < bytes.size(); ++i) {
        const bool last = i + 1 == bytes.size();
        if (out.size() - lineStart + (last ? 2 : 3) > 78) {
            out += "\\\n  ";
            lineStart = out.size() - 2;
        }
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0xF];
        if (!last)
            out += ',';
    }
}

std::vector<uint8_t> TextAsUtf16(std::string_view text) {
    std::vector<uint8_t> bytes = korva::registry::Utf8ToUtf16Le(text);
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

void AppendValue(std::string& out, const RegFileValue& entry) {
    const size_t lineStart = out.size();
    if (entry.name.empty())
        out += '@';
    else
        AppendQuoted(out, entry.name);
    out += '=';
    if (entry.remove) {
        out += "-\n";
        return;
    }
    const RegValue& value = entry.value;
    char prefix[32];
    switch (value.type) {
        case REG_SZ:
            // Line breaks and NULs cannot stand in a quoted text.
            if (value.text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos) {
                AppendQuoted(out, value.text);
            } else {
                AppendHex(out, lineStart, "hex(1):", TextAsUtf16(value.text));
            }
            break;
        case REG_EXPAND_SZ:
            AppendHex(out, lineStart, "hex(2):", TextAsUtf16(value.text));
            break;
        case REG_DWORD:
            snprintf(prefix, sizeof prefix, "dword:%08x", static_cast<unsigned>(value.number));
            out += prefix;
            break;
        case REG_QWORD:
            AppendHex(out, lineStart, "hex(b):", *korva::registry::EncodeValue(value));
            break;
        case REG_BINARY:
            AppendHex(out, lineStart, "hex:", value.data);
            break;
        case REG_MULTI_SZ: {
            const std::string text(value.data.begin(), value.data.end());
            AppendHex(out, lineStart, "hex(7):", korva::registry::Utf8ToUtf16Le(text));
            break;
        }
        default:
            snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
            AppendHex(out, lineStart, prefix, value.data);
            break;
    }
    out += '\n';
}

// ---- Hive access ------------------------------------------------------------------------------

std::string Located(const RegFile& file, int line, const std::string& problem) {
    return file.fileName + ":" + std::to_string(line) + ": " + problem;
}

}  // namespace

bool ParseFullKeyName(std::string_view name, HKEY& root, std::string& path, std::string* error) {
    const size_t separator = name.find('\\');
    const std::string_view hive = name.substr(0, separator);
    const std::optional<HKEY> parsed = ParseRootKeyName(hive);
    if (!parsed) {
        if (error)
            *error = "unknown hive \"" + std::string(hive) +
                     "\" (known: HKEY_CLASSES_ROOT or HKCR, HKEY_CURRENT_USER or HKCU)";
        return false;
    }
    std::string_view rest =
        separator == std::string_view::npos ? std::string_view() : name.substr(separator);
    std::vector<std::string_view> names;
    if (!korva::registry::SplitKeyPath(rest, names)) {
        if (error)
            *error = "invalid key name \"" + std::string(name) + "\"";
        return false;
    }
    root = *parsed;
    path.clear();
    for (std::string_view part : names) {
        if (!path.empty())
            path += '\\';
        path += part;
    }
    return true;
}

std::string FullKeyName(HKEY root, std::string_view path) {
    std::string name = RootKeyName(root);
    if (!path.empty()) {
        name += '\\';
        name += path;
    }
    return name;
}

std::optional<RegFile> ParseRegFile(std::string_view content, std::string_view fileName,
                                    std::string* error) {
    std::string converted;
    if (content.size() >= 2 && static_cast<uint8_t>(content[0]) == 0xFF &&
        static_cast<uint8_t>(content[1]) == 0xFE) {
        if (!korva::registry::Utf16LeToUtf8(reinterpret_cast<const uint8_t*>(content.data()) + 2,
                                            content.size() - 2, converted)) {
            if (error)
                *error = std::string(fileName) + ":1: the file is not valid UTF-16";
            return std::nullopt;
        }
        content = converted;
    } else if (content.substr(0, 3) == "\xEF\xBB\xBF") {
        content.remove_prefix(3);
    }
    return Parser(content, fileName).Parse(error);
}

std::string FormatRegFile(const RegFile& file) {
    std::string out(kRegFileHeader);
    out += "\n\n";
    for (const RegFileKey& key : file.keys) {
        out += key.remove ? "[-" : "[";
        out += FullKeyName(key.root, key.path);
        out += "]\n";
        for (const RegFileValue& value : key.values)
            AppendValue(out, value);
        out += '\n';
    }
    return out;
}

namespace {

// Follows a path below the root of an open store; nothing when a key is missing. `storedPath`
// receives the path with the names' stored letter case.
std::optional<StoredKey> FindPath(HiveStore& hive, std::string_view path,
                                  std::string* storedPath = nullptr) {
    std::vector<std::string_view> names;
    if (!korva::registry::SplitKeyPath(path, names))
        return std::nullopt;
    std::optional<StoredKey> current = StoredKey{};
    std::string stored;
    for (std::string_view name : names) {
        current = hive.FindChild(current->id, name);
        if (!current)
            return std::nullopt;
        if (!stored.empty())
            stored += '\\';
        stored += current->name;
    }
    if (storedPath)
        *storedPath = std::move(stored);
    return current;
}

}  // namespace

std::optional<RegFile> ReadRegTree(HKEY root, std::string_view path, std::string* error) {
    const auto fail = [&](const std::string& problem) -> std::optional<RegFile> {
        if (error)
            *error = problem;
        return std::nullopt;
    };
    std::string storeError;
    const std::shared_ptr<HiveStore> hive = HiveStore::Get(root, &storeError);
    if (!hive)
        return fail(storeError);
    HiveStore::Transaction snapshot(*hive, HiveStore::Transaction::Read);
    if (!snapshot.ok())
        return fail(hive->lastError());
    const uint64_t failuresBefore = hive->failureCount();
    std::string topPath;
    const std::optional<StoredKey> top = FindPath(*hive, path, &topPath);
    if (!top)
        return fail("key not found: " + FullKeyName(root, path));

    RegFile file;
    struct Pending {
        KeyId id;
        std::string path;
    };
    // Depth first with an explicit stack, so that deep trees cannot exhaust the call stack.
    std::vector<Pending> stack{{top->id, topPath}};
    while (!stack.empty()) {
        Pending pending = std::move(stack.back());
        stack.pop_back();
        RegFileKey key;
        key.root = root;
        key.path = pending.path;
        for (korva::registry::StoredValue& stored : hive->Values(pending.id)) {
            RegFileValue value;
            value.name = std::move(stored.name);
            value.value = korva::registry::DecodeValue(stored.type, stored.data);
            key.values.push_back(std::move(value));
        }
        file.keys.push_back(std::move(key));
        const std::vector<StoredKey> children = hive->Children(pending.id);
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            stack.push_back({child->id, pending.path.empty() ? child->name
                                                             : pending.path + "\\" + child->name});
    }
    if (hive->failureCount() != failuresBefore)
        return fail(hive->lastError());
    return file;
}

bool ImportRegFile(const RegFile& file, std::string* error) {
    const auto fail = [&](const std::string& problem) {
        if (error)
            *error = problem;
        return false;
    };
    // One write transaction per hive, taken in a fixed order; all commit only when every change
    // has been made.
    std::map<HKEY, std::shared_ptr<HiveStore>> hives;
    for (const RegFileKey& key : file.keys) {
        if (hives.count(key.root))
            continue;
        std::string storeError;
        std::shared_ptr<HiveStore> hive = HiveStore::Get(key.root, &storeError);
        if (!hive)
            return fail(storeError);
        hives[key.root] = std::move(hive);
    }
    std::vector<std::unique_ptr<HiveStore::Transaction>> transactions;
    for (auto& [root, hive] : hives) {
        transactions.push_back(
            std::make_unique<HiveStore::Transaction>(*hive, HiveStore::Transaction::Write));
        if (!transactions.back()->ok())
            return fail(hive->lastError());
    }

    for (const RegFileKey& key : file.keys) {
        HiveStore& hive = *hives[key.root];
        const std::string keyName = FullKeyName(key.root, key.path);
        std::vector<std::string_view> names;
        korva::registry::SplitKeyPath(key.path, names);
        if (key.remove) {
            const std::optional<StoredKey> found = FindPath(hive, key.path);
            if (!found)
                continue;
            const std::optional<bool> readOnly = hive.TreeHasReadOnlyKey(found->id);
            if (!readOnly)
                return fail(Located(file, key.line, hive.lastError()));
            if (*readOnly)
                return fail(
                    Located(file, key.line,
                            "access denied: " + keyName + " or a key below it is read-only"));
            if (!hive.DeleteTree(found->id))
                return fail(Located(file, key.line, hive.lastError()));
            continue;
        }
        StoredKey current;
        for (std::string_view name : names) {
            std::optional<StoredKey> child = hive.FindChild(current.id, name);
            if (!child) {
                if (current.access == KeyAccess::ReadOnly)
                    return fail(Located(
                        file, key.line,
                        "access denied: cannot create " + keyName + " below a read-only key"));
                child = hive.CreateChild(current.id, name);
                if (!child)
                    return fail(Located(file, key.line, hive.lastError()));
            }
            current = std::move(*child);
        }
        if (!key.values.empty() && current.access == KeyAccess::ReadOnly)
            return fail(Located(file, key.values.front().line,
                                "access denied: " + keyName + " is read-only"));
        for (const RegFileValue& value : key.values) {
            if (value.remove) {
                if (!hive.RemoveValue(current.id, value.name))
                    return fail(Located(file, value.line, hive.lastError()));
                continue;
            }
            const std::optional<std::vector<uint8_t>> data =
                korva::registry::EncodeValue(value.value);
            if (!data)
                return fail(Located(file, value.line, "number too large for REG_DWORD"));
            if (!hive.PutValue(current.id, value.name, value.value.type, *data))
                return fail(Located(file, value.line, hive.lastError()));
        }
    }
    for (auto& transaction : transactions)
        if (!transaction->Commit())
            return fail("cannot commit the import");
    return true;
}

#include "servers/opcsim/address_space_file.h"

#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <tuple>
#include <vector>

#include "servers/opcsim/item_id.h"

namespace opcsim {
namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

// Strict UTF-8 to UTF-16: overlong forms, surrogates and values above U+10FFFF are refused.
std::optional<std::u16string> DecodeUtf8(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        char32_t c;
        size_t len;
        if (b0 < 0x80) {
            c = b0;
            len = 1;
        } else if ((b0 & 0xE0) == 0xC0) {
            c = b0 & 0x1F;
            len = 2;
        } else if ((b0 & 0xF0) == 0xE0) {
            c = b0 & 0x0F;
            len = 3;
        } else if ((b0 & 0xF8) == 0xF0) {
            c = b0 & 0x07;
            len = 4;
        } else {
            return std::nullopt;
        }
        if (i + len > s.size())
            return std::nullopt;
        for (size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80)
                return std::nullopt;
            c = (c << 6) | (b & 0x3F);
        }
        static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return std::nullopt;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += len;
    }
    return out;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Splits a line into words and quoted texts; a "#" that starts a word starts a comment.
bool Tokenize(std::string_view line, std::vector<Token>& tokens, std::string& error) {
    tokens.clear();
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsSpace(line[i]))
            ++i;
        if (i >= line.size() || line[i] == '#')
            break;
        Token token;
        if (line[i] == '"') {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\') {
                    if (i >= line.size() || (line[i] != '"' && line[i] != '\\')) {
                        error = "only \\\" and \\\\ may follow a backslash in a quoted text";
                        return false;
                    }
                    c = line[i++];
                }
                token.text.push_back(c);
            }
            if (!closed) {
                error = "quoted text without its closing \"";
                return false;
            }
            if (i < line.size() && !IsSpace(line[i])) {
                error = "a blank must follow a quoted text";
                return false;
            }
        } else {
            while (i < line.size() && !IsSpace(line[i])) {
                if (line[i] == '"') {
                    error = "a quote inside a word";
                    return false;
                }
                token.text.push_back(line[i++]);
            }
        }
        tokens.push_back(std::move(token));
    }
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::optional<DWORD> ParseAccess(const Token& t) {
    if (t.quoted)
        return std::nullopt;
    if (EqualsNoCase(t.text, "R"))
        return OPC_READABLE;
    if (EqualsNoCase(t.text, "W"))
        return OPC_WRITEABLE;
    if (EqualsNoCase(t.text, "RW"))
        return OPC_READABLE | OPC_WRITEABLE;
    return std::nullopt;
}

struct SignalInfo {
    const char* name;
    Signal signal;
    SignalShape defaults;
};
constexpr SignalInfo kSignals[] = {
    {"sine", Signal::Sine, {10.0, 1.0, 0.0}},      {"ramp", Signal::Ramp, {10.0, 100.0, 0.0}},
    {"square", Signal::Square, {2.0, 1.0, 0.0}},   {"random", Signal::Random, {1.0, 1.0, 0.0}},
    {"counter", Signal::Counter, {0.1, 1.0, 0.0}}, {"toggle", Signal::Toggle, {2.0, 1.0, 0.0}},
};

const SignalInfo* FindSignal(const Token& t) {
    if (t.quoted)
        return nullptr;
    for (const SignalInfo& s : kSignals)
        if (EqualsNoCase(t.text, s.name))
            return &s;
    return nullptr;
}

std::optional<double> ParseNumber(std::string_view s) {
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::string Quote(std::string_view s) {
    return "\"" + std::string(s) + "\"";
}

// Fills `item` from the tokens of one line; answers an error text or "".
std::string ParseItem(const std::vector<Token>& tokens, ItemDef& item) {
    std::optional<std::u16string> id = DecodeUtf8(tokens[0].text);
    if (!id)
        return "the identifier is not valid UTF-8";
    if (!IsWellFormedItemId(*id, OPC_NS_HIERARCHIAL))
        return "malformed item identifier " + Quote(tokens[0].text);
    item.id = std::move(*id);

    if (tokens.size() < 2)
        return "the type is missing after " + Quote(tokens[0].text);
    std::optional<VARTYPE> type = tokens[1].quoted ? std::nullopt : ParseTypeName(tokens[1].text);
    if (!type)
        return "unknown type " + Quote(tokens[1].text);
    item.type = *type;

    size_t next = 2;
    std::optional<DWORD> access;
    if (next < tokens.size() && (access = ParseAccess(tokens[next])))
        ++next;

    if (next >= tokens.size()) {
        item.access = access.value_or(OPC_READABLE | OPC_WRITEABLE);
        item.initial = ZeroValue(item.type);
        return {};
    }

    const Token& source = tokens[next++];
    if (const SignalInfo* signal = FindSignal(source)) {
        if (item.type == VT_BSTR)
            return "a signal needs a numeric or boolean type, not BSTR";
        if (access && (*access & OPC_WRITEABLE))
            return "a simulated signal is read-only";
        item.access = OPC_READABLE;
        item.signal = signal->signal;
        item.shape = signal->defaults;
        bool seen[3] = {false, false, false};
        for (; next < tokens.size(); ++next) {
            const std::string& p = tokens[next].text;
            const size_t eq = p.find('=');
            if (tokens[next].quoted || eq == std::string::npos)
                return "expected period=, amplitude= or offset=, found " + Quote(p);
            const std::string_view key = std::string_view(p).substr(0, eq);
            std::optional<double> number = ParseNumber(std::string_view(p).substr(eq + 1));
            if (!number)
                return "not a number in " + Quote(p);
            int which = EqualsNoCase(key, "period")      ? 0
                        : EqualsNoCase(key, "amplitude") ? 1
                        : EqualsNoCase(key, "offset")    ? 2
                                                         : -1;
            if (which < 0)
                return "unknown signal parameter " + Quote(key);
            if (seen[which])
                return "parameter " + Quote(key) + " given twice";
            seen[which] = true;
            if (which == 0) {
                // Periods are counted in whole nanoseconds.
                if (*number < 1e-6 || *number > 1e9)
                    return "the period must be 1e-6 to 1e9 seconds";
                item.shape.period = *number;
            } else if (which == 1) {
                item.shape.amplitude = *number;
            } else {
                item.shape.offset = *number;
            }
        }
        return {};
    }

    if (!source.quoted &&
        (EqualsNoCase(source.text, "state") || EqualsNoCase(source.text, "shutdown"))) {
        const bool state = EqualsNoCase(source.text, "state");
        if (state && item.type != VT_I4)
            return "the server state item must be of type I4";
        if (!state && item.type != VT_BSTR)
            return "the shutdown item must be of type BSTR";
        item.special = state ? Special::ServerState : Special::Shutdown;
        item.access = access.value_or(OPC_READABLE | OPC_WRITEABLE);
        item.initial = ZeroValue(item.type);
    } else {
        std::optional<std::u16string> text = DecodeUtf8(source.text);
        if (!text)
            return "the initial value is not valid UTF-8";
        std::optional<Value> initial = ParseInitialValue(*text, item.type);
        if (!initial)
            return Quote(source.text) + " is not a value of type " + TypeName(item.type);
        item.access = access.value_or(OPC_READABLE | OPC_WRITEABLE);
        item.initial = std::move(*initial);
    }
    if (next < tokens.size())
        return "unexpected " + Quote(tokens[next].text) + " at the end";
    return {};
}

}  // namespace

AddressSpaceResult ParseAddressSpace(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    auto space = std::make_shared<AddressSpace>(OPC_NS_HIERARCHIAL);
    std::vector<Token> tokens;
    size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        auto fail = [&](const std::string& message) {
            return AddressSpaceResult{nullptr,
                                      "line " + std::to_string(lineNumber) + ": " + message};
        };
        if (line.find('\0') != std::string_view::npos)
            return fail("a NUL character");
        std::string error;
        if (!Tokenize(line, tokens, error))
            return fail(error);
        if (tokens.empty())
            continue;
        ItemDef item;
        error = ParseItem(tokens, item);
        if (!error.empty())
            return fail(error);
        if (space->Find(item.id))
            return fail("duplicate item identifier " + Quote(tokens[0].text));
        space->Add(std::move(item));
    }
    return {std::move(space), {}};
}

AddressSpaceResult LoadAddressSpaceFile(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return {nullptr, path + ": " + std::strerror(errno)};
    if (!S_ISREG(st.st_mode))
        return {nullptr, path + ": not a regular file"};

    using Stamp = std::tuple<dev_t, ino_t, off_t, int64_t, int64_t>;
    const Stamp stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    static std::mutex cacheMutex;
    // Weak references: a space lives only while a server object uses it.
    static std::map<std::string, std::pair<Stamp, std::weak_ptr<const AddressSpace>>> cache;
    {
        std::lock_guard lock(cacheMutex);
        auto it = cache.find(path);
        if (it != cache.end() && it->second.first == stamp) {
            if (SharedAddressSpace space = it->second.second.lock())
                return {std::move(space), {}};
        }
    }

    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {nullptr, path + ": " + std::strerror(errno)};
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        return {nullptr, path + ": read error"};

    AddressSpaceResult result = ParseAddressSpace(content.str());
    if (!result.space) {
        // "line 12: ..." becomes "plant.txt:12: ...", the form editors jump to.
        result.error = path + ":" + result.error.substr(5);
        return result;
    }
    std::lock_guard lock(cacheMutex);
    cache[path] = {stamp, result.space};
    return result;
}

}  // namespace opcsim

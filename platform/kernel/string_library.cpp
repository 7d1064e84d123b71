#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/text/text.h"

namespace {

constexpr const char* kExport = "KorvaResourceString";

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// "QNSTRING7.DLL" -> "libqnstring7.so". File names on this system are lower case, while the
// platform's are case-blind, so the name is lowered; a name without extension means a library
// as on the platform, and any other extension is kept as given. A folder part stays as it is.
std::string SharedObjectName(std::string_view windowsName) {
    const size_t slash = windowsName.rfind('/');
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view() : windowsName.substr(0, slash + 1);
    std::string file(windowsName.substr(folder.size()));
    std::transform(file.begin(), file.end(), file.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    if (EndsWith(file, ".dll"))
        file.resize(file.size() - 4);
    else if (file.find('.') != std::string::npos)
        return std::string(folder) + file;
    return std::string(folder) + "lib" + file + ".so";
}

KorvaResourceStringFn Lookup(HMODULE module) {
    if (!module)
        return nullptr;
    return reinterpret_cast<KorvaResourceStringFn>(dlsym(module, kExport));
}

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The longest start of `text` of at most `limit` units that does not end inside a surrogate
// pair: half a character is worse than one character less.
size_t CutLength(std::u16string_view text, size_t limit) {
    if (text.size() <= limit)
        return text.size();
    size_t length = limit;
    if (length > 0 && IsHighSurrogate(text[length - 1]) && IsLowSurrogate(text[length]))
        --length;
    return length;
}

}  // namespace

HMODULE LoadStringLibrary(std::string_view windowsName) {
    if (windowsName.empty())
        return nullptr;
    const std::string name = SharedObjectName(windowsName);
    // Without a folder part the dynamic loader's search path decides, as the platform's standard
    // search order does for a bare library name.
    HMODULE module = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return nullptr;
    if (!Lookup(module)) {
        // A library without a string table would answer "missing" for every number; better to
        // treat it as no string library at all.
        dlclose(module);
        return nullptr;
    }
    return module;
}

void FreeLibrary(HMODULE module) {
    if (module)
        dlclose(module);
}

int LoadStringW(HMODULE module, UINT id, char16_t* buffer, int size) {
    if (!buffer || size <= 0)
        return 0;
    buffer[0] = u'\0';
    const KorvaResourceStringFn fetch = Lookup(module);
    const char16_t* text = fetch ? fetch(id) : nullptr;
    if (!text)
        return 0;
    const std::u16string_view whole(text);
    const size_t length = CutLength(whole, static_cast<size_t>(size) - 1);
    std::copy_n(whole.data(), length, buffer);
    buffer[length] = u'\0';
    return static_cast<int>(length);
}

int LoadStringA(HMODULE module, UINT id, char* buffer, int size) {
    if (!buffer || size <= 0)
        return 0;
    buffer[0] = '\0';
    const KorvaResourceStringFn fetch = Lookup(module);
    const char16_t* text = fetch ? fetch(id) : nullptr;
    if (!text)
        return 0;
    const std::u16string_view whole(text);
    const size_t limit = static_cast<size_t>(size) - 1;
    std::string ansi = Utf16ToAnsi(whole);
    if (ansi.size() > limit) {
        // In a multi-byte code page a byte cut could split a character, so cut whole characters:
        // the longest start of the text whose ANSI form fits.
        std::vector<size_t> ends;  // unit counts at character boundaries, ascending
        for (size_t i = 0; i < whole.size();) {
            i += (IsHighSurrogate(whole[i]) && i + 1 < whole.size() && IsLowSurrogate(whole[i + 1]))
                     ? 2
                     : 1;
            ends.push_back(i);
        }
        size_t low = 0, high = ends.size();  // answer: the count of characters that fit
        while (low < high) {
            const size_t mid = (low + high + 1) / 2;
            if (Utf16ToAnsi(whole.substr(0, ends[mid - 1])).size() <= limit)
                low = mid;
            else
                high = mid - 1;
        }
        ansi = low == 0 ? std::string() : Utf16ToAnsi(whole.substr(0, ends[low - 1]));
    }
    std::memcpy(buffer, ansi.data(), ansi.size());
    buffer[ansi.size()] = '\0';
    return static_cast<int>(ansi.size());
}

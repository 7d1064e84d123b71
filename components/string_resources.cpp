#include "components/string_resources.h"

#include <optional>

#include "platform/text/text.h"

HMODULE StringLibrary = nullptr;

namespace {

constexpr int kFetchBuffer = 256;
bool g_wideInterface = false;

// A cut at the buffer's end may split a surrogate pair; the lone half is dropped rather than
// turned into a replacement character.
std::u16string_view WithoutSplitPair(std::u16string_view text) {
    if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF)
        text.remove_suffix(1);
    return text;
}

// String `id` through a 256-character buffer as UTF-8; nothing when it is missing (empty).
std::optional<std::string> Fetch(UINT id) {
    if (!StringLibrary)
        return std::nullopt;
    if (g_wideInterface) {
        char16_t buffer[kFetchBuffer];
        const int length = LoadStringW(StringLibrary, id, buffer, kFetchBuffer);
        if (length <= 0)
            return std::nullopt;
        return Utf16ToUtf8(
            WithoutSplitPair(std::u16string_view(buffer, static_cast<size_t>(length))));
    }
    char buffer[kFetchBuffer];
    const int length = LoadStringA(StringLibrary, id, buffer, kFetchBuffer);
    if (length <= 0)
        return std::nullopt;
    return AnsiToUtf8(std::string_view(buffer, static_cast<size_t>(length)));
}

}  // namespace

bool LoadSuiteStringLibrary(SuiteVersion version) {
    FreeSuiteStringLibrary();
    g_wideInterface = version == SuiteVersion::Quintor8;
    StringLibrary =
        LoadStringLibrary(version == SuiteVersion::Quintor7 ? "QNSTRING7.DLL" : "QNSTRING8.DLL");
    return StringLibrary != nullptr;
}

void FreeSuiteStringLibrary() {
    if (StringLibrary)
        FreeLibrary(StringLibrary);
    StringLibrary = nullptr;
}

char* LoadResText(UINT Id, char* Buffer, int Size) {
    if (!Buffer || Size <= 0)
        return Buffer;
    Buffer[0] = '\0';
    if (StringLibrary)
        LoadStringA(StringLibrary, Id, Buffer, Size);
    return Buffer;
}

char16_t* LoadResText(UINT Id, char16_t* Buffer, int Size) {
    if (!Buffer || Size <= 0)
        return Buffer;
    Buffer[0] = u'\0';
    if (StringLibrary)
        LoadStringW(StringLibrary, Id, Buffer, Size);
    return Buffer;
}

std::string ResString(UINT Id) {
    return Fetch(Id).value_or(std::string());
}

ResMessageTexts ResMessageBoxTexts(UINT TextId, UINT CaptionId) {
    std::optional<std::string> text = Fetch(TextId);
    std::optional<std::string> caption = text ? Fetch(CaptionId) : std::nullopt;
    if (!text || !caption)
        return {"String-Resource nicht gefunden!", "Fehler"};
    return {std::move(*text), std::move(*caption)};
}

#include <cstdlib>
#include <cstring>

#include "platform/text/detail/iconv_convert.h"
#include "platform/text/text.h"

using korva::text::Convert;
using korva::text::NativeUtf16;
using korva::text::SourceUnits;

namespace {

constexpr const char* kDefaultCodePage = "WINDOWS-1252";
constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD";  // U+FFFD

std::string_view Utf16Replacement() {
    static const char16_t replacement = u'\uFFFD';
    return {reinterpret_cast<const char*>(&replacement), sizeof replacement};
}

std::string_view Bytes(std::u16string_view text) {
    return {reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t)};
}

std::u16string ToUtf16(const std::string& bytes) {
    std::u16string text(bytes.size() / sizeof(char16_t), u'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(char16_t));
    return text;
}

std::u16string BytesToUtf16(const std::string& from, std::string_view input) {
    std::string bytes;
    Convert(NativeUtf16(), from, input, SourceUnits::Bytes, Utf16Replacement(), bytes);
    return ToUtf16(bytes);
}

}  // namespace

std::string AnsiCodePage() {
    // A name iconv does not know would turn every text into nothing; the platform's default
    // page is the better answer.
    if (const char* name = std::getenv("KORVA_CODEPAGE"); name && *name) {
        const std::string page = name;
        if (korva::text::CanConvert(NativeUtf16(), page) &&
            korva::text::CanConvert(page, NativeUtf16()))
            return page;
    }
    return kDefaultCodePage;
}

std::u16string AnsiToUtf16(std::string_view ansi) {
    return BytesToUtf16(AnsiCodePage(), ansi);
}

std::string Utf16ToAnsi(std::u16string_view text) {
    std::string ansi;
    Convert(AnsiCodePage(), NativeUtf16(), Bytes(text), SourceUnits::Utf16, "?", ansi);
    return ansi;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    return BytesToUtf16("UTF-8", utf8);
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string utf8;
    Convert("UTF-8", NativeUtf16(), Bytes(text), SourceUnits::Utf16, kUtf8Replacement, utf8);
    return utf8;
}

std::string AnsiToUtf8(std::string_view ansi) {
    return Utf16ToUtf8(AnsiToUtf16(ansi));
}

std::string Utf8ToAnsi(std::string_view utf8) {
    return Utf16ToAnsi(Utf8ToUtf16(utf8));
}

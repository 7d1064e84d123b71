// Text conventions of the platform: the system ANSI code page and locale timestamps.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

// The system ANSI code page: "WINDOWS-1252" unless KORVA_CODEPAGE names another iconv code page.
std::string AnsiCodePage();
// ANSI text of the system code page to UTF-16 and back. A character without an ANSI form
// becomes '?'; bytes that are not valid in the code page become U+FFFD.
std::u16string AnsiToUtf16(std::string_view ansi);
std::string Utf16ToAnsi(std::u16string_view text);
// UTF-8 (the registry's and Qt's neighbour) to and from UTF-16 and ANSI.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view text);
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

// The user's short date (D_FMT of LC_TIME), a blank and the long time (T_FMT); the date alone
// when hour, minute and second are all zero. `when` is local time; the answer is UTF-8.
std::string LocaleTimestamp(const std::tm& when);
// The same for the current local time.
std::string LocaleTimestampNow();

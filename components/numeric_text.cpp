#include "components/numeric_text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "components/detail/c_locale.h"
#include "components/message_flags.h"
#include "components/string_resources.h"
#include "components/suite_options.h"
#include "platform/text/text.h"

namespace {

using qncomps::detail::CLocaleScope;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c) {
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c - 'A' + 10;
}

size_t SkipBlanks(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    return i;
}

// printf into a string, in the "C" locale of this thread, sized by a first measuring call.
template <typename... Args>
std::string PrintC(const char* format, Args... args) {
    CLocaleScope c;
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

// One checked conversion of a user format: the literal text around it (already escaped for
// printf) and the conversion rebuilt from its parts.
struct CheckedFormat {
    std::string printfFormat;  // with exactly the one conversion, or none
    char conversion = 0;       // 0: no conversion
};

constexpr int kMaxWidthOrPrecision = 1000;

std::optional<CheckedFormat> CheckFormat(std::string_view format, std::string_view conversions,
                                         bool extended) {
    CheckedFormat checked;
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%') {
            checked.printfFormat += c;
            continue;
        }
        if (++i >= format.size())
            return std::nullopt;
        if (format[i] == '%') {
            checked.printfFormat += "%%";
            continue;
        }
        if (checked.conversion != 0)
            return std::nullopt;  // a second conversion
        std::string conversion = "%";
        while (i < format.size() &&
               std::string_view("-+ #0").find(format[i]) != std::string_view::npos)
            conversion += format[i++];
        auto number = [&](std::string& into) {
            int value = 0;
            while (i < format.size() && IsDigit(format[i])) {
                value = value * 10 + (format[i] - '0');
                if (value > kMaxWidthOrPrecision)
                    return false;
                into += format[i++];
            }
            return true;
        };
        if (!number(conversion))
            return std::nullopt;
        if (i < format.size() && format[i] == '.') {
            conversion += format[i++];
            if (!number(conversion))
                return std::nullopt;
        }
        // Length letters of the form are ignored: the argument's own is put in below.
        while (i < format.size() &&
               std::string_view("hlLqjzt").find(format[i]) != std::string_view::npos)
            ++i;
        if (i >= format.size() || conversions.find(format[i]) == std::string_view::npos)
            return std::nullopt;
        checked.conversion = format[i];
        if (extended)
            conversion += 'L';
        conversion += format[i];
        checked.printfFormat += conversion;
    }
    return checked;
}

// Cuts UTF-8 text to at most `units` UTF-16 units, never inside a character.
std::string CutToUnits(const std::string& text, size_t units) {
    std::u16string wide = Utf8ToUtf16(text);
    if (wide.size() <= units)
        return text;
    wide.resize(units);
    if (!wide.empty() && wide.back() >= 0xD800 && wide.back() <= 0xDBFF)
        wide.pop_back();
    return Utf16ToUtf8(wide);
}

constexpr UINT kCaptionError = 1002;
constexpr UINT kRangeTitle = 1011;
constexpr UINT kRangeFrom = 1316;
constexpr UINT kRangeTo = 1317;
constexpr UINT kRangeNone = 1551;
constexpr UINT kRangeNoZero = 1552;
constexpr UINT kFirstErrorText = 1553;

constexpr const char* kBuiltInErrors[] = {"Falsches Zahlenformat", "Zahlenwert zu groß",
                                          "Zahlenwert zu klein", "Zahlenwert 0 nicht erlaubt"};

}  // namespace

std::optional<long double> ReadDecimalNumber(std::string_view text) {
    size_t i = SkipBlanks(text);
    std::string canonical;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            canonical += '-';
        ++i;
    }
    if (i >= text.size())
        return std::nullopt;  // empty, blanks only, or a lone sign
    std::string whole;
    std::string fraction;
    std::string exponent;
    while (i < text.size() && IsDigit(text[i]))
        whole += text[i++];
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i]))
            fraction += text[i++];
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            exponent += text[i++];
        const size_t digitsStart = i;
        while (i < text.size() && IsDigit(text[i]))
            exponent += text[i++];
        if (i == digitsStart)
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;
    canonical += whole.empty() ? "0" : whole;
    canonical += '.';
    canonical += fraction.empty() ? "0" : fraction;
    if (!exponent.empty())
        canonical += 'e' + exponent;
    errno = 0;
    const long double value = strtold_l(canonical.c_str(), nullptr, qncomps::detail::CLocale());
    if (std::isinf(value))
        return std::nullopt;  // beyond the extended range
    return value;
}

std::optional<int32_t> ReadInteger(std::string_view text) {
    size_t i = SkipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return std::nullopt;
    constexpr int64_t kLimit = int64_t{1} << 31;  // magnitude of the most negative value
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (base == 10 ? !IsDigit(c) : !IsHexDigit(c))
            return std::nullopt;
        magnitude = magnitude * base + HexValue(c);
        if (magnitude > kLimit)
            return std::nullopt;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

int CheckRealText(std::string_view text, long double minValue, long double maxValue,
                  bool isZeroAllowed) {
    const std::optional<long double> number = ReadDecimalNumber(text);
    if (!number)
        return NumericBadFormat;
    int code = NumericAccepted;
    if (RangeActive(minValue, maxValue)) {
        if (*number > maxValue)
            code = NumericTooLarge;
        if (*number < minValue)
            code = NumericTooSmall;
    }
    if (code == NumericAccepted && !isZeroAllowed && *number == 0)
        code = NumericZero;
    return code;
}

int CheckIntegerText(std::string_view text, int32_t minValue, int32_t maxValue,
                     bool isZeroAllowed) {
    const std::optional<long double> number = ReadDecimalNumber(text);
    if (!number)
        return NumericBadFormat;
    // Accepting a text the value read cannot take would leave the field showing one number
    // while the program goes on with another.
    if (!ReadInteger(text)) {
        if (*number > std::numeric_limits<int32_t>::max())
            return NumericTooLarge;
        if (*number < std::numeric_limits<int32_t>::min())
            return NumericTooSmall;
        return NumericBadFormat;
    }
    return CheckRealText(text, minValue, maxValue, isZeroAllowed);
}

long double ReadRealValue(std::string_view text, long double stored, long double minValue,
                          long double maxValue) {
    const std::optional<long double> number = ReadDecimalNumber(text);
    if (number &&
        (!RangeActive(minValue, maxValue) || (minValue <= *number && *number <= maxValue)))
        return *number;
    return stored;
}

int32_t ReadIntegerValue(std::string_view text, int32_t stored, int32_t minValue,
                         int32_t maxValue) {
    const std::optional<int32_t> number = ReadInteger(text);
    if (number &&
        (!RangeActive(minValue, maxValue) || (minValue <= *number && *number <= maxValue)))
        return *number;
    return stored;
}

std::optional<std::string> ApplyRealFormat(std::string_view format, long double value) {
    const std::optional<CheckedFormat> checked = CheckFormat(format, "eEfFgGaA", true);
    if (!checked)
        return std::nullopt;
    if (checked->conversion == 0)
        return PrintC(checked->printfFormat.c_str(), 0);
    return PrintC(checked->printfFormat.c_str(), value);
}

std::optional<std::string> ApplyIntegerFormat(std::string_view format, int32_t value) {
    const std::optional<CheckedFormat> checked = CheckFormat(format, "diuoxX", false);
    if (!checked)
        return std::nullopt;
    switch (checked->conversion) {
        case 0:
            return PrintC(checked->printfFormat.c_str(), 0);
        case 'd':
        case 'i':
            return PrintC(checked->printfFormat.c_str(), static_cast<int>(value));
        default:
            return PrintC(checked->printfFormat.c_str(),
                          static_cast<unsigned>(static_cast<uint32_t>(value)));
    }
}

std::string TrimBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return std::string();
    const size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string FormatDefaultFloat(long double V) {
    return FormatDefaultFloat(V, SuiteOptions);
}

std::string FormatDefaultFloat(long double V, const TQNOptions& options) {
    const int width = options.DefaultFloatWidth;
    const int precision = options.DefaultFloatPrecision;
    switch (options.DefaultFloatNotation) {
        case 0:
            return TrimBlanks(PrintC("%*.*Lg", width, precision, V));
        case 1:
            return TrimBlanks(PrintC("%*.*Le", width, precision, V));
        case 2:
            return TrimBlanks(PrintC("%*.*Lf", width, precision, V));
        default:
            return std::string();
    }
}

std::string RealValueText(std::string_view format, long double value, bool noBlanks,
                          const TQNOptions& options) {
    std::string text;
    std::string upper(format);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    if (upper == "DEFAULT")
        text = FormatDefaultFloat(value, options);
    else
        text = ApplyRealFormat(format, value)
                   .value_or(*ApplyRealFormat(kRealEditDefaultFormat, value));
    return noBlanks ? TrimBlanks(text) : text;
}

std::string IntegerValueText(std::string_view format, int32_t value, bool noBlanks) {
    std::string text = ApplyIntegerFormat(format, value)
                           .value_or(*ApplyIntegerFormat(kIntegerEditDefaultFormat, value));
    return noBlanks ? TrimBlanks(text) : text;
}

std::optional<NumericMessage> ValueErrorMessage(int code) {
    if (code < NumericBadFormat || code > NumericZero)
        return std::nullopt;
    NumericMessage message;
    if (StringLibrary) {
        ResMessageTexts texts =
            ResMessageBoxTexts(kFirstErrorText + static_cast<UINT>(code - 1), kCaptionError);
        message.text = std::move(texts.text);
        message.caption = std::move(texts.caption);
        message.flags = MB_ICONWARNING;
        message.owner = MessageOwner::Application;
    } else {
        message.text = kBuiltInErrors[code - 1];
        message.caption = "Fehler";
        message.flags = MB_ICONWARNING | MB_TASKMODAL;
        message.owner = MessageOwner::None;
    }
    return message;
}

NumericMessage RangeMessage(bool rangeActive, std::string_view minText, std::string_view maxText,
                            bool isZeroAllowed) {
    // The lines are joined LF CR, the zero note CR LF, as the message has always been composed.
    NumericMessage message;
    std::string text;
    if (StringLibrary) {
        const std::string title = ResString(kRangeTitle);
        text = title + ":\n\r";
        if (rangeActive)
            text += ResString(kRangeFrom) + std::string(minText) + "\n\r" + ResString(kRangeTo) +
                    std::string(maxText);
        else
            text += ResString(kRangeNone);
        if (!isZeroAllowed)
            text += "\r\n" + ResString(kRangeNoZero);
        message.caption = title;
        message.flags = MB_ICONWARNING;
        message.owner = MessageOwner::Field;
    } else {
        text = "Zulässiger Wertebereich:\n\r";
        if (rangeActive)
            text += "von: " + std::string(minText) + "\n\rbis: " + std::string(maxText);
        else
            text += "keine Einschränkungen";
        if (!isZeroAllowed)
            text += "\r\n(Wert 0 nicht erlaubt)";
        message.caption = "Zulässiger Wertebereich";
        message.flags = MB_ICONWARNING | MB_TASKMODAL;
        message.owner = MessageOwner::None;
    }
    message.text = CutToUnits(text, 255);
    return message;
}

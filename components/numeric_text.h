// The text rules of the numeric edit fields, without windows: reading numbers, the exit check,
// the value read and write, the display format, and the texts of the range and error messages.
// All number texts use the full stop, whatever the user's locale. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct TQNOptions;

// Error codes of the exit check (and of the posted error message).
enum NumericError : int {
    NumericAccepted = 0,
    NumericBadFormat = 1,  // not a number
    NumericTooLarge = 2,   // above MaxValue
    NumericTooSmall = 3,   // below MinValue
    NumericZero = 4,       // 0 while zero is not allowed
};

// A decimal number: optional leading blanks (spaces only), an optional sign, then at least one
// character of the form digits* ["." digits*] [("E"|"e") [sign] digit+], and nothing after it.
// So "." and "E5" read as 0; "", "  ", "+" and "1 " are not numbers. A number beyond the
// extended range is not a number either.
std::optional<long double> ReadDecimalNumber(std::string_view text);

// An integer: optional leading blanks, an optional sign, then decimal digits or a hexadecimal
// number introduced by "$", "x", "X", "0x" or "0X"; within the 32-bit signed range.
std::optional<int32_t> ReadInteger(std::string_view text);

// The range is active when either bound is not 0.
constexpr bool RangeActive(long double minValue, long double maxValue) {
    return minValue != 0 || maxValue != 0;
}

// The exit check of a floating-point field: 1 when the text is not a decimal number; else, with
// an active range, 2 when above maxValue and then 3 when below minValue (3 wins for an inverted
// range); else 4 for 0 when zero is not allowed; else 0.
int CheckRealText(std::string_view text, long double minValue, long double maxValue,
                  bool isZeroAllowed);

// The exit check of an integer field: as CheckRealText, and a decimal number that the value
// read would not take as a 32-bit integer is refused too, so that an accepted text always
// becomes the stored value: beyond the 32-bit range it gives 2 (above) or 3 (below), any other
// form ("1.5", "1e3") gives 1.
int CheckIntegerText(std::string_view text, int32_t minValue, int32_t maxValue, bool isZeroAllowed);

// The value read: the text's number when it is one and lies within the range (both bounds
// included) or no range is active; otherwise `stored`. Zero is not looked at.
long double ReadRealValue(std::string_view text, long double stored, long double minValue,
                          long double maxValue);
int32_t ReadIntegerValue(std::string_view text, int32_t stored, int32_t minValue, int32_t maxValue);

// Applies a C printf format holding at most one conversion to the value: for the extended value
// one of e E f F g G a A (given with or without a length letter), for the integer one of
// d i u o x X. Flags, a width and a precision of up to 1000 are allowed, "%%" is a percent sign.
// Nothing when the format is unusable (another conversion, two conversions, "*", a stray "%"),
// so a format from a form can never read a missing argument.
std::optional<std::string> ApplyRealFormat(std::string_view format, long double value);
std::optional<std::string> ApplyIntegerFormat(std::string_view format, int32_t value);

// Removes leading and trailing blanks.
std::string TrimBlanks(std::string_view text);

constexpr std::string_view kRealEditDefaultFormat = "%16.10g";
constexpr std::string_view kIntegerEditDefaultFormat = "%3d";

// The suite's default float format: "%*.*g", "%*.*e" or "%*.*f" for DefaultFloatNotation 0, 1
// or 2 with DefaultFloatWidth and DefaultFloatPrecision, blanks trimmed; the empty text for any
// other notation. The first form reads the global SuiteOptions.
std::string FormatDefaultFloat(long double V);
std::string FormatDefaultFloat(long double V, const TQNOptions& options);

// The text of a value write. Floating point: FormatDefaultFloat when `format` is "DEFAULT" in
// any letter case, else the format applied; integer: the format applied. A format that cannot
// be applied is replaced by the field's default format. Blanks are trimmed when `noBlanks`.
std::string RealValueText(std::string_view format, long double value, bool noBlanks,
                          const TQNOptions& options);
std::string IntegerValueText(std::string_view format, int32_t value, bool noBlanks);

// How a message of the fields is shown.
enum class MessageOwner {
    None,         // no owner window (task-modal)
    Field,        // the field's window
    Application,  // the application's main window
};
struct NumericMessage {
    std::string text;
    std::string caption;
    unsigned flags = 0;
    MessageOwner owner = MessageOwner::None;
};

// The message for an exit-check code 1 to 4: from the string-resource library when it is loaded
// (text number 1553 + code - 1, caption 1002, with its fallback when either is missing), else
// the built-in German text with the caption "Fehler". Nothing for any other code.
std::optional<NumericMessage> ValueErrorMessage(int code);

// The permitted-range message, at most 255 characters. `minText` and `maxText` are the bounds as
// the field writes them.
NumericMessage RangeMessage(bool rangeActive, std::string_view minText, std::string_view maxText,
                            bool isZeroAllowed);

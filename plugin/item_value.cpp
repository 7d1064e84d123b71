#include "plugin/item_value.h"

#include "plugin/extended.h"
#include "plugin/number_format.h"

namespace virelon {
namespace {

// The text as ASCII, upper-cased when asked; false when it holds anything else, which no word
// and no number of the accepted syntax does.
bool ToAscii(std::u16string_view text, bool upper, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c >= 0x80)
            return false;
        char ascii = static_cast<char>(c);
        if (upper && ascii >= 'a' && ascii <= 'z')
            ascii = static_cast<char>(ascii - 'a' + 'A');
        out += ascii;
    }
    return true;
}

}  // namespace

std::u16string ApplyCommaRule(std::u16string text) {
    const size_t comma = text.find(u',');
    if (comma != std::u16string::npos)
        text[comma] = u'.';
    return text;
}

bool ConvertItemText(std::u16string_view text, VARTYPE type, long double& value) {
    std::string ascii;
    if (type == VT_BOOL) {
        if (!ToAscii(text, true, ascii))
            return false;
        if (ascii == "TRUE") {
            value = BoolTrueValue;
            return true;
        }
        if (ascii == "FALSE") {
            value = 0.0L;
            return true;
        }
        return false;
    }
    return ToAscii(text, false, ascii) && ParseDecimal(ascii, value);
}

}  // namespace virelon

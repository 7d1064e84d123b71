#include "servers/opcsim/item_id.h"

namespace opcsim {
namespace {

bool IsControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}
bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\u00A0' || c == u'\u3000';
}
bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

bool IsWellFormedItemId(std::u16string_view id, OPCNAMESPACETYPE organization) {
    if (id.empty() || IsBlank(id.front()) || IsBlank(id.back()))
        return false;
    for (size_t i = 0; i < id.size(); ++i) {
        char16_t c = id[i];
        if (IsControl(c))
            return false;
        if (IsHighSurrogate(c)) {
            if (i + 1 >= id.size() || !IsLowSurrogate(id[i + 1]))
                return false;
            ++i;
        } else if (IsLowSurrogate(c)) {
            return false;
        }
    }
    if (organization == OPC_NS_HIERARCHIAL) {
        if (id.front() == u'.' || id.back() == u'.')
            return false;
        if (id.find(u"..") != std::u16string_view::npos)
            return false;
    }
    return true;
}

bool MatchesFilter(std::u16string_view name, std::u16string_view filter) {
    if (filter.empty())
        return true;
    // Greedy matching with one back-track point: the last "*" seen. Linear in practice, never
    // worse than |name| * |filter|.
    size_t n = 0, f = 0;
    size_t starFilter = std::u16string_view::npos, starName = 0;
    while (n < name.size()) {
        if (f < filter.size() &&
            (filter[f] == u'?' || (filter[f] != u'*' && filter[f] == name[n]))) {
            ++n;
            ++f;
        } else if (f < filter.size() && filter[f] == u'*') {
            starFilter = f++;
            starName = n;
        } else if (starFilter != std::u16string_view::npos) {
            f = starFilter + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (f < filter.size() && filter[f] == u'*')
        ++f;
    return f == filter.size();
}

}  // namespace opcsim

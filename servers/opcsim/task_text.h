// Texts handed to clients as task memory.
#pragma once

#include <algorithm>
#include <string_view>

#include "platform/com/com.h"

namespace opcsim {

// A copy of `text` with its terminating NUL, in task memory the caller frees with
// CoTaskMemFree; null when memory runs out.
inline LPWSTR TaskMemString(std::u16string_view text) {
    auto* copy = CoTaskMemNew<char16_t>(text.size() + 1);
    if (!copy)
        return nullptr;
    std::copy(text.begin(), text.end(), copy);
    copy[text.size()] = u'\0';
    return copy;
}

}  // namespace opcsim

// BSTR layout: a 32-bit byte count, the UTF-16 units, a NUL unit; the BSTR points at the first
// unit. The block is task memory, so every text a server hands out shows in the live count.
#include <cstring>
#include <limits>

#include "platform/com/runtime.h"
#include "platform/com/variant.h"

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);
// The byte count must fit the 32-bit prefix.
constexpr uint32_t kMaxLength = (std::numeric_limits<uint32_t>::max() - 8) / sizeof(char16_t);

char* Block(BSTR text) {
    return reinterpret_cast<char*>(text) - kPrefix;
}

}  // namespace

BSTR SysAllocStringLen(const char16_t* text, uint32_t length) {
    if (length > kMaxLength)
        return nullptr;
    const size_t bytes = size_t(length) * sizeof(char16_t);
    char* block = static_cast<char*>(CoTaskMemAlloc(kPrefix + bytes + sizeof(char16_t)));
    if (!block)
        return nullptr;
    const uint32_t prefix = static_cast<uint32_t>(bytes);
    std::memcpy(block, &prefix, kPrefix);
    BSTR result = reinterpret_cast<BSTR>(block + kPrefix);
    // Without a source the units are zeroed rather than left undefined.
    if (text)
        std::memcpy(result, text, bytes);
    else
        std::memset(result, 0, bytes);
    result[length] = u'\0';
    return result;
}

BSTR SysAllocString(const char16_t* text) {
    if (!text)
        return nullptr;
    return SysAllocStringView(std::u16string_view(text));
}

BSTR SysAllocStringView(std::u16string_view text) {
    if (text.size() > kMaxLength)
        return nullptr;
    return SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
}

void SysFreeString(BSTR text) {
    if (text)
        CoTaskMemFree(Block(text));
}

uint32_t SysStringLen(BSTR text) {
    if (!text)
        return 0;
    uint32_t bytes;
    std::memcpy(&bytes, Block(text), kPrefix);
    return bytes / sizeof(char16_t);
}

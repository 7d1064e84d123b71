// The .reg file parser on arbitrary bytes: it must never crash, must explain every refusal,
// and what the writer makes of a parsed file must parse back to the same file.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/registry/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::optional<RegFile> file = ParseRegFile(content, "fuzz.reg", &error);
    if (!file) {
        if (error.rfind("fuzz.reg:", 0) != 0)
            std::abort();
        return 0;
    }
    const std::string text = FormatRegFile(*file);
    const std::optional<RegFile> again = ParseRegFile(text, "again.reg", &error);
    if (!again || FormatRegFile(*again) != text)
        std::abort();
    return 0;
}

#include <string>

#include "platform/kernel/kernel.h"

const char* GetFileVersionString() { return KORVA_FILE_VERSION; }

int32_t GetFileVersionNumber() {
    // The record number is the version with its full stops removed: 8.0.1.265 -> 801265.
    std::string digits;
    for (const char* p = KORVA_FILE_VERSION; *p; ++p)
        if (*p != '.') digits += *p;
    return static_cast<int32_t>(std::stol(digits));
}

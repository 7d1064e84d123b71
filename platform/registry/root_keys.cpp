#include <strings.h>

#include "platform/registry/registry.h"

std::optional<HKEY> ParseRootKeyName(std::string_view name) {
    struct Alias {
        const char* name;
        HKEY key;
    };
    static constexpr Alias kAliases[] = {
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKCR", HKEY_CLASSES_ROOT},
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKCU", HKEY_CURRENT_USER},
    };
    for (const Alias& alias : kAliases) {
        std::string_view candidate(alias.name);
        if (candidate.size() == name.size() &&
            strncasecmp(candidate.data(), name.data(), name.size()) == 0)
            return alias.key;
    }
    return std::nullopt;
}

const char* RootKeyName(HKEY root) {
    return root == HKEY_CLASSES_ROOT ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER";
}

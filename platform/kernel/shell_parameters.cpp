#include "platform/kernel/detail/shell_parameters.h"

namespace korva::shell {

std::vector<std::string> SplitParameters(std::string_view text) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;  // distinguishes "" (an empty argument) from nothing
    bool quoted = false;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (!quoted && (c == ' ' || c == '\t')) {
            if (inArgument)
                arguments.push_back(std::move(current));
            current.clear();
            inArgument = false;
            ++i;
            continue;
        }
        inArgument = true;
        if (c == '\\') {
            size_t backslashes = 0;
            while (i < text.size() && text[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < text.size() && text[i] == '"') {
                current.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    current += '"';
                    ++i;
                }
                // With an even count the quote is handled as a quote on the next turn.
            } else {
                current.append(backslashes, '\\');
            }
            continue;
        }
        if (c == '"') {
            if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                current += '"';
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        current += c;
        ++i;
    }
    if (inArgument)
        arguments.push_back(std::move(current));
    return arguments;
}

}  // namespace korva::shell

// Splitting the parameter text of the shell's "open" into a program's arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korva::shell {

// Splits as the platform's command lines are split: blanks and tabs separate arguments outside
// double quotes; quotes group and are removed; "" inside quotes is one quote; 2n backslashes
// before a quote give n backslashes (the quote still groups), 2n+1 give n and a literal quote;
// other backslashes are plain characters, so folder paths pass unchanged.
std::vector<std::string> SplitParameters(std::string_view text);

}  // namespace korva::shell

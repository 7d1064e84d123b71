// The korva command line: new, set, info, run, edit.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace korva {

// Runs one command line (without the program name). Answers the exit code: 0 done, 1 failed
// (a missing library or entry point, a damaged model, a block that cannot simulate), 2 bad usage.
int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Set by SIGINT/SIGTERM during `korva run`, which then ends the run cleanly.
void RequestStop();

}  // namespace korva

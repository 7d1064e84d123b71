// The korva command line: new, set, info, run, edit.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "host/block_abi.h"

namespace korva {

// The host's main window while `korva edit` shows a block's parameter dialog. The program
// provides one when it is built with windows (host/edit_window.h); without a provider `korva
// edit` says that it is not available.
class HostWindow {
  public:
    virtual ~HostWindow() = default;
    // The native window id that goes into the blocks' HostWindow field.
    virtual abi::HostWindowHandle Handle() const = 0;
};
// Makes the main window titled `title` (shown), or answers null with `error` set.
using HostWindowFactory =
    std::function<std::unique_ptr<HostWindow>(const std::string& title, std::string& error)>;
void SetHostWindowFactory(HostWindowFactory factory);

// Runs one command line (without the program name). Answers the exit code: 0 done, 1 failed
// (a missing library or entry point, a damaged model, a block that cannot simulate), 2 bad usage.
int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Set by SIGINT/SIGTERM during `korva run`, which then ends the run cleanly.
void RequestStop();

}  // namespace korva

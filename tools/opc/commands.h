// The commands of `opc`, run on the calling thread (which must have initialised COM).
#pragma once

#include <string>
#include <vector>

#include "tools/opc/command_line.h"

namespace opctool {

constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitItemsFailed = 3;
constexpr int kExitInterrupted = 130;

// The file descriptors the tool reads items from and writes to.
struct ToolStreams {
    int in = 0;
    int out = 1;
    int err = 2;
};

// Runs the command line argv[1..]; answers the exit status.
int RunOpcTool(const std::vector<std::string>& args, const ToolStreams& streams);

// Asks a running read loop to stop (async-signal-safe).
void RequestStop();

const char* HelpText(Command command);

}  // namespace opctool

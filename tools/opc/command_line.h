// The command line of `opc`: the command, its arguments and the options.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/com/variant.h"

namespace opctool {

enum class Command { None, Help, Servers, Browse, Read, Write, Status };
enum class OutputFormat { Table, Csv, Json };

struct Options {
    Command command = Command::None;
    // The command a help request is about (Command::None: the overview).
    Command helpFor = Command::None;
    std::vector<std::string> arguments;  // positional, after the command
    std::string machine;                 // -m, --machine; empty: this computer
    OutputFormat format = OutputFormat::Table;
    std::optional<double> repeatSeconds;  // --repeat
    unsigned intervalMs = 1000;           // --interval
    std::optional<VARTYPE> type;          // --type
    bool device = false;                  // --device: read from the device, not the cache
};

struct ParseResult {
    Options options;
    std::string error;  // non-empty: bad usage, in words
};

// Parses argv[1..]. Options may stand anywhere after the command; "--" ends them.
ParseResult ParseCommandLine(const std::vector<std::string>& args);

// "servers", "read", ... for the help and messages.
const char* CommandName(Command command);

}  // namespace opctool

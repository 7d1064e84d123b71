#include "tools/opc/command_line.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "tools/opc/value_text.h"

namespace opctool {

namespace {

struct CommandInfo {
    Command command;
    const char* name;
    size_t minArguments;
    size_t maxArguments;  // SIZE_MAX: any number
};

constexpr CommandInfo kCommands[] = {
    {Command::Help, "help", 0, 1},     {Command::Servers, "servers", 0, 0},
    {Command::Browse, "browse", 1, 1}, {Command::Read, "read", 2, SIZE_MAX},
    {Command::Write, "write", 3, 3},   {Command::Status, "status", 1, 1},
};

const CommandInfo* FindCommand(std::string_view name) {
    for (const CommandInfo& info : kCommands)
        if (name == info.name)
            return &info;
    return nullptr;
}

const CommandInfo& InfoOf(Command command) {
    for (const CommandInfo& info : kCommands)
        if (info.command == command)
            return info;
    return kCommands[0];
}

// Options of each command, so that a misplaced one is reported instead of ignored.
bool Accepts(Command command, std::string_view option) {
    if (option == "--help")
        return true;
    switch (command) {
        case Command::Servers:
            return option == "--machine" || option == "--output";
        case Command::Browse:
            return option == "--machine" || option == "--output";
        case Command::Read:
            return option == "--machine" || option == "--output" || option == "--repeat" ||
                   option == "--interval" || option == "--device";
        case Command::Write:
            return option == "--machine" || option == "--output" || option == "--type";
        case Command::Status:
            return option == "--machine" || option == "--output";
        default:
            return false;
    }
}

bool TakesValue(std::string_view option) {
    return option == "--machine" || option == "--output" || option == "--repeat" ||
           option == "--interval" || option == "--type";
}

// Short forms and their long names.
std::string_view LongName(std::string_view option) {
    if (option == "-m")
        return "--machine";
    if (option == "-o")
        return "--output";
    if (option == "-h")
        return "--help";
    return option;
}

bool IsOption(std::string_view arg) {
    return arg.size() > 1 && arg[0] == '-';
}

bool ApplyOption(std::string_view name, const std::string& value, Options& options,
                 std::string& error) {
    if (name == "--machine") {
        options.machine = value;
    } else if (name == "--output") {
        if (value == "table")
            options.format = OutputFormat::Table;
        else if (value == "csv")
            options.format = OutputFormat::Csv;
        else if (value == "json")
            options.format = OutputFormat::Json;
        else
            error = "unknown output format \"" + value + "\" (table, csv or json)";
    } else if (name == "--repeat") {
        double seconds = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (ec != std::errc() || end != value.data() + value.size() || !std::isfinite(seconds) ||
            seconds < 0)
            error = "--repeat needs a number of seconds (0 or more), not \"" + value + "\"";
        else
            options.repeatSeconds = seconds;
    } else if (name == "--interval") {
        unsigned ms = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
        if (ec != std::errc() || end != value.data() + value.size() || ms == 0)
            error = "--interval needs a number of milliseconds (1 or more), not \"" + value + "\"";
        else
            options.intervalMs = ms;
    } else if (name == "--type") {
        const std::optional<VARTYPE> type = ParseVarType(value);
        if (!type || *type == VT_EMPTY || *type == VT_NULL)
            error = "unknown value type \"" + value + "\" (for example VT_R8, VT_I4, VT_BSTR)";
        else
            options.type = type;
    } else if (name == "--device") {
        options.device = true;
    }
    return error.empty();
}

}  // namespace

const char* CommandName(Command command) {
    return command == Command::None ? "" : InfoOf(command).name;
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    ParseResult result;
    Options& options = result.options;
    if (args.empty()) {
        result.error = "no command given";
        return result;
    }
    size_t next = 0;
    const std::string_view first = args[0];
    if (first == "--help" || first == "-h") {
        options.command = Command::Help;
        return result;
    }
    const CommandInfo* info = FindCommand(first);
    if (!info) {
        result.error = IsOption(first)
                           ? "unknown option \"" + args[0] + "\" (a command comes first)"
                           : "unknown command \"" + args[0] + "\"";
        return result;
    }
    options.command = info->command;
    ++next;

    bool optionsEnded = false;
    for (; next < args.size(); ++next) {
        const std::string& arg = args[next];
        if (optionsEnded || !IsOption(arg)) {
            options.arguments.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string_view name = arg;
        std::string value;
        bool inlineValue = false;
        if (const size_t equals = name.find('='); name.starts_with("--") && equals != name.npos) {
            value = arg.substr(equals + 1);
            name = name.substr(0, equals);
            inlineValue = true;
        }
        name = LongName(name);
        if (options.command == Command::Help || !Accepts(options.command, name)) {
            result.error = "unknown option \"" + std::string(name) + "\" for " + info->name;
            return result;
        }
        if (name == "--help") {
            options.helpFor = options.command;
            options.command = Command::Help;
            options.arguments.clear();
            return result;
        }
        if (TakesValue(name) && !inlineValue) {
            if (next + 1 >= args.size()) {
                result.error = "option " + std::string(name) + " needs a value";
                return result;
            }
            value = args[++next];
        } else if (!TakesValue(name) && inlineValue) {
            result.error = "option " + std::string(name) + " takes no value";
            return result;
        }
        if (!ApplyOption(name, value, options, result.error))
            return result;
    }

    if (options.arguments.size() < info->minArguments) {
        result.error = std::string(info->name) + ": missing arguments";
        return result;
    }
    if (options.arguments.size() > info->maxArguments) {
        result.error = std::string(info->name) + ": too many arguments";
        return result;
    }
    if (options.command == Command::Help && !options.arguments.empty()) {
        const CommandInfo* about = FindCommand(options.arguments[0]);
        if (!about) {
            result.error = "no help for unknown command \"" + options.arguments[0] + "\"";
            return result;
        }
        options.helpFor = about->command == Command::Help ? Command::None : about->command;
        options.arguments.clear();
    }
    return result;
}

}  // namespace opctool

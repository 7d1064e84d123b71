#include "components/help_launcher.h"

#include <cstdio>
#include <utility>

#include "platform/kernel/kernel.h"
#include "platform/registry/registry.h"

namespace {

HelpMessageHook& MessageHook() {
    static HelpMessageHook hook;
    return hook;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

size_t FindExeIgnoringCase(std::string_view text) {
    constexpr std::string_view exe = ".exe";
    for (size_t i = 0; i + exe.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < exe.size() && AsciiLower(text[i + k]) == exe[k])
            ++k;
        if (k == exe.size())
            return i;
    }
    return std::string_view::npos;
}

}  // namespace

std::string HelpModulePath(const void* Module) {
    return Module ? GetModuleFileName(Module) : GetProgramFileName();
}

std::string HelpDocumentParameter(std::string_view modulePath) {
    return "\"" + ExtractFilePath(modulePath) + kHelpDocumentName + "\"";
}

std::string ReduceReaderCommandLine(std::string_view commandLine) {
    std::string_view program = commandLine;
    const size_t exe = FindExeIgnoringCase(commandLine);
    if (exe != std::string_view::npos) {
        program = commandLine.substr(0, exe + 4);
    } else {
        const size_t start = commandLine.find_first_not_of(' ');
        if (start == std::string_view::npos) {
            program = {};
        } else if (commandLine[start] == '"') {
            const size_t close = commandLine.find('"', start + 1);
            program = commandLine.substr(
                start, close == std::string_view::npos ? close : close - start + 1);
        } else {
            const size_t blank = commandLine.find(' ', start);
            program =
                commandLine.substr(start, blank == std::string_view::npos ? blank : blank - start);
        }
    }
    std::string path;
    for (char c : program)
        if (c != '"')
            path += c;
    return path;
}

std::optional<std::string> RegisteredReaderCommandLine() {
    // Reading is all the walk does, so reading rights suffice; asking for full access would
    // report "no reader" wherever the association may be read but not changed.
    TRegistry registry(KEY_READ);
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    if (!registry.OpenKeyReadOnly(".pdf"))
        return std::nullopt;
    const std::string typeName = registry.ReadString("").value_or(std::string());
    registry.CloseKey();
    if (!typeName.empty() && !registry.OpenKeyReadOnly(typeName))
        return std::nullopt;
    for (const char* key : {"shell", "open", "command"})
        if (!registry.OpenKeyReadOnly(key))
            return std::nullopt;
    std::string commandLine = registry.ReadString("").value_or(std::string());
    registry.CloseKey();
    return commandLine;
}

HelpLaunch LaunchHelpDocument(void* ownerWindow, std::string_view modulePath,
                              const ShellOpenFunction& shellOpen) {
    HelpLaunch launch;
    launch.parameters = HelpDocumentParameter(modulePath);
    const std::optional<std::string> commandLine = RegisteredReaderCommandLine();
    if (!commandLine)
        return launch;
    launch.readerRegistered = true;
    launch.program = ReduceReaderCommandLine(*commandLine);
    launch.shellAnswer = shellOpen ? shellOpen(ownerWindow, "open", launch.program.c_str(),
                                               launch.parameters.c_str(), nullptr, SW_SHOW)
                                   : ShellExecute(ownerWindow, "open", launch.program.c_str(),
                                                  launch.parameters.c_str(), nullptr, SW_SHOW);
    launch.started = launch.shellAnswer > 32;
    return launch;
}

HelpMessageHook SetHelpMessageHook(HelpMessageHook hook) {
    return std::exchange(MessageHook(), std::move(hook));
}

bool RunHelpDocument(void* OwnerWindow, const void* Module) {
    if (LaunchHelpDocument(OwnerWindow, HelpModulePath(Module)).started)
        return true;
    const HelpMessageHook hook = MessageHook();
    if (hook)
        hook(OwnerWindow, kPdfReaderNotFound);
    else
        std::fprintf(stderr, "%s\n", kPdfReaderNotFound);
    return false;
}

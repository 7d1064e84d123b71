// The help document launcher: finds the program registered for PDF files in HKEY_CLASSES_ROOT,
// reduces its command line to the program's path and starts it with the quoted path of the
// manual "VIDOV.EZU" that lies beside the calling deliverable. UI thread only; the started
// reader runs on its own and is not waited for. The message on failure is shown by the caller
// (components/ui/help_document.h), or through the replaceable hook below.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* kHelpDocumentName = "VIDOV.EZU";
inline constexpr const char* kPdfReaderNotFound = "PDF Reader not found!";

// The full path of the module that holds `Module` (an address inside the deliverable: the
// plug-in passes one of its own functions); null means the running program.
std::string HelpModulePath(const void* Module);

// The reader's parameter: a quotation mark, the folder of `modulePath` (with its "/"), the
// document's name, a quotation mark. The whole path is used, however long.
std::string HelpDocumentParameter(std::string_view modulePath);

// The program path of a registered command line. When the line holds ".exe" (in any letter
// case) everything after the first ".exe" goes, as for the platform's registrations. Otherwise
// the program is the line's first item: the quoted part when it starts with a quotation mark,
// else everything up to the first blank (programs here carry no extension to mark their end).
// Then every quotation mark goes. Letter case is kept: file names are case-sensitive here.
std::string ReduceReaderCommandLine(std::string_view commandLine);

// The registered reader's command line: the default value of ".pdf" names the file type, whose
// "shell\open\command" default value is the command line. Keys are opened for reading (a key
// that allows reading only still serves) and none is created; an empty type name looks for
// "shell" directly under the root. Nothing when a key is missing.
std::optional<std::string> RegisteredReaderCommandLine();

using ShellOpenFunction =
    std::function<intptr_t(void* ownerWindow, const char* verb, const char* file,
                           const char* parameters, const char* directory, int showCommand)>;

struct HelpLaunch {
    bool started = false;
    bool readerRegistered = false;  // the registry walk found a command line
    std::string program;            // reduced from the command line
    std::string parameters;         // the quoted document path
    intptr_t shellAnswer = 0;       // more than 32 on success
};

// Runs the walk and starts the reader through `shellOpen` (ShellExecute when empty) with the verb
// "open", no working directory, shown normally (5), owned by `ownerWindow`.
HelpLaunch LaunchHelpDocument(void* ownerWindow, std::string_view modulePath,
                              const ShellOpenFunction& shellOpen = {});

// The launcher for callers without windows (the windowed one is OpenHelpDocument in
// components/ui/help_document.h): on failure the message hook receives "PDF Reader not found!"
// (by default it is written to standard error). Answers whether the reader started.
using HelpMessageHook = std::function<void(void* ownerWindow, const std::string& text)>;
HelpMessageHook SetHelpMessageHook(HelpMessageHook hook);
bool RunHelpDocument(void* OwnerWindow, const void* Module);

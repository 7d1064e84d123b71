// The suite's string-resource library: texts of the shared components by number, so that they
// can speak the user's language. The test client loads "QNSTRING7.DLL" and reads it through the
// narrow interface (system code page), the plug-in "QNSTRING8.DLL" through the wide one
// (UTF-16). Loaded once at the library's start, released at its end; UI thread only.
#pragma once

#include <string>

#include "components/suite_version.h"
#include "platform/kernel/kernel.h"

// The loaded library, or null when it was not found (callers then use built-in texts).
extern HMODULE StringLibrary;

// Loads the library of `version` by its bare name through the loader's search path; nothing is
// reported when it is missing. Answers whether it was found.
bool LoadSuiteStringLibrary(SuiteVersion version);
void FreeSuiteStringLibrary();

// Copies string `Id` into `Buffer` of `Size` characters including the terminating NUL (at most
// Size - 1 characters; longer texts are cut); the empty text when it is missing or no library is
// loaded. Answers `Buffer`. The narrow form gives text of the system code page.
char* LoadResText(UINT Id, char* Buffer, int Size);
char16_t* LoadResText(UINT Id, char16_t* Buffer, int Size);

// String `Id` through a buffer of 256 characters (so at most 255), in the library's interface,
// as UTF-8; the empty text when it is missing.
std::string ResString(UINT Id);

// The text and caption ResMessageBox shows: strings `TextId` and `CaptionId`, or, when either is
// missing, "String-Resource nicht gefunden!" with the caption "Fehler".
struct ResMessageTexts {
    std::string text;
    std::string caption;
};
ResMessageTexts ResMessageBoxTexts(UINT TextId, UINT CaptionId);

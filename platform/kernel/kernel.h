// Kernel and shell services of the platform: tick counter, sleep, temporary files, module and
// computer names, the 16-bit-compatible file calls, the file version, string-resource libraries
// and the shell's "open".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/kernel/wintypes.h"

// ---- Time ---------------------------------------------------------------------------------
// Milliseconds of the monotonic clock, modulo 2^32.
DWORD GetTickCount();
// Milliseconds from `start` to `now`, correct across one wrap of the counter.
constexpr DWORD TickElapsed(DWORD start, DWORD now) { return now - start; }
// Replaces the clock behind GetTickCount (tests); an empty function restores the real one.
void SetTickCountSource(std::function<DWORD()> source);
void Sleep(DWORD milliseconds);

// ---- Temporary files ----------------------------------------------------------------------
// The user's private temporary directory with a trailing "/": $XDG_RUNTIME_DIR/korva/, else
// /tmp/korva-<uid>/, created with mode 0700. A directory owned by another user, one with wider
// permissions, or a symlink in its place is refused: the answer is empty and `error` says why.
std::string GetTempPath(std::string* error = nullptr);
// dir + prefix + the unique number in hexadecimal + ".tmp"; creates nothing.
std::string GetTempFileName(std::string_view dir, std::string_view prefix, unsigned unique);

// ---- Modules and computer -----------------------------------------------------------------
// Full path of the running program.
std::string GetProgramFileName();
// Full path of the shared library (or program) that holds `address`, e.g. a function of the
// caller's own module; empty when unknown.
std::string GetModuleFileName(const void* address);
// The folder part of a path, with its trailing "/".
std::string ExtractFilePath(std::string_view path);
// This computer's name (the host name).
std::string GetComputerName();

// ---- 16-bit-compatible file calls ---------------------------------------------------------
// Handles are POSIX file descriptors; only the low 16 bits of a handle are used.
using HFILE = int32_t;
constexpr HFILE HFILE_ERROR = -1;
constexpr int OF_READ = 0;
constexpr int OF_WRITE = 1;
constexpr int OF_READWRITE = 2;
HFILE _lopen(const char* path, int mode);
HFILE _lcreat(const char* path, int attributes);
// Bytes read or written; HFILE_ERROR as UINT (0xFFFFFFFF) on failure.
UINT _lread(HFILE file, void* buffer, UINT count);
UINT _lwrite(HFILE file, const void* buffer, UINT count);
LONG _llseek(HFILE file, LONG offset, int origin);
HFILE _lclose(HFILE file);

// ---- Version ------------------------------------------------------------------------------
// The file version the build embeds ("8.0.1.265") and its record number with the full stops
// removed (801265).
const char* GetFileVersionString();
int32_t GetFileVersionNumber();

// ---- String-resource libraries ------------------------------------------------------------
// A string-resource library is a shared library exporting
//     extern "C" const char16_t* KorvaResourceString(unsigned id);
// which answers the NUL-terminated UTF-16 text of string `id`, or null when it has none.
using HMODULE = void*;
extern "C" {
using KorvaResourceStringFn = const char16_t* (*)(unsigned id);
}
// Loads a library by its bare Windows name ("QNSTRING7.DLL" -> libqnstring7.so) through the
// dynamic loader's search path; null when it is not found.
HMODULE LoadStringLibrary(std::string_view windowsName);
void FreeLibrary(HMODULE module);
// Copies string `id` into `buffer` of `size` units including the NUL (so at most size-1 units,
// longer texts cut); the empty text when missing. Answers the number of units copied.
int LoadStringW(HMODULE module, UINT id, char16_t* buffer, int size);
// As LoadStringW, in the system code page.
int LoadStringA(HMODULE module, UINT id, char* buffer, int size);

// ---- Shell --------------------------------------------------------------------------------
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;
// Starts `file` with `parameters` (split as a shell would, honouring double quotes) for the verb
// "open". More than 32 on success, 32 or less on failure (2: file not found, 31: no such verb).
intptr_t ShellExecute(void* ownerWindow, const char* verb, const char* file, const char* parameters,
                      const char* directory, int showCommand);

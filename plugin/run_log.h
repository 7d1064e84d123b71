// The run log of a block: a text file beside the block library, one per run, lines in the system
// code page ended by CR LF.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace virelon {

class TRunLog {
  public:
    TRunLog() = default;
    ~TRunLog() { Close(); }
    TRunLog(const TRunLog&) = delete;
    TRunLog& operator=(const TRunLog&) = delete;

    // Creates the file anew for writing, replacing a file of that name. A symbolic link in its
    // place is refused rather than followed, so the log never lands outside its folder. False
    // when the file cannot be created; the log then stays closed.
    bool Open(const std::string& path);
    bool IsOpen() const { return fd_ >= 0; }
    // Writes the line and CR LF with one write call, so the line is never split. A closed or
    // unwritable log loses the line and nothing else happens.
    void WriteLine(std::string_view line);
    void Close();

  private:
    int fd_ = -1;
};

// The current local date and time in the user's format (short date, a blank, long time; the
// date alone at midnight), in the system code page.
std::string LogTimestamp();

// "Virin_" YYYYMMDD "_" HHMMSS "_" block name without its ">" characters ".log". The block name
// is ANSI text; the answer is a file name of this system (UTF-8). Empty when the name is not a
// single file name here: one holding "/", or one that is "." or "..".
std::string RunLogFileName(std::string_view blockName, const std::tm& when);

// The folder of the log files with its trailing "/": the block library's own folder.
std::string RunLogDirectory();
// Puts the logs of this process into another folder (tests of the internal classes, whose
// "library" is the test program); empty restores the library's folder.
void SetRunLogDirectory(std::string directory);

}  // namespace virelon

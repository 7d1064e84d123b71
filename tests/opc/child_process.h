// Runs a program as a child process with pipes on its standard streams, for end-to-end tests of
// command-line tools. Every wait has a deadline; a child that overstays it is killed and the
// result says so.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace opctest {

struct ChildResult {
    int exitCode = -1;  // the exit status, or -1 when the child did not exit normally
    int signal = 0;     // the signal that ended it, if one did
    bool timedOut = false;
    std::string out;
    std::string err;
};

struct ChildOptions {
    std::vector<std::string> environment;  // "NAME=value" entries added to (or replacing) ours
    std::string input;                     // written to standard input, which is then closed
    std::chrono::milliseconds deadline{20000};
};

ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                     const ChildOptions& options = {});

// A child whose standard output the test reads line by line and may close early.
class Child {
  public:
    Child(const std::string& program, const std::vector<std::string>& args,
          const ChildOptions& options = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0; }
    // Reads standard output up to and including the next line feed; false on end of file or
    // when the deadline passes.
    bool ReadLine(std::string& line);
    // Closes the test's end of the child's standard output (the reader goes away).
    void CloseOutput();
    // Drains standard error and waits for the child's end, within the deadline.
    ChildResult Wait();

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string pending_;
    std::chrono::steady_clock::time_point deadline_;
};

}  // namespace opctest

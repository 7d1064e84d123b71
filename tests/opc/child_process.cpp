#include "tests/opc/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

extern char** environ;

namespace opctest {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
    std::map<std::string, std::string> entries;
    auto add = [&](const std::string& entry) {
        const size_t equals = entry.find('=');
        entries[entry.substr(0, equals)] = entry;
    };
    for (char** e = environ; *e; ++e)
        add(*e);
    for (const std::string& entry : extra)
        add(entry);
    std::vector<std::string> merged;
    for (auto& [name, entry] : entries)
        merged.push_back(entry);
    return merged;
}

// Spawns `program` with pipes; answers the pid (or -1) and the parent's ends.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const ChildOptions& options, int& in, int& out, int& err) {
    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) || pipe2(outPipe, O_CLOEXEC) || pipe2(errPipe, O_CLOEXEC))
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    // The child starts with default signal handling (a test runner may ignore SIGPIPE).
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argStrings = {program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings = MergedEnvironment(options.environment);
    std::vector<char*> envp;
    for (std::string& e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    in = inPipe[1];
    out = outPipe[0];
    err = errPipe[0];
    return pid;
}

void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

// Reads whatever is ready on `fd` into `into`; false at end of file.
bool ReadSome(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        into.append(buffer, static_cast<size_t>(n));
        return true;
    }
}

// Waits for the child's exit until the deadline (polling with a yield, as it is about to end
// once its pipes are closed), then kills it.
void Reap(pid_t pid, Clock::time_point deadline, ChildResult& result) {
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return;
        if (Clock::now() > deadline) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        struct timespec pause {
            0, 1000000
        };  // yield 1 ms between polls
        nanosleep(&pause, nullptr);
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
}

}  // namespace

ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                     const ChildOptions& options) {
    Child child(program, args, options);
    return child.Wait();
}

Child::Child(const std::string& program, const std::vector<std::string>& args,
             const ChildOptions& options)
    : deadline_(Clock::now() + options.deadline) {
    int in = -1;
    pid_ = Spawn(program, args, options, in, out_, err_);
    if (in >= 0) {
        // Small inputs fit the pipe; the child reads them before it writes much.
        signal(SIGPIPE, SIG_IGN);
        WriteAll(in, options.input);
        close(in);
    }
}

Child::~Child() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    CloseOutput();
    if (err_ >= 0)
        close(err_);
}

bool Child::ReadLine(std::string& line) {
    for (;;) {
        const size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            line = pending_.substr(0, end + 1);
            pending_.erase(0, end + 1);
            return true;
        }
        if (out_ < 0)
            return false;
        pollfd fd{out_, POLLIN, 0};
        if (poll(&fd, 1, RemainingMs(deadline_)) <= 0)
            return false;
        if (!ReadSome(out_, pending_))
            return false;
    }
}

void Child::CloseOutput() {
    if (out_ >= 0)
        close(out_);
    out_ = -1;
}

ChildResult Child::Wait() {
    ChildResult result;
    if (pid_ <= 0) {
        result.err = "cannot start the program";
        return result;
    }
    result.out = std::move(pending_);
    pending_.clear();
    // Both streams until end of file, so that a child writing much never blocks on a full pipe.
    while (out_ >= 0 || err_ >= 0) {
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        const int ready = poll(fds, 2, RemainingMs(deadline_));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            result.timedOut = true;
            break;
        }
        if (out_ >= 0 && fds[0].revents && !ReadSome(out_, result.out))
            CloseOutput();
        if (err_ >= 0 && fds[1].revents && !ReadSome(err_, result.err)) {
            close(err_);
            err_ = -1;
        }
    }
    Reap(pid_, deadline_, result);
    pid_ = -1;
    return result;
}

}  // namespace opctest

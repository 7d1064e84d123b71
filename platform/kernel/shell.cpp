#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/kernel/detail/shell_parameters.h"
#include "platform/kernel/kernel.h"

extern char** environ;

namespace {

// The platform's answers: anything above 32 is success, the rest are its error numbers.
constexpr intptr_t kStarted = 42;
constexpr intptr_t kOutOfResources = 0;
constexpr intptr_t kFileNotFound = 2;
constexpr intptr_t kPathNotFound = 3;
constexpr intptr_t kAccessDenied = 5;
constexpr intptr_t kOutOfMemory = 8;
constexpr intptr_t kBadFormat = 11;
constexpr intptr_t kNoAssociation = 31;

intptr_t FromErrno(int error) {
    switch (error) {
        case ENOENT:
            return kFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return kPathNotFound;
        case EACCES:
        case EPERM:
            return kAccessDenied;
        case ENOMEM:
            return kOutOfMemory;
        case ENOEXEC:
            return kBadFormat;
        default:
            return kOutOfResources;
    }
}

// The started program is not waited for, but its exit status must be collected or it would
// linger as a zombie for as long as the caller runs.
void ReapLater(pid_t child) {
    try {
        std::thread([child] {
            while (waitpid(child, nullptr, 0) == -1 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // No thread to be had: the program runs anyway; its status is collected at our exit.
    }
}

struct SpawnSettings {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    SpawnSettings() {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSettings() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;
};

}  // namespace

intptr_t ShellExecute(void* /*ownerWindow*/, const char* verb, const char* file,
                      const char* parameters, const char* directory, int /*showCommand*/) {
    // No verb means the default one, which is "open"; no other verb is known.
    if (verb && *verb && strcasecmp(verb, "open") != 0)
        return kNoAssociation;
    if (!file || !*file)
        return kFileNotFound;

    const bool hasDirectory = directory && *directory;
    if (hasDirectory) {
        struct stat st {};
        if (stat(directory, &st) != 0 || !S_ISDIR(st.st_mode))
            return kPathNotFound;
    }

    std::string program = file;
    const bool searchPath = program.find('/') == std::string::npos;
    if (!searchPath && program.front() != '/' && hasDirectory) {
        // The child changes folder before it starts the program; a relative path means the
        // caller's folder, as it would without a working directory.
        std::error_code ignored;
        program = std::filesystem::absolute(program, ignored).string();
    }

    std::vector<std::string> arguments =
        korva::shell::SplitParameters(parameters ? parameters : "");
    arguments.insert(arguments.begin(), file);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    SpawnSettings settings;
    // The program starts clean: no signal blocked or ignored because the caller's thread had it
    // so, a session of its own (the caller's terminal signals are not its business), and none
    // of the caller's descriptors beyond the standard three.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&settings.attributes, &none);
    posix_spawnattr_setsigdefault(&settings.attributes, &all);
    posix_spawnattr_setflags(&settings.attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
    if (hasDirectory)
        posix_spawn_file_actions_addchdir_np(&settings.actions, directory);
    posix_spawn_file_actions_addclosefrom_np(&settings.actions, 3);

    pid_t child = 0;
    const int error = searchPath ? posix_spawnp(&child, program.c_str(), &settings.actions,
                                                &settings.attributes, argv.data(), environ)
                                 : posix_spawn(&child, program.c_str(), &settings.actions,
                                               &settings.attributes, argv.data(), environ);
    if (error != 0)
        return FromErrno(error);
    ReapLater(child);
    return kStarted;
}

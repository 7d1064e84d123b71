#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/kernel/kernel.h"

namespace {

// $XDG_RUNTIME_DIR is already private to the user; it is only taken when it names an existing
// absolute directory (sessions started with su or in containers often carry a stale one).
std::string PrivateTempDirectory() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        struct stat st {};
        if (stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) {
            std::string path = runtime;
            while (path.size() > 1 && path.back() == '/')
                path.pop_back();
            return path == "/" ? "/korva" : path + "/korva";
        }
    }
    return "/tmp/korva-" + std::to_string(geteuid());
}

std::string Refusal(const std::string& path, const std::string& reason) {
    return "temporary directory " + path + " refused: " + reason;
}

std::string OctalMode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Creates the directory when it is missing and checks that nobody else can reach into it. In
// the shared /tmp another user may have made the name first, to read or plant our files.
bool MakePrivateDirectory(const std::string& path, std::string& error) {
    if (mkdir(path.c_str(), 0700) == 0) {
        // The umask may have taken bits away; the owner needs all three.
        if (chmod(path.c_str(), 0700) != 0) {
            error = Refusal(path, std::string("cannot set its mode: ") + std::strerror(errno));
            return false;
        }
    } else if (errno != EEXIST) {
        error = "cannot create temporary directory " + path + ": " + std::strerror(errno);
        return false;
    }
    // lstat, not stat: a symlink must not lead us into a directory of somebody's choosing. Once
    // the directory is ours, the sticky /tmp keeps others from renaming it away.
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        error = "cannot examine temporary directory " + path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        error = Refusal(path, "a symbolic link stands in its place");
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = Refusal(path, "it is not a directory");
        return false;
    }
    if (st.st_uid != geteuid()) {
        error =
            Refusal(path, "it is owned by another user (uid " + std::to_string(st.st_uid) + ")");
        return false;
    }
    if ((st.st_mode & 077) != 0) {
        error = Refusal(
            path, "its mode " + OctalMode(st.st_mode) + " lets other users in (0700 is required)");
        return false;
    }
    return true;
}

}  // namespace

std::string GetTempPath(std::string* error) {
    const std::string path = PrivateTempDirectory();
    std::string why;
    if (!MakePrivateDirectory(path, why)) {
        if (error)
            *error = why;
        return {};
    }
    if (error)
        error->clear();
    return path + "/";
}

std::string GetTempFileName(std::string_view dir, std::string_view prefix, unsigned unique) {
    char number[16];
    std::snprintf(number, sizeof number, "%X", unique);
    std::string name(dir);
    // The platform joins folder and name itself; a folder given without its separator still
    // yields a name inside it.
    if (!name.empty() && name.back() != '/')
        name += '/';
    name += prefix;
    name += number;
    name += ".tmp";
    return name;
}

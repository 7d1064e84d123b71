#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/kernel/kernel.h"

namespace {

constexpr UINT kTransferError = static_cast<UINT>(HFILE_ERROR);

// Callers hand a handle over in a 32-bit slot of which only the low half is meaningful.
int Descriptor(HFILE file) {
    return static_cast<int>(static_cast<uint32_t>(file) & 0xFFFFu);
}

// A descriptor above 16 bits could not be passed through such a slot and come back as itself.
HFILE AsHandle(int fd) {
    if (fd < 0)
        return HFILE_ERROR;
    if (fd > 0xFFFF) {
        close(fd);
        errno = EMFILE;
        return HFILE_ERROR;
    }
    return fd;
}

}  // namespace

HFILE _lopen(const char* path, int mode) {
    if (!path)
        return HFILE_ERROR;
    int flags = 0;
    // The upper bits carry the platform's sharing flags, which have no counterpart here.
    switch (mode & 3) {
        case OF_READ:
            flags = O_RDONLY;
            break;
        case OF_WRITE:
            flags = O_WRONLY;
            break;
        case OF_READWRITE:
            flags = O_RDWR;
            break;
        default:
            errno = EINVAL;
            return HFILE_ERROR;
    }
    // Close-on-exec keeps a model file from leaking into programs the shell starts.
    return AsHandle(open(path, flags | O_CLOEXEC));
}

HFILE _lcreat(const char* path, int attributes) {
    if (!path)
        return HFILE_ERROR;
    // Attribute bit 0 makes the file read-only for later opens; this handle may still write.
    const mode_t permissions = (attributes & 1) ? 0444 : 0666;
    return AsHandle(open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, permissions));
}

UINT _lread(HFILE file, void* buffer, UINT count) {
    if (!buffer && count > 0)
        return kTransferError;
    auto* bytes = static_cast<char*>(buffer);
    UINT done = 0;
    while (done < count) {
        const ssize_t n = read(Descriptor(file), bytes + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return done > 0 ? done : kTransferError;
        }
        if (n == 0)
            break;  // end of file
        done += static_cast<UINT>(n);
    }
    return done;
}

UINT _lwrite(HFILE file, const void* buffer, UINT count) {
    if (!buffer && count > 0)
        return kTransferError;
    const auto* bytes = static_cast<const char*>(buffer);
    UINT done = 0;
    while (done < count) {
        const ssize_t n = write(Descriptor(file), bytes + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return done > 0 ? done : kTransferError;
        }
        done += static_cast<UINT>(n);
    }
    return done;
}

LONG _llseek(HFILE file, LONG offset, int origin) {
    int whence = 0;
    switch (origin) {
        case 0:
            whence = SEEK_SET;
            break;
        case 1:
            whence = SEEK_CUR;
            break;
        case 2:
            whence = SEEK_END;
            break;
        default:
            errno = EINVAL;
            return HFILE_ERROR;
    }
    const int fd = Descriptor(file);
    const off_t before = lseek(fd, 0, SEEK_CUR);
    if (before < 0)
        return HFILE_ERROR;
    const off_t after = lseek(fd, offset, whence);
    if (after < 0)
        return HFILE_ERROR;
    if (after > INT32_MAX) {
        // The answer would not fit; leave the position where the caller had it.
        lseek(fd, before, SEEK_SET);
        errno = EOVERFLOW;
        return HFILE_ERROR;
    }
    return static_cast<LONG>(after);
}

HFILE _lclose(HFILE file) {
    // On Linux the descriptor is released even when close is interrupted.
    if (close(Descriptor(file)) != 0 && errno != EINTR)
        return HFILE_ERROR;
    return 0;
}

// CreateFileA, CloseHandle and FlushFileBuffers for POSIX, with Windows'
// share modes and read-only attribute. handles.h explains the design.
#include "platform/posix/handles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/locks.h"
#include "platform/posix/paths.h"
#include "platform/posix/registry.h"
#include "platform/posix/share_modes.h"
#include "platform/posix/shared_file_system.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform {
namespace posix {
namespace {

// ---- Access ------------------------------------------------------------------

// Linux's access mode 3: the open checks read and write permission and gives
// a descriptor that can neither read nor write, but can move its position.
constexpr int kNoDataAccess = O_ACCMODE;

struct Access {
    bool read;
    bool write;
    int flags;  // access mode, plus O_APPEND for an append handle
};

// Append-only access is O_APPEND: the kernel moves to the end and writes in
// one step under the file's lock, so appenders never overwrite each other.
Access accessFor(uint32_t desiredAccess) {
    Access access;
    access.read = (desiredAccess & kGenericRead) != 0;
    access.write = (desiredAccess & (kGenericWrite | kFileAppendData)) != 0;
    bool appendOnly = (desiredAccess & kFileAppendData) && !(desiredAccess & kGenericWrite);
    if (access.read && access.write) {
        access.flags = O_RDWR;
    } else if (access.write) {
        access.flags = O_WRONLY;
    } else {
        access.flags = access.read ? O_RDONLY : kNoDataAccess;
    }
    if (appendOnly) access.flags |= O_APPEND;
    return access;
}

// Handles are inheritable, so no O_CLOEXEC.
constexpr int kOpenFlags = O_NOCTTY;

bool refusedForPermissions(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY;
}

int openRetrying(const char* path, int flags, mode_t mode) {
    return uninterrupted([&] { return sys.open(path, flags, mode); });
}

// A handle without data access still opens a file the process may not both
// read and write: as an O_PATH descriptor, which can only be looked at.
int openDescriptor(const char* path, int flags) {
    int fd = openRetrying(path, flags | kOpenFlags, 0666);
    if (fd >= 0 || (flags & O_ACCMODE) != kNoDataAccess || !refusedForPermissions(errno)) {
        return fd;
    }
    if (flags & O_CREAT) return fd;
    return openRetrying(path, O_PATH | kOpenFlags, 0);
}

struct Opened {
    int fd = -1;
    bool created = false;
};

// Opens according to the disposition without ever emptying a file: the
// caller truncates only after the share check. A missing file is created with
// O_EXCL, so "created" is certain and two creators cannot both believe it.
// When the name exists but the plain open finds nothing (a symbolic link to a
// missing file, or a file removed in between), O_CREAT without O_EXCL makes
// the file the name leads to; "created" then stays false, which costs only a
// read-only check and the truncation of an empty file.
uint32_t openForDisposition(const char* path, int flags, Disposition disposition, Opened* opened) {
    auto openWith = [&](int extra) {
        opened->fd = openDescriptor(path, flags | extra);
        return opened->fd >= 0;
    };
    if (disposition != Disposition::kCreateAlways) {
        if (openWith(0)) return 0;
        if (errno != ENOENT || disposition == Disposition::kOpenExisting) {
            return win32ErrorForPath(errno, path);
        }
    }
    if (openWith(O_CREAT | O_EXCL)) {
        opened->created = true;
        return 0;
    }
    if (errno == EEXIST && (openWith(0) || (errno == ENOENT && openWith(O_CREAT)))) return 0;
    return win32ErrorForPath(errno, path);
}

// ---- Emptying ---------------------------------------------------------------

uint32_t truncateToZero(int fd) {
    int result = uninterrupted([&] { return sys.ftruncate(fd, 0); });
    return result == 0 ? 0 : win32ErrorFromErrno(errno);
}

// A write-only description of the regular file `file` by its name, kept only
// when it is that same file, and closed on exec: it lives inside one call.
// O_NONBLOCK: should the name lead to a FIFO by now, the open neither waits
// nor makes a writer. Answers the descriptor, or -1 with *error set (5 where
// the name no longer leads to the file).
int openWriter(const char* path, const OpenedFile& file, uint32_t* error) {
    int fd = openRetrying(path, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0) {
        bool denied = refusedForPermissions(errno) || errno == ENXIO || errno == ENOENT;
        *error = denied ? win32error::kAccessDenied : win32ErrorFromErrno(errno);
        return -1;
    }
    struct stat status;
    *error = 0;
    if (sys.fstat(fd, &status) != 0) {
        *error = win32ErrorFromErrno(errno);
    } else if (status.st_dev != file.device || status.st_ino != file.inode) {
        *error = win32error::kAccessDenied;
    }
    if (*error == 0) return fd;
    sys.close(fd);
    return -1;
}

// Emptying a file counts as writing it, whatever access the handle keeps. A
// handle without write access empties through a writer of its own that holds
// the write for the share check and is closed before the call returns. A
// FIFO, socket or device has nothing to empty.
uint32_t emptyFile(const char* path, int fd, const OpenedFile& file, bool writable) {
    if (!S_ISREG(file.mode)) return 0;
    if (writable) return truncateToZero(fd);
    uint32_t error = 0;
    int writer = openWriter(path, file, &error);
    if (writer < 0) return error;
    ShareRoles writing{false, false, true, false};
    error = publishShareMode(writing, writer, slotSalt(writer));
    if (error == 0) error = truncateToZero(writer);
    sys.close(writer);
    return error;
}

struct Prepared {
    uint8_t facts = kOpenedHere;
    FileIdentity file;
};

// Everything after the descriptor is open; on failure the caller closes it,
// which drops every lock taken here.
uint32_t prepareHandle(const char* path, const Opened& opened, const Access& access,
                       uint32_t shareMode, Disposition disposition, Prepared* prepared) {
    int fd = opened.fd;
    uint8_t* facts = &prepared->facts;
    OpenedFile file;
    if (uint32_t error = describeOpenedFile(fd, &file); error != 0) return error;
    prepared->file = {file.device, file.inode};
    // Windows opens no directory as a file, in any mode.
    if (S_ISDIR(file.mode)) return win32error::kAccessDenied;
    if (file.onSharedFileSystem) *facts |= kOnSharedFileSystem;
    bool empties = disposition == Disposition::kCreateAlways && !opened.created;
    // The read-only attribute holds for every user, root included.
    bool writes = access.write || empties;
    if (writes && !opened.created && S_ISREG(file.mode) && isReadOnlyFile(file.mode)) {
        return win32error::kAccessDenied;
    }
    ShareRoles roles = shareRolesFor(access.read, access.write, shareMode);
    uint32_t error = publishShareMode(roles, fd, slotSalt(fd));
    if (error == 0 && empties) error = emptyFile(path, fd, file, access.write);
    bool hasData = access.read || access.write;
    if (hasData) *facts |= kHasDataAccess;
    if (access.read) *facts |= kReadable;
    if (access.write) *facts |= kWritable;
    if (hasData && (shareMode & (kFileShareRead | kFileShareWrite)) == 0) {
        *facts |= kSharesNothing;
    }
    return error;
}

}  // namespace

bool mayRemove(const char* path) {
    constexpr int kFlags = O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    int fd = openRetrying(path, O_RDONLY | kFlags, 0);
    if (fd < 0 && (errno == EACCES || errno == EPERM))
        fd = openRetrying(path, O_WRONLY | kFlags, 0);
    if (fd < 0) {
        // Nothing to look at: gone, a link, not a file.
        bool nothingToCheck = errno == ENOENT || errno == ENOTDIR || errno == ELOOP;
        return nothingToCheck || failWithErrno(errno);
    }
    uint32_t error = findHolder(fd);
    sys.close(fd);
    return error == 0 || fail(error);
}

}  // namespace posix

using namespace posix;

namespace posix {
namespace {

// Whether a program this process started may hold the descriptor's
// description: one without close-on-exec may have reached it (and stays with
// whatever that program leaves running). An unanswered question counts as
// yes, which keeps what a child holds.
bool mayReachAnotherProgram(int fd) {
    int flags = sys.fcntlInt(fd, F_GETFD, 0);
    return flags < 0 || !(flags & FD_CLOEXEC);
}

// One open. Answers 0 with the descriptor in *fd, or the Win32 error; *file
// says what it was open on, and whether that lies on a shared file system.
uint32_t openOnce(const char* path, const Access& access, uint32_t shareMode,
                  Disposition disposition, int* fd, Prepared* prepared) {
    Opened opened;
    uint32_t error = openForDisposition(path, access.flags, disposition, &opened);
    if (error != 0) return error;
    // A stale record of the number (the host closed an earlier library
    // descriptor itself) is forgotten by the adoption: its locks went with
    // its description, and nothing of it is given up.
    error = prepareHandle(path, opened, access, shareMode, disposition, prepared);
    if (error == 0) error = adopt(opened.fd, prepared->facts, prepared->file);
    if (error == 0) {
        *fd = opened.fd;
        return 0;
    }
    // A file this call created stays: another open may already hold it.
    Released unadopted;
    unadopted.facts = prepared->facts;
    unadopted.file = prepared->file;
    closeDescription(opened.fd, unadopted);
    return error;
}

}  // namespace
}  // namespace posix

// An open refused by the share mode of a handle this process closed a moment
// ago on a shared file system is tried again for a short while: the client
// gives up a closed description's locks a little after close returns
// (shared_file_system.h).
Handle createFile(const char* path, uint32_t desiredAccess, uint32_t shareMode,
                  Disposition disposition) {
    Access access = accessFor(desiredAccess);
    for (unsigned attempt = 0;; ++attempt) {
        Prepared prepared;
        int fd = -1;
        uint32_t error = openOnce(path, access, shareMode, disposition, &fd, &prepared);
        if (error == 0) return fd;
        if (!retriesOpen(error, prepared.facts, prepared.file, attempt)) {
            setLastError(error);
            return kInvalidHandle;
        }
    }
}

// On a shared file system what the handle wrote reaches the server before its
// locks go (shared_file_system.h); a sync that fails is reported once the
// handle is closed, as Windows closes it. A description another process may
// hold too (a child that inherited the handle) outlives the close, and every
// lock taken through it: the locks this process took through the handle go
// first, and a child's stay the child's. A program started by posix_spawn,
// vfork or system() runs no fork handler, so the registry cannot count it:
// the descriptor's close-on-exec flag tells whether one may have it. It is
// asked only where the answer changes what the close does: on a shared file
// system, or when this process holds locks through the handle.
bool closeHandle(Handle handle) {
    if (isNullHandle(handle)) return fail(win32error::kInvalidHandle);
    uint8_t facts = factsOf(handle);
    uint32_t pushed = beforeClose(handle, facts);
    Released released = release(handle);
    bool lockedHere = released.locks.begin() != released.locks.end();
    if (!released.mayBeInherited && (onSharedFileSystem(facts) || lockedHere)) {
        released.mayBeInherited = mayReachAnotherProgram(handle);
    }
    if (released.mayBeInherited) giveUpLocks(handle, released.locks);
    int closed = closeDescription(handle, released);
    // Linux has released the descriptor even when close reports EINTR.
    if (closed != 0 && errno != EINTR) return failWithErrno(errno);
    return pushed == 0 || fail(pushed);
}

// Windows refuses to flush a handle without write access (5); a read-only
// descriptor is not made to write anything out.
bool flushFileBuffers(Handle handle) {
    if (isNullHandle(handle)) return fail(win32error::kInvalidHandle);
    int flags = sys.fcntlInt(handle, F_GETFL, 0);
    if (flags < 0) return failWithErrno(errno);
    int mode = flags & O_ACCMODE;
    if ((flags & O_PATH) || (mode != O_WRONLY && mode != O_RDWR)) {
        return fail(win32error::kAccessDenied);
    }
    if (sys.fsync(handle) == 0) return true;
    // Pipes, terminals and the like have nothing to write out.
    if (errno == EINVAL) return true;
    return failWithErrno(errno);
}

}  // namespace qorvel::platform

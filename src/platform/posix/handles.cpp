// CreateFileA, CloseHandle and FlushFileBuffers for POSIX: descriptors with
// exactly the access their handle was given, Windows' share modes and its
// read-only attribute.
//
// A handle is a plain file descriptor, opened O_RDONLY, O_WRONLY or O_RDWR
// as its access says (O_APPEND for an append handle), without O_CLOEXEC:
// handles are inheritable. The kernel therefore refuses every transfer a
// handle was not granted (EBADF, answered as 5), a child that inherits a read
// handle cannot write through it, and a reader never opens the file for
// writing: no copy-up on overlayfs, no IN_CLOSE_WRITE for inotify watchers,
// no broken read leases. A handle with no data access at all is a descriptor
// of access mode 3, which Linux gives neither reading nor writing (O_PATH
// where the file's permissions refuse that); it may still move its position,
// as on Windows, and takes no part in sharing or locking.
//
// The descriptor is all a handle holds: its share mode is OFD locks taken
// through it (share_modes.cpp), so a child that inherits the handle inherits
// the share mode with it, which then lasts until the last process holding
// the description closes it or ends; a handle the host marks FD_CLOEXEC
// leaves nothing of itself in a program it starts. The library holds no other
// descriptor of the file, save for the moment a create with no access right
// empties it: a write-only, close-on-exec descriptor, closed before the call
// returns.
//
// registry.h keeps what the backend knows of each descriptor it opened.
#include <sys/stat.h>

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

using namespace posix;

namespace {

// Linux's access mode 3: the open checks read and write permission and gives
// a descriptor that can neither read nor write, but can move its position.
constexpr int kNoDataAccess = O_ACCMODE;

// Handles are inheritable, so no O_CLOEXEC.
constexpr int kOpenFlags = O_NOCTTY;

struct Access {
    bool read;
    bool write;
    int flags;  // access mode, plus O_APPEND for an append handle
};

// Append-only access is O_APPEND: the kernel moves to the end and writes in
// one step under the file's lock, so appenders never overwrite each other.
Access accessFor(uint32_t desiredAccess) {
    bool read = (desiredAccess & kGenericRead) != 0;
    bool write = (desiredAccess & (kGenericWrite | kFileAppendData)) != 0;
    constexpr int kModes[2][2] = {{kNoDataAccess, O_WRONLY}, {O_RDONLY, O_RDWR}};
    Access access{read, write, kModes[read][write]};
    bool appendOnly = (desiredAccess & kFileAppendData) && !(desiredAccess & kGenericWrite);
    if (appendOnly) access.flags |= O_APPEND;
    return access;
}

bool refusedForPermissions(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY;
}

int openRetrying(const char* path, int flags, mode_t mode) {
    return uninterrupted([&] { return sys.open(path, flags, mode); });
}

// A handle without data access still opens a file the process may not both
// read and write (unless it creates it): as an O_PATH descriptor, which can
// only be looked at.
int openDescriptor(const char* path, int flags) {
    int fd = openRetrying(path, flags | kOpenFlags, 0666);
    bool looksOnly = (flags & (O_ACCMODE | O_CREAT)) == kNoDataAccess;
    if (fd >= 0 || !looksOnly || !refusedForPermissions(errno)) return fd;
    return openRetrying(path, O_PATH | kOpenFlags, 0);
}

// Opens according to the disposition without ever emptying a file: the
// caller truncates only after the share check. A missing file is created with
// O_EXCL, so *created is certain and two creators cannot both believe it.
// When the name exists but the plain open finds nothing (a symbolic link to a
// missing file, or a file removed in between), O_CREAT without O_EXCL makes
// the file the name leads to; *created then stays false, which costs only a
// read-only check and the truncation of an empty file. Answers the
// descriptor, or -1 with errno set.
int openForDisposition(const char* path, int flags, Disposition disposition, bool* created) {
    if (disposition != Disposition::kCreateAlways) {
        int fd = openDescriptor(path, flags);
        if (fd >= 0 || errno != ENOENT || disposition == Disposition::kOpenExisting) return fd;
    }
    int fd = openDescriptor(path, flags | O_CREAT | O_EXCL);
    *created = fd >= 0;
    if (fd >= 0 || errno != EEXIST) return fd;
    fd = openDescriptor(path, flags);
    return (fd >= 0 || errno != ENOENT) ? fd : openDescriptor(path, flags | O_CREAT);
}

uint32_t truncateToZero(int fd) {
    int result = uninterrupted([&] { return sys.ftruncate(fd, 0); });
    return result == 0 ? 0 : win32ErrorFromErrno(errno);
}

// Whether `fd` is open on `file`: 0, 5 when it is not, or the error of the look.
uint32_t isOpenOn(int fd, const OpenedFile& file) {
    struct stat status;
    if (sys.fstat(fd, &status) != 0) return win32ErrorFromErrno(errno);
    bool same = status.st_dev == file.device && status.st_ino == file.inode;
    return same ? 0 : win32error::kAccessDenied;
}

// Emptying a file counts as writing it, whatever access the handle keeps. A
// handle without write access empties through a writer of its own: a
// write-only description of the file by its name, kept only when the name
// still leads to that file (5 otherwise), closed on exec and before the call
// returns, which holds the write for the share check. O_NONBLOCK: should the
// name lead to a FIFO by now, the open neither waits nor makes a writer. A
// FIFO, socket or device has nothing to empty.
uint32_t emptyFile(const char* path, int fd, const OpenedFile& file, bool writable) {
    if (!S_ISREG(file.mode)) return 0;
    if (writable) return truncateToZero(fd);
    int writer = openRetrying(path, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0);
    if (writer < 0) {
        bool denied = refusedForPermissions(errno) || errno == ENXIO || errno == ENOENT;
        return denied ? win32error::kAccessDenied : win32ErrorFromErrno(errno);
    }
    uint32_t error = isOpenOn(writer, file);
    ShareRoles writing{false, false, true, false};
    if (error == 0) error = publishShareMode(writing, writer, slotSalt(writer));
    if (error == 0) error = truncateToZero(writer);
    sys.close(writer);
    return error;
}

// Everything after the descriptor is open, up to its adoption; *record gets
// what the registry is to keep of it. On failure the caller closes it, which
// drops every lock taken here.
uint32_t prepareHandle(const char* path, int fd, bool created, const Access& access,
                       uint32_t shareMode, Disposition disposition, Released* record) {
    OpenedFile file;
    if (uint32_t error = describeOpenedFile(fd, &file); error != 0) return error;
    record->file = {file.device, file.inode};
    if (file.onSharedFileSystem) record->facts |= kOnSharedFileSystem;
    // Windows opens no directory as a file, in any mode.
    if (S_ISDIR(file.mode)) return win32error::kAccessDenied;
    bool empties = disposition == Disposition::kCreateAlways && !created;
    // The read-only attribute holds for every user, root included; emptying
    // counts as writing.
    if ((access.write || empties) && !created && S_ISREG(file.mode) && isReadOnlyFile(file.mode)) {
        return win32error::kAccessDenied;
    }
    ShareRoles roles = shareRolesFor(access.read, access.write, shareMode);
    if (access.read) record->facts |= kReadable | kHasDataAccess;
    if (access.write) record->facts |= kWritable | kHasDataAccess;
    if (roles.deniesRead && roles.deniesWrite) record->facts |= kSharesNothing;
    uint32_t error = publishShareMode(roles, fd, slotSalt(fd));
    if (error == 0 && empties) error = emptyFile(path, fd, file, access.write);
    return error != 0 ? error : adopt(fd, record->facts, record->file);
}

}  // namespace

// A file an open created stays when a later step fails: another open may
// already hold it. An open refused by the share mode of a handle this process
// closed a moment ago on a shared file system is tried again for a short
// while: the client gives up a closed description's locks a little after
// close returns (shared_file_system.h).
Handle createFile(const char* path, uint32_t desiredAccess, uint32_t shareMode,
                  Disposition disposition) {
    Access access = accessFor(desiredAccess);
    for (unsigned attempt = 0;; ++attempt) {
        bool created = false;
        Released record;
        int fd = openForDisposition(path, access.flags, disposition, &created);
        uint32_t error =
            fd < 0 ? win32ErrorForPath(errno, path)
                   : prepareHandle(path, fd, created, access, shareMode, disposition, &record);
        if (error == 0) return fd;
        if (fd >= 0) closeDescription(fd, record);
        if (!retriesOpen(error, record.facts, record.file, attempt)) {
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
// vfork or system() runs no fork handler, so the registry cannot count it: a
// descriptor without close-on-exec may have reached one (and stays with
// whatever that program leaves running), and a flag that cannot be read
// counts as that, which keeps what a child holds. The flag is asked only
// where the answer changes what the close does: on a shared file system, or
// when this process holds locks through the handle.
bool closeHandle(Handle handle) {
    if (isNullHandle(handle)) return fail(win32error::kInvalidHandle);
    uint32_t pushed = beforeClose(handle, factsOf(handle));
    Released released = release(handle);
    bool asks = onSharedFileSystem(released.facts) || released.locks.count != 0;
    if (!released.mayBeInherited && asks) {
        int flags = sys.fcntlInt(handle, F_GETFD, 0);
        released.mayBeInherited = flags < 0 || !(flags & FD_CLOEXEC);
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
    // Pipes, terminals and the like have nothing to write out.
    if (sys.fsync(handle) == 0 || errno == EINVAL) return true;
    return failWithErrno(errno);
}

}  // namespace qorvel::platform

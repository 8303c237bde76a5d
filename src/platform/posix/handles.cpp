// CreateFileA, CloseHandle and FlushFileBuffers for POSIX, with Windows'
// share modes and read-only attribute. handles.h explains the design.
#include "platform/posix/handles.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/ofd_locks.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform {
namespace posix {
namespace {

// ---- What the library remembers of the descriptors it opened ---------------
//
// Two facts per descriptor number, set when the library opens the descriptor
// and cleared when it closes it or opens another under the same number: that
// the library opened it (so that descriptor 0 is a handle, not standard
// input), and that it shares nothing. Neither changes what the kernel lets
// the descriptor do. And the second description of a read handle that denies
// reading, closed with it. Fixed static tables: no heap memory; only the
// pages of descriptor numbers in use are ever touched.

constexpr int kTrackedDescriptors = 1 << 20;
constexpr uint8_t kOpenedHere = 0x1;
constexpr uint8_t kSharingNothing = 0x2;

std::atomic<uint8_t> gFacts[kTrackedDescriptors];
std::atomic<int> gLockDescription[kTrackedDescriptors];  // descriptor + 1, 0 for none

bool isTracked(int fd) { return fd >= 0 && fd < kTrackedDescriptors; }

uint8_t factsOf(int fd) { return isTracked(fd) ? gFacts[fd].load(std::memory_order_relaxed) : 0; }

void closeLockDescription(int fd) {
    if (!isTracked(fd)) return;
    int stored = gLockDescription[fd].exchange(0, std::memory_order_relaxed);
    if (stored > 0) closeReleasingLocks(stored - 1);
}

// Everything remembered of a number, when the library closes it or receives
// it again from the kernel (the host closed the earlier descriptor itself).
void forgetDescriptor(int fd) {
    forgetByteRangeLocks(fd);
    closeLockDescription(fd);
    if (isTracked(fd)) gFacts[fd].store(0, std::memory_order_relaxed);
}

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

// A handle without data access still opens a file the process may not both
// read and write: as an O_PATH descriptor, which can only be looked at.
// open, repeated when a signal interrupts it (a FIFO or a slow network
// filesystem may wait).
int openRetrying(const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = sys.open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

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
bool openForDisposition(const char* path, int flags, Disposition disposition, Opened* opened) {
    auto openWith = [&](int extra) {
        opened->fd = openDescriptor(path, flags | extra);
        return opened->fd >= 0;
    };
    if (disposition != Disposition::kCreateAlways) {
        if (openWith(0)) return true;
        if (errno != ENOENT || disposition == Disposition::kOpenExisting) {
            return failWithErrnoForPath(errno, path);
        }
    }
    if (openWith(O_CREAT | O_EXCL)) {
        opened->created = true;
        return true;
    }
    if (errno == EEXIST && (openWith(0) || (errno == ENOENT && openWith(O_CREAT)))) return true;
    return failWithErrnoForPath(errno, path);
}

// A second description of the file a descriptor is open on, by the
// descriptor's own name in /proc: the same inode even after a rename.
int reopen(int fd, int flags) {
    char name[32];
    std::snprintf(name, sizeof name, "/proc/self/fd/%d", fd);
    return openRetrying(name, flags | O_CLOEXEC | O_NOCTTY, 0);
}

// ---- Share-mode locks ---------------------------------------------------------

struct Roles {
    bool holdsRead, holdsWrite, deniesRead, deniesWrite;
};

// The descriptors a handle publishes through: one that may take read locks
// and one that may take write locks (-1 where there is none).
struct Publisher {
    int readable = -1;
    int writable = -1;
};

bool shareConflict(int error) {
    if (isOfdLockConflict(error)) return fail(win32error::kSharingViolation);
    return failWithErrno(error);
}

bool lockShare(int fd, short type, off_t start, off_t length) {
    return setOfdLock(fd, type, start, length) == 0 || shareConflict(errno);
}

// Takes a write lock on one free byte of a region: a byte taken by another
// handle of the same role (a one-byte write lock) is skipped; anything else
// in the way (a read lock over the region, a write lock over all of it) is a
// handle that conflicts.
bool takeSlot(int fd, off_t region, unsigned firstSlot) {
    for (off_t i = 0; i < kShareSlots; ++i) {
        off_t slot = region + (firstSlot + i) % kShareSlots;
        if (setOfdLock(fd, F_WRLCK, slot, 1) == 0) return true;
        if (!isOfdLockConflict(errno)) return failWithErrno(errno);
        struct flock holder;
        if (!findOfdLock(fd, F_WRLCK, SEEK_SET, slot, 1, &holder)) return failWithErrno(errno);
        bool slotTaker = holder.l_type == F_WRLCK && holder.l_len < kShareSlots;
        if (holder.l_type != F_UNLCK && !slotTaker) return fail(win32error::kSharingViolation);
    }
    return fail(win32error::kSharingBufferExceeded);  // every byte is taken
}

// Where a handle starts looking for a free byte: spread over processes and
// threads (by the address of a thread-local, which differs in both) and
// descriptors, so that handles rarely meet. No system call.
unsigned firstSlotFor(int fd) {
    thread_local char anchor;
    auto salt = static_cast<unsigned>(reinterpret_cast<uintptr_t>(&anchor) >> 4);
    return salt * 31u + static_cast<unsigned>(fd) * 7u;
}

constexpr off_t kReadRegionLength = kShareWriteRegion - kShareReadRegion;
constexpr off_t kWriteRegionLength = kShareAreaEnd - kShareWriteRegion;
constexpr off_t kShareAreaLength = kShareAreaEnd - kShareReadRegion;

// A handle that both holds and denies reading conflicts with every other
// handle of the read class; when it also takes a slot of the write class,
// the first slot lies next to the read region and one call usually does.
bool publishWholeReadRegion(const Publisher& via, bool holdsWrite, int fd) {
    if (!holdsWrite) return lockShare(via.writable, F_WRLCK, kShareReadRegion, kReadRegionLength);
    if (setOfdLock(via.writable, F_WRLCK, kShareReadRegion, kReadRegionLength + 1) == 0)
        return true;
    if (!lockShare(via.writable, F_WRLCK, kShareReadRegion, kReadRegionLength)) return false;
    return takeSlot(via.writable, kShareWriteRegion, firstSlotFor(fd) | 1u);
}

bool publishReadClass(const Roles& roles, const Publisher& via, int fd) {
    if (roles.holdsRead && roles.deniesRead) {
        return publishWholeReadRegion(via, roles.holdsWrite && !roles.deniesWrite, fd);
    }
    if (roles.holdsRead) {
        // With a denial of writing (and no writing held), both read locks are
        // one range.
        bool alsoDeniesWrite = roles.deniesWrite && !roles.holdsWrite;
        return lockShare(via.readable, F_RDLCK, kShareReadRegion,
                         alsoDeniesWrite ? kShareAreaLength : kReadRegionLength);
    }
    if (roles.deniesRead) return takeSlot(via.writable, kShareReadRegion, firstSlotFor(fd));
    return true;
}

bool publishWriteClass(const Roles& roles, const Publisher& via, int fd) {
    bool doneWithReadClass =
        roles.holdsRead && (roles.deniesRead ? roles.holdsWrite && !roles.deniesWrite
                                             : roles.deniesWrite && !roles.holdsWrite);
    if (doneWithReadClass) return true;
    if (roles.holdsWrite && roles.deniesWrite) {
        return lockShare(via.writable, F_WRLCK, kShareWriteRegion, kWriteRegionLength);
    }
    if (roles.holdsWrite) return takeSlot(via.writable, kShareWriteRegion, firstSlotFor(fd));
    if (roles.deniesWrite) {
        return lockShare(via.readable, F_RDLCK, kShareWriteRegion, kWriteRegionLength);
    }
    return true;
}

// Publishes what a handle holds and denies, each lock call checking against
// what other handles published before it (the table in handles.h).
bool publishShareMode(const Roles& roles, const Publisher& via, int fd) {
    if (roles.deniesRead && roles.deniesWrite) {
        return lockShare(via.writable, F_WRLCK, kShareReadRegion, kShareAreaLength);
    }
    return publishReadClass(roles, via, fd) && publishWriteClass(roles, via, fd);
}

// A read handle that denies reading, where no writable description can be
// had: the denial is checked now (no other handle with data access may be
// open, or, when writing is shared, none that holds or denies reading) and
// what the descriptor can publish is published.
bool checkThenPublishReadOnly(const Roles& roles, int fd) {
    off_t checked = roles.deniesWrite ? kShareAreaLength : kReadRegionLength;
    struct flock holder;
    if (!findOfdLock(fd, F_WRLCK, SEEK_SET, kShareReadRegion, checked, &holder))
        return failWithErrno(errno);
    if (holder.l_type != F_UNLCK) return fail(win32error::kSharingViolation);
    off_t published = roles.deniesWrite ? kShareAreaLength : kReadRegionLength;
    return lockShare(fd, F_RDLCK, kShareReadRegion, published);
}

// Publishes the share mode of a read handle that denies reading through a
// second, writable description kept with the handle.
bool publishThroughLockDescription(const Roles& roles, int fd) {
    int second = reopen(fd, O_WRONLY);
    if (second < 0) {
        if (refusedForPermissions(errno)) return checkThenPublishReadOnly(roles, fd);
        return failWithErrno(errno);
    }
    Publisher via{fd, second};
    if (!publishShareMode(roles, via, fd)) {
        uint32_t error = lastError();
        sys.close(second);
        return fail(error);
    }
    if (isTracked(fd)) {
        gLockDescription[fd].store(second + 1, std::memory_order_relaxed);
    } else {
        sys.close(second);  // beyond the table: the denial was checked, not kept
    }
    return true;
}

bool isReadOnlyFile(int fd, bool* readOnly) {
    struct stat status;
    if (sys.fstat(fd, &status) != 0) return failWithErrno(errno);
    *readOnly = S_ISREG(status.st_mode) && !(status.st_mode & S_IWUSR);
    return true;
}

bool truncateToZero(int fd) {
    int result;
    do {
        result = sys.ftruncate(fd, 0);
    } while (result != 0 && errno == EINTR);
    return result == 0 || failWithErrno(errno);
}

// Emptying a file counts as writing it, whatever access the handle keeps. A
// handle without write access empties through a second description that
// holds the write for the share check and goes when the file is empty.
bool emptyFile(int fd, const Access& access) {
    if (access.write) return truncateToZero(fd);
    int writer = reopen(fd, O_WRONLY);
    if (writer < 0) return failWithErrno(errno);
    Roles writing{false, true, false, false};
    bool emptied = publishShareMode(writing, Publisher{-1, writer}, fd) && truncateToZero(writer);
    uint32_t error = lastError();
    sys.close(writer);
    return emptied || fail(error);
}

// Everything after the descriptor is open; on failure the caller closes it,
// which drops every lock taken here.
bool prepareHandle(const Opened& opened, const Access& access, uint32_t shareMode,
                   Disposition disposition) {
    int fd = opened.fd;
    bool empties = disposition == Disposition::kCreateAlways && !opened.created;
    if (!opened.created && (access.write || empties)) {
        bool readOnly = false;
        if (!isReadOnlyFile(fd, &readOnly)) return false;
        // The read-only attribute holds for every user, root included.
        if (readOnly) return fail(win32error::kAccessDenied);
    }
    // An open with no data access takes no part in sharing.
    bool hasData = access.read || access.write;
    Roles roles{access.read, access.write, hasData && !(shareMode & kFileShareRead),
                hasData && !(shareMode & kFileShareWrite)};
    if (roles.deniesRead && !access.write) {
        if (!publishThroughLockDescription(roles, fd)) return false;
    } else if (hasData) {
        Publisher via{access.read ? fd : -1, access.write ? fd : -1};
        if (!publishShareMode(roles, via, fd)) return false;
    }
    return !empties || emptyFile(fd, access);
}

}  // namespace

int lockDescriptionOf(int fd) {
    if (!isTracked(fd)) {
        fail(win32error::kAccessDenied);
        return -1;
    }
    int stored = gLockDescription[fd].load(std::memory_order_relaxed);
    if (stored > 0) return stored - 1;
    int second = reopen(fd, O_RDONLY);
    if (second < 0) {
        failWithErrno(errno);
        return -1;
    }
    int expected = 0;
    if (gLockDescription[fd].compare_exchange_strong(expected, second + 1)) return second;
    sys.close(second);  // another thread of the host got there first
    return expected - 1;
}

bool isNullHandle(int fd) { return fd == 0 && !(factsOf(0) & kOpenedHere); }

bool sharesNothing(int fd) { return (factsOf(fd) & kSharingNothing) != 0; }

bool mayRemove(const char* path) {
    constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    int fd = openRetrying(path, kFlags, 0);
    if (fd < 0) {
        // Nothing to look at (gone, a link, not a file), or nothing this
        // process can hold; anything else means the look itself failed.
        bool nothingToCheck = errno == ENOENT || errno == ENOTDIR || errno == ELOOP ||
                              errno == EACCES || errno == EPERM;
        return nothingToCheck || failWithErrno(errno);
    }
    struct flock holder;
    bool looked = findOfdLock(fd, F_WRLCK, SEEK_SET, kShareReadRegion, kShareAreaLength, &holder);
    int error = errno;
    sys.close(fd);
    if (!looked) return failWithErrno(error);
    return holder.l_type == F_UNLCK || fail(win32error::kSharingViolation);
}

}  // namespace posix

using namespace posix;

Handle createFile(const char* path, uint32_t desiredAccess, uint32_t shareMode,
                  Disposition disposition) {
    Access access = accessFor(desiredAccess);
    Opened opened;
    if (!openForDisposition(path, access.flags, disposition, &opened)) return kInvalidHandle;
    // The host may have closed an earlier descriptor of this number itself.
    forgetDescriptor(opened.fd);
    if (!prepareHandle(opened, access, shareMode, disposition)) {
        uint32_t error = lastError();
        // A file this call created stays: another open may already hold it.
        closeLockDescription(opened.fd);
        closeReleasingLocks(opened.fd);
        setLastError(error);
        return kInvalidHandle;
    }
    if (isTracked(opened.fd)) {
        bool hasData = access.read || access.write;
        bool exclusive = hasData && (shareMode & (kFileShareRead | kFileShareWrite)) == 0;
        gFacts[opened.fd].store(kOpenedHere | (exclusive ? kSharingNothing : 0),
                                std::memory_order_relaxed);
    }
    return opened.fd;
}

bool closeHandle(Handle handle) {
    if (isNullHandle(handle)) return fail(win32error::kInvalidHandle);
    if (handle >= 0) forgetDescriptor(handle);
    if (closeReleasingLocks(handle) == 0) return true;
    // Linux has released the descriptor even when close reports EINTR.
    if (errno == EINTR) return true;
    return failWithErrno(errno);
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

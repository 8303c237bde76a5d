// CreateFileA, CloseHandle and FlushFileBuffers for POSIX, with Windows'
// share modes and read-only attribute. handles.h explains the design.
#include "platform/posix/handles.h"
#include "platform/posix/ofd_locks.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <initializer_list>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform {
namespace posix {
namespace {

// One byte per descriptor; zero-initialised, so only the pages of descriptor
// numbers actually used are ever touched.
std::atomic<uint8_t> gRights[kTrackedDescriptors];

bool isTrackable(int fd) { return fd >= 0 && fd < kTrackedDescriptors; }

uint8_t rightsFromAccess(uint32_t desiredAccess) {
    uint8_t rights = 0;
    if (desiredAccess & kGenericRead) rights |= kRightRead;
    if (desiredAccess & (kGenericWrite | kFileAppendData)) rights |= kRightWrite;
    return rights;
}

// Append-only access is O_APPEND: the kernel moves to the end and writes in
// one step under the file's lock, so appenders never overwrite each other.
int appendFlagFor(uint32_t desiredAccess) {
    bool appendOnly = (desiredAccess & kFileAppendData) && !(desiredAccess & kGenericWrite);
    return appendOnly ? O_APPEND : 0;
}

// The classes a share mode leaves to others, as rights bits.
uint8_t sharedClasses(uint32_t shareMode) {
    uint8_t shared = 0;
    if (shareMode & kFileShareRead) shared |= kRightRead;
    if (shareMode & kFileShareWrite) shared |= kRightWrite;
    return shared;
}

int accessFlagsFor(uint8_t rights) {
    switch (rights & (kRightRead | kRightWrite)) {
        case kRightWrite: return O_WRONLY;
        case kRightRead | kRightWrite: return O_RDWR;
        default: return O_RDONLY;
    }
}

// Handles are inheritable, so no O_CLOEXEC.
constexpr int kOpenFlags = O_NOCTTY;

// Opens the descriptor for a handle with `rights`. O_RDWR comes first, so the
// descriptor can take the write locks that share modes and byte-range locks
// need; when the file does not allow writing and the caller did not ask to
// write, the descriptor gets exactly the access asked for instead.
int openDescriptor(const char* path, int extraFlags, uint8_t rights, bool needsWrite,
                   bool* writable) {
    *writable = true;
    int fd = sys.open(path, O_RDWR | kOpenFlags | extraFlags, 0666);
    if (fd >= 0) {
        if (isTrackable(fd)) return fd;
        // Too high to record: reopen with exactly the access asked for, so the
        // kernel enforces the handle's rights.
        sys.close(fd);
        uint8_t needed = needsWrite ? uint8_t(rights | kRightWrite) : rights;
        *writable = (needed & kRightWrite) != 0;
        return sys.open(path, accessFlagsFor(needed) | kOpenFlags | (extraFlags & ~O_EXCL), 0666);
    }
    if (needsWrite) return -1;
    if (errno != EACCES && errno != EPERM && errno != EROFS && errno != ETXTBSY) return -1;
    *writable = false;
    return sys.open(path, O_RDONLY | kOpenFlags | extraFlags, 0666);
}

struct Opened {
    int fd = -1;
    bool created = false;
    bool writable = false;  // the descriptor can take write locks
};

// Opens according to the disposition without ever emptying a file: the
// caller truncates only after the share check. A missing file is created with
// O_EXCL, so "created" is certain and two creators cannot both believe it.
// When the name exists but the plain open finds nothing (a symbolic link to a
// missing file, or a file removed in between), O_CREAT without O_EXCL makes
// the file the name leads to; "created" then stays false, which costs only a
// read-only check and the truncation of an empty file.
bool openForDisposition(const char* path, uint8_t rights, int extraFlags,
                        Disposition disposition, Opened* opened) {
    bool needsWrite = (rights & kRightWrite) || disposition == Disposition::kCreateAlways;
    auto openWith = [&](int flags) {
        opened->fd = openDescriptor(path, extraFlags | flags, rights, needsWrite, &opened->writable);
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

// ---- Share-mode locks ---------------------------------------------------------

bool setLock(int fd, short type, off_t start, off_t length) {
    return setOfdLock(fd, type, start, length) == 0;
}

// Takes a write lock on one free byte of a region: a byte taken by another
// handle of the same role (a write lock) is skipped; a read lock over it is
// the opposite role, a sharing conflict.
bool takeSlot(int fd, off_t region, unsigned firstSlot) {
    for (off_t i = 0; i < kShareSlots; ++i) {
        off_t slot = region + (firstSlot + i) % kShareSlots;
        if (setLock(fd, F_WRLCK, slot, 1)) return true;
        if (!isOfdLockConflict(errno)) return failWithErrno(errno);
        if (conflictingOfdLock(fd, F_WRLCK, slot, 1) == F_RDLCK) {
            return fail(win32error::kSharingViolation);
        }
    }
    return fail(win32error::kSharingBufferExceeded);  // every byte is taken
}

// A descriptor that is not writable cannot take a slot; it can still refuse
// to open beside a handle of the opposite role that is already there.
bool checkSlot(int fd, off_t region) {
    if (conflictingOfdLock(fd, F_WRLCK, region, kShareSlots) == F_RDLCK) {
        return fail(win32error::kSharingViolation);
    }
    return true;
}

// Where a handle starts looking for a free byte: spread over processes and
// threads (by the address of a thread-local, which differs in both) and
// descriptors, so that handles rarely meet. No system call.
unsigned firstSlotFor(int fd) {
    thread_local char anchor;
    auto salt = reinterpret_cast<uintptr_t>(&anchor);
    return static_cast<unsigned>((salt >> 4) * 31u + static_cast<unsigned>(fd) * 7u);
}

// Publishes what a handle holds and denies, each step checking against what
// other handles published before it:
//   holding read    read lock over the read region
//   denying write   read lock over the write region
//   denying read    write lock on one byte of the read region
//   holding write   write lock on one byte of the write region
// The two read locks form one range, so the usual reader (holds read, shares
// read only) costs a single lock call. Read locks go first: a write lock on a
// byte the handle itself read-locked upgrades that byte.
bool publishShareMode(int fd, bool writable, uint8_t held, uint8_t denied) {
    bool holdsRead = held & kRightRead, deniesWrite = denied & kRightWrite;
    if (holdsRead || deniesWrite) {
        off_t start = holdsRead ? kShareReadRegion : kShareWriteRegion;
        off_t end = deniesWrite ? kShareAreaEnd : kShareWriteRegion;
        if (!setLock(fd, F_RDLCK, start, end - start)) {
            if (isOfdLockConflict(errno)) return fail(win32error::kSharingViolation);
            return failWithErrno(errno);
        }
    }
    if (denied & kRightRead) {
        bool ok = writable ? takeSlot(fd, kShareReadRegion, firstSlotFor(fd))
                           : checkSlot(fd, kShareReadRegion);
        if (!ok) return false;
    }
    if (held & kRightWrite) {
        // Holding write implies a writable descriptor.
        if (!takeSlot(fd, kShareWriteRegion, firstSlotFor(fd))) return false;
    }
    return true;
}

bool isReadOnlyFile(int fd, bool* readOnly) {
    struct stat status;
    if (sys.fstat(fd, &status) != 0) return failWithErrno(errno);
    *readOnly = S_ISREG(status.st_mode) && !(status.st_mode & S_IWUSR);
    return true;
}

// Everything after the descriptor is open; on failure the caller closes it,
// which drops every lock taken here.
bool prepareHandle(int fd, const Opened& opened, uint8_t rights, uint32_t shareMode,
                   Disposition disposition) {
    bool empties = disposition == Disposition::kCreateAlways && !opened.created;
    if (!opened.created && ((rights & kRightWrite) || empties)) {
        bool readOnly = false;
        if (!isReadOnlyFile(fd, &readOnly)) return false;
        // The read-only attribute holds for every user, root included.
        if (readOnly) return fail(win32error::kAccessDenied);
    }
    // Emptying a file counts as writing it, whatever access the handle keeps.
    uint8_t held = empties ? (rights | kRightWrite) : rights;
    // An open with no data access takes no part in sharing.
    uint8_t denied = rights != 0 ? uint8_t(~sharedClasses(shareMode) & (kRightRead | kRightWrite)) : 0;
    if ((held | denied) != 0 && !publishShareMode(fd, opened.writable, held, denied)) return false;
    if (empties && sys.ftruncate(fd, 0) != 0) return failWithErrno(errno);
    if (rights == 0 && held != 0) {
        setLock(fd, F_UNLCK, kShareReadRegion, kShareAreaEnd - kShareReadRegion);
    }
    return true;
}

}  // namespace

uint8_t handleRights(int fd) {
    return isTrackable(fd) ? gRights[fd].load(std::memory_order_relaxed) : 0;
}

bool isNullHandle(int fd) { return fd == 0 && !(handleRights(0) & kRightTracked); }

RemovalClaim::RemovalClaim(const char* path) {
    constexpr int kFlags = O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    fd_ = sys.open(path, O_RDWR | kFlags, 0);
    if (fd_ >= 0) {
        if (!setLock(fd_, F_WRLCK, kShareReadRegion, kShareAreaEnd - kShareReadRegion)) {
            conflict_ = isOfdLockConflict(errno);
        }
        return;
    }
    if (errno != EACCES && errno != EPERM && errno != EROFS && errno != ETXTBSY) return;
    // Not writable by this process: look, without keeping anything out.
    fd_ = sys.open(path, O_RDONLY | kFlags, 0);
    if (fd_ >= 0) {
        int holder = conflictingOfdLock(fd_, F_WRLCK, kShareReadRegion,
                                        kShareAreaEnd - kShareReadRegion);
        conflict_ = holder == F_RDLCK || holder == F_WRLCK;
    }
}

RemovalClaim::~RemovalClaim() {
    if (fd_ >= 0) sys.close(fd_);
}

}  // namespace posix

using namespace posix;

Handle createFile(const char* path, uint32_t desiredAccess, uint32_t shareMode,
                  Disposition disposition) {
    uint8_t rights = rightsFromAccess(desiredAccess);
    Opened opened;
    if (!openForDisposition(path, rights, appendFlagFor(desiredAccess), disposition, &opened)) {
        return kInvalidHandle;
    }
    if (!prepareHandle(opened.fd, opened, rights, shareMode, disposition)) {
        uint32_t error = lastError();
        // A file this call created stays: another open may already hold it.
        sys.close(opened.fd);
        setLastError(error);
        return kInvalidHandle;
    }
    if (isTrackable(opened.fd)) {
        gRights[opened.fd].store(kRightTracked | rights, std::memory_order_relaxed);
    }
    return opened.fd;
}

bool closeHandle(Handle handle) {
    if (isNullHandle(handle)) return fail(win32error::kInvalidHandle);
    // The lock record covers every descriptor, recorded rights or not.
    if (handle >= 0) forgetByteRangeLocks(handle);
    if (isTrackable(handle)) gRights[handle].store(0, std::memory_order_relaxed);
    if (sys.close(handle) == 0) return true;
    // Linux has released the descriptor even when close reports EINTR.
    if (errno == EINTR) return true;
    return failWithErrno(errno);
}

bool flushFileBuffers(Handle handle) {
    if (isNullHandle(handle)) return fail(win32error::kInvalidHandle);
    uint8_t rights = handleRights(handle);
    if ((rights & kRightTracked) && !(rights & kRightWrite)) {
        return fail(win32error::kAccessDenied);
    }
    if (sys.fsync(handle) == 0) return true;
    // Pipes, terminals and the like have nothing to write out.
    if (errno == EINVAL) return true;
    return failWithErrno(errno);
}

}  // namespace qorvel::platform

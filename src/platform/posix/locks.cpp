// GetVersionExA and the byte-range locks of POSIX, with Windows' rules.
//
// A Windows byte-range lock belongs to the handle, is exclusive, is never
// waited for, conflicts with every overlapping lock (one held through the
// same handle included), and is released by an unlock naming exactly its
// start and length, or with the handle. Linux open-file-description (OFD)
// locks give the first part: each handle is its own open file description,
// F_OFD_SETLK never waits, the locks conflict across handles and processes,
// and they vanish with the description. What OFD locks cannot say is kept
// in a record of the locks taken through each descriptor of this process:
// an OFD lock over a range the same description already holds silently
// merges with it, and an OFD unlock of any range succeeds.
//
// Zero-length locks. On Windows a lock of length 0 at X holds no byte, yet
// it is refused when a byte range [s, e) with s <= X < e is locked, and once
// held it refuses a later range only when s < X < e; zero-length locks never
// conflict with each other and stack. To express both rules as lock
// overlaps, every host byte b takes the two lock-space bytes 2b and 2b+1:
//   * a range [s, e) is a write lock on [2s, 2e - 1), so two ranges overlap
//     in the lock space exactly when they share a byte;
//   * a zero-length lock at X is a read lock on the single byte 2X - 1, which
//     a range covers only when s < X < e; read locks never conflict, so zero-
//     length locks stack; the byte 2X, covered by every range with
//     s <= X < e, is tested before the lock is taken.
// Host ranges end below 2^33, so their images stay below 2^34, and every range
// the lock calls accept stays below kLockCallSpaceEnd, clear of the share-mode
// regions (handles.h).
//
// A descriptor that cannot be written (a file that is read-only, or that the
// process may not write) cannot take an OFD write lock. It takes a read lock
// instead: that keeps out every handle that can write, but two handles that
// cannot write may lock the same range at once.
//
// The record lives in fixed static storage under one mutex: no heap memory.
// When it is full, a lock is refused with ERROR_SHARING_BUFFER_EXCEEDED (36).
#include <cerrno>
#include <mutex>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/handles.h"
#include "platform/posix/ofd_locks.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform {
namespace posix {
namespace {

constexpr uint32_t kLockTableFull = win32error::kSharingBufferExceeded;

// Ranges end at most here (2^39), so that 2 * end stays within the lock calls'
// part of the lock space. The exported calls never come near: their ranges
// end below 2^33.
constexpr uint64_t kLockableEnd = uint64_t(kLockCallSpaceEnd) / 2;
static_assert(2 * (2 * 0xFFFFFFFFull) < uint64_t(kLockCallSpaceEnd),
              "host byte-range locks must fit the lock calls' part of the lock space");

struct HeldLock {
    int fd;
    uint64_t start;
    uint64_t length;
    uint32_t count;  // zero-length locks at one offset stack
};

constexpr size_t kMaxHeldLocks = 4096;

std::mutex gHeldMutex;
HeldLock gHeld[kMaxHeldLocks];
size_t gHeldCount = 0;

// Whether a lock already held through the same handle refuses a new one
// (Windows' rules, zero-length locks included).
bool refuses(const HeldLock& held, uint64_t start, uint64_t length) {
    uint64_t end = start + length;
    uint64_t heldEnd = held.start + held.length;
    if (held.length == 0) return length != 0 && start < held.start && held.start < end;
    if (length == 0) return held.start <= start && start < heldEnd;
    return start < heldEnd && held.start < end;
}

HeldLock* findExact(int fd, uint64_t start, uint64_t length) {
    for (size_t i = 0; i < gHeldCount; ++i) {
        HeldLock& held = gHeld[i];
        if (held.fd == fd && held.start == start && held.length == length) return &held;
    }
    return nullptr;
}

bool refusedBySameHandle(int fd, uint64_t start, uint64_t length) {
    for (size_t i = 0; i < gHeldCount; ++i) {
        if (gHeld[i].fd == fd && refuses(gHeld[i], start, length)) return true;
    }
    return false;
}

void removeHeld(HeldLock* held) { *held = gHeld[--gHeldCount]; }

int setLock(int fd, short type, off_t start, off_t length) {
    return setOfdLock(fd, type, start, length);
}

bool failLock(int error) {
    if (isOfdLockConflict(error)) return fail(win32error::kLockViolation);
    return failWithErrno(error);
}

// An exclusive lock, or a shared one where the descriptor cannot be written.
bool lockSpace(int fd, off_t start, off_t length, short preferred) {
    if (setLock(fd, preferred, start, length) == 0) return true;
    if (errno == EBADF && preferred == F_WRLCK && setLock(fd, F_RDLCK, start, length) == 0) {
        return true;
    }
    return failLock(errno);
}

// Whether another handle's lock covers the lock-space byte `at`.
bool coveredElsewhere(int fd, off_t at, bool* covered) {
    int holder = conflictingOfdLock(fd, F_RDLCK, at, 1);  // finds write locks, which every range is
    if (holder < 0) return failWithErrno(errno);
    *covered = holder != F_UNLCK;
    return true;
}

bool lockZeroLength(int fd, uint64_t at) {
    bool covered = false;
    if (!coveredElsewhere(fd, off_t(2 * at), &covered)) return false;
    if (covered) return fail(win32error::kLockViolation);
    if (HeldLock* stacked = findExact(fd, at, 0)) {
        ++stacked->count;
        return true;
    }
    if (gHeldCount == kMaxHeldLocks) return fail(kLockTableFull);
    // Nothing can lie strictly inside a range around offset 0: no lock needed.
    if (at > 0 && !lockSpace(fd, off_t(2 * at - 1), 1, F_RDLCK)) return false;
    gHeld[gHeldCount++] = {fd, at, 0, 1};
    return true;
}

bool lockRange(int fd, uint64_t start, uint64_t length) {
    if (gHeldCount == kMaxHeldLocks) return fail(kLockTableFull);
    if (!lockSpace(fd, off_t(2 * start), off_t(2 * length - 1), F_WRLCK)) return false;
    gHeld[gHeldCount++] = {fd, start, length, 1};
    return true;
}

bool isOpen(int fd) { return sys.fcntlInt(fd, F_GETFD, 0) != -1; }

bool isLockable(uint64_t start, uint64_t length) {
    return start < kLockableEnd && length <= kLockableEnd - start;
}

bool lock(int fd, uint64_t start, uint64_t length) {
    if (isNullHandle(fd)) return fail(win32error::kInvalidHandle);
    if (!isLockable(start, length)) return fail(win32error::kInvalidParameter);
    std::lock_guard<std::mutex> guard(gHeldMutex);
    if (refusedBySameHandle(fd, start, length)) {
        // Windows checks the handle first: a closed one answers 6.
        return isOpen(fd) ? fail(win32error::kLockViolation) : failWithErrno(EBADF);
    }
    return length == 0 ? lockZeroLength(fd, start) : lockRange(fd, start, length);
}

bool unlock(int fd, uint64_t start, uint64_t length) {
    if (isNullHandle(fd)) return fail(win32error::kInvalidHandle);
    std::lock_guard<std::mutex> guard(gHeldMutex);
    HeldLock* held = findExact(fd, start, length);
    if (held == nullptr) {
        return isOpen(fd) ? fail(win32error::kNotLocked) : failWithErrno(EBADF);
    }
    if (length == 0 && --held->count > 0) return true;
    removeHeld(held);
    if (length == 0 && start == 0) return true;
    off_t from = length == 0 ? off_t(2 * start - 1) : off_t(2 * start);
    off_t span = length == 0 ? 1 : off_t(2 * length - 1);
    // The record is gone either way: a descriptor that fails here (closed
    // behind the library's back) holds no lock any more.
    if (setLock(fd, F_UNLCK, from, span) != 0) return failWithErrno(errno);
    return true;
}

}  // namespace

void forgetByteRangeLocks(int fd) {
    std::lock_guard<std::mutex> guard(gHeldMutex);
    for (size_t i = 0; i < gHeldCount;) {
        if (gHeld[i].fd == fd) {
            removeHeld(&gHeld[i]);
        } else {
            ++i;
        }
    }
}

}  // namespace posix

using namespace posix;

// Linux carries out the calls of the NT family.
bool getVersionEx(uint32_t* platformId) {
    *platformId = kPlatformWin32Nt;
    return true;
}

// Only exclusive locks that fail at once are carried out: the library asks
// for nothing else.
bool lockFileEx(Handle handle, uint32_t flags, uint64_t start, uint64_t length) {
    constexpr uint32_t kExclusiveNoWait = kLockfileExclusiveLock | kLockfileFailImmediately;
    if ((flags & kExclusiveNoWait) != kExclusiveNoWait) return fail(win32error::kNotSupported);
    return posix::lock(handle, start, length);
}

bool unlockFileEx(Handle handle, uint64_t start, uint64_t length) {
    return posix::unlock(handle, start, length);
}

// LockFile grants only exclusive locks and never waits.
bool lockFile(Handle handle, uint64_t start, uint64_t length) {
    return posix::lock(handle, start, length);
}

bool unlockFile(Handle handle, uint64_t start, uint64_t length) {
    return posix::unlock(handle, start, length);
}

}  // namespace qorvel::platform

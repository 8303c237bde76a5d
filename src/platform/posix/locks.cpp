// GetVersionExA and the byte-range locks of POSIX, with Windows' rules.
//
// A Windows byte-range lock belongs to the handle, is exclusive, is never
// waited for, conflicts with every overlapping lock (one held through the
// same handle included), and is released by an unlock naming exactly its
// start and length, or with the handle. Linux open-file-description (OFD)
// locks give the first part: each handle is its own open file description,
// F_OFD_SETLK never waits, the locks conflict across handles and processes,
// and they vanish with the description. What OFD locks cannot say comes from
// the registry (registry.h), which records the locks taken through each
// descriptor: an OFD lock over a range the same description already holds
// silently merges with it, and an OFD unlock of any range succeeds.
//
// A range [s, e) is an OFD write lock on the same bytes [s, e) of the lock
// space (lock_space.h), so that a transfer can ask the kernel about its own
// bytes relative to where it stands (SEEK_CUR) or to the end of the file
// (SEEK_END) in one F_OFD_GETLK, and other programs see it where it is.
//
// A descriptor that cannot be written (a read handle) cannot take an OFD
// write lock. It takes a read lock, marks it (a read lock at kReadLockMarks +
// s, so that transfers can tell it from another program's read lock) and
// then looks for any other lock over the range: the read lock keeps out every
// handle that would write-lock the range later, the look finds every handle
// that locked it before. Two read handles that lock one range at the same
// instant may both be refused; never are both granted.
//
// Zero-length locks. On Windows a lock of length 0 at X holds no byte, yet
// it is refused when a byte range [s, e) with s <= X < e is locked, and once
// held it refuses a later range only when s < X < e; zero-length locks never
// conflict with each other and stack. A zero-length lock at X is a mark in
// the zero-length region (lock_space.h): a read lock on lane 0 of X, which
// every readable handle shares (read locks never conflict, so they stack), or,
// for a handle that cannot read, a write lock on a free lane of X of its own.
// It is taken before a look that no range of another handle covers byte X. A
// range, once taken, looks for zero-length locks of other handles strictly
// inside it. Each publishes before it looks, so of a range and a zero-length
// lock taken at the same instant in two processes at least one sees the
// other: both may be refused, never both granted. Transfers never see
// zero-length locks.
//
// A handle without data access takes no lock (5), as on Windows.
#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/handles.h"
#include "platform/posix/lock_space.h"
#include "platform/posix/locks.h"
#include "platform/posix/ofd_locks.h"
#include "platform/posix/registry.h"
#include "platform/posix/shared_file_system.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform {
namespace posix {
namespace {

// Whether a lock already held through the same handle refuses a new one
// (Windows' rules, zero-length locks included).
bool refuses(const HeldLock& held, uint64_t start, uint64_t length) {
    uint64_t end = start + length;
    uint64_t heldEnd = held.start + held.length;
    if (held.length == 0) return length != 0 && start < held.start && held.start < end;
    if (length == 0) return held.start <= start && start < heldEnd;
    return start < heldEnd && held.start < end;
}

bool isOpen(int fd) { return sys.fcntlInt(fd, F_GETFD, 0) != -1; }

// A description open for neither reading nor writing can take no OFD lock:
// EBADF, as for a closed descriptor.
uint32_t lockError(int fd, int error) {
    if (isOfdLockConflict(error)) return win32error::kLockViolation;
    if (error == EBADF && isOpen(fd)) return win32error::kAccessDenied;
    return win32ErrorFromErrno(error);
}

// Whether another description holds a lock over [start, start + length)
// that lies within [from, to): 0 when none does, 33 when one does.
uint32_t lockWithin(int fd, off_t start, off_t length, off_t from, off_t to) {
    struct flock holder;
    if (!findOfdLock(fd, F_WRLCK, SEEK_SET, start, length, &holder)) {
        return win32ErrorFromErrno(errno);
    }
    bool found = holder.l_type != F_UNLCK && liesWithin(holder, from, to);
    return found ? win32error::kLockViolation : 0;
}

// Whether another description holds any lock over the bytes.
uint32_t anyLockOver(int fd, off_t start, off_t length) {
    return lockWithin(fd, start, length, 0, kShareAreaEnd + 1);
}

// Gives up what was just taken because of what was found afterwards.
uint32_t withdraw(int fd, off_t start, off_t length, uint32_t error) {
    setOfdLock(fd, F_UNLCK, start, length);
    return error;
}

// Whether the descriptor can take read locks: a descriptor the library
// opened says so; another is asked by trying.
bool mayTakeReadLocks(int fd) {
    uint8_t facts = factsOf(fd);
    return !(facts & kOpenedHere) || (facts & kReadable);
}

// A write lock on a lane of its own, for a handle that cannot read. A lane
// taken by another such handle holds a one-byte lock inside the zero-length
// region; anything else in the way is another program's lock.
uint32_t takeWriteLane(int fd, uint64_t at, unsigned* lane) {
    unsigned first = static_cast<unsigned>(fd) * 7u;
    for (unsigned i = 0; i + 1 < unsigned(kZeroLengthLanes); ++i) {
        *lane = 1 + (first + i) % unsigned(kZeroLengthLanes - 1);
        off_t mark = zeroLengthMark(at, *lane);
        if (setOfdLock(fd, F_WRLCK, mark, 1) == 0) return 0;
        if (!isOfdLockConflict(errno)) return lockError(fd, errno);
        uint32_t taken = lockWithin(fd, mark, 1, kZeroLengthRegion, kZeroLengthRegionEnd);
        if (taken == 0) return win32error::kLockViolation;
    }
    return win32error::kSharingBufferExceeded;
}

uint32_t takeZeroLengthMark(int fd, uint64_t at, unsigned* lane) {
    *lane = 0;
    if (mayTakeReadLocks(fd)) {
        if (setOfdLock(fd, F_RDLCK, zeroLengthMark(at, 0), 1) == 0) return 0;
        if (errno != EBADF || !isOpen(fd)) return lockError(fd, errno);
    }
    return takeWriteLane(fd, at, lane);
}

uint32_t lockZeroLength(HeldLocks& held, int fd, uint64_t at) {
    if (HeldLock* stacked = held.find(fd, at, 0)) {
        uint32_t error = anyLockOver(fd, off_t(at), 1);
        if (error == 0) ++stacked->count;
        return error;
    }
    if (held.full()) return win32error::kSharingBufferExceeded;
    // Nothing can lie strictly inside a range around offset 0: no mark needed.
    unsigned lane = 0;
    if (at > 0) {
        uint32_t error = takeZeroLengthMark(fd, at, &lane);
        if (error != 0) return error;
    }
    uint32_t error = anyLockOver(fd, off_t(at), 1);
    if (error != 0) return at > 0 ? withdraw(fd, zeroLengthMark(at, lane), 1, error) : error;
    held.add({fd, at, 0, 1, false, lane});
    return 0;
}

// A zero-length lock of another handle strictly inside [start, start + length).
uint32_t zeroLengthInside(int fd, uint64_t start, uint64_t length) {
    if (length < 2) return 0;
    off_t first = zeroLengthMark(start + 1, 0);
    return lockWithin(fd, first, zeroLengthMark(start + length, 0) - first, kZeroLengthRegion,
                      kZeroLengthRegionEnd);
}

// A read handle's exclusive lock: a read lock, its mark, a look for every
// other lock over the range.
uint32_t lockReadOnly(int fd, off_t start, off_t length) {
    if (setOfdLock(fd, F_RDLCK, start, length) != 0) return lockError(fd, errno);
    if (setOfdLock(fd, F_RDLCK, kReadLockMarks + start, length) != 0) {
        return withdraw(fd, start, length, lockError(fd, errno));
    }
    uint32_t error = anyLockOver(fd, start, length);
    if (error != 0) {
        setOfdLock(fd, F_UNLCK, kReadLockMarks + start, length);
        return withdraw(fd, start, length, error);
    }
    return 0;
}

// Gives up a range just taken.
void unlockRange(int fd, off_t start, off_t length, bool marked) {
    setOfdLock(fd, F_UNLCK, start, length);
    if (marked) setOfdLock(fd, F_UNLCK, kReadLockMarks + start, length);
}

uint32_t lockRange(HeldLocks& held, int fd, uint64_t start, uint64_t length) {
    if (held.full()) return win32error::kSharingBufferExceeded;
    auto from = off_t(start);
    auto span = off_t(length);
    // A descriptor the library opened says whether it may write; another is
    // asked by trying.
    uint8_t facts = factsOf(fd);
    bool readOnly = (facts & kOpenedHere) && !(facts & kWritable);
    if (!readOnly && setOfdLock(fd, F_WRLCK, from, span) != 0) {
        if (errno != EBADF || !isOpen(fd)) return lockError(fd, errno);
        readOnly = true;
    }
    if (readOnly) {
        uint32_t error = lockReadOnly(fd, from, span);
        if (error != 0) return error;
    }
    uint32_t error = zeroLengthInside(fd, start, length);
    if (error == 0 && (facts & kOnSharedFileSystem)) error = refreshLockedRange(fd, start, length);
    if (error != 0) {
        unlockRange(fd, from, span, readOnly);
        return error;
    }
    held.add({fd, start, length, 1, readOnly, 0});
    return 0;
}

bool isLockable(uint64_t start, uint64_t length) {
    return start < kHostLockRangeEnd && length <= kHostLockRangeEnd - start;
}

// A handle the library opened without data access.
bool withoutDataAccess(int fd) {
    uint8_t facts = factsOf(fd);
    return (facts & kOpenedHere) && !(facts & kHasDataAccess);
}

bool lock(int fd, uint64_t start, uint64_t length) {
    if (isNullHandle(fd)) return fail(win32error::kInvalidHandle);
    if (!isLockable(start, length)) return fail(win32error::kInvalidParameter);
    if (withoutDataAccess(fd)) return fail(win32error::kAccessDenied);
    HeldLocks held;
    auto sameHandleRefuses = [&](const HeldLock& lock) { return refuses(lock, start, length); };
    if (held.any(fd, sameHandleRefuses)) return fail(win32error::kLockViolation);
    uint32_t error =
        length == 0 ? lockZeroLength(held, fd, start) : lockRange(held, fd, start, length);
    return error == 0 || fail(error);
}

// The OFD locks of a recorded lock go before its record, so that an unlock
// the kernel refuses leaves the lock held and recorded.
uint32_t releaseLocks(const HeldLock& lock) {
    if (lock.length == 0) {
        if (lock.start == 0 || lock.count > 1) return 0;
        off_t mark = zeroLengthMark(lock.start, lock.lane);
        return setOfdLock(lock.fd, F_UNLCK, mark, 1) == 0 ? 0 : win32ErrorFromErrno(errno);
    }
    auto from = off_t(lock.start);
    auto span = off_t(lock.length);
    if (lock.marked && setOfdLock(lock.fd, F_UNLCK, kReadLockMarks + from, span) != 0) {
        return win32ErrorFromErrno(errno);
    }
    return setOfdLock(lock.fd, F_UNLCK, from, span) == 0 ? 0 : win32ErrorFromErrno(errno);
}

bool unlock(int fd, uint64_t start, uint64_t length) {
    if (isNullHandle(fd)) return fail(win32error::kInvalidHandle);
    if (withoutDataAccess(fd)) return fail(win32error::kAccessDenied);
    // What the lock protected reaches the server before another machine can
    // lock it (shared_file_system.h); the lock stays when it cannot.
    if (length != 0 && (factsOf(fd) & kOnSharedFileSystem)) {
        if (uint32_t error = pushWrites(fd); error != 0) return fail(error);
    }
    HeldLocks held;
    HeldLock* lock = held.find(fd, start, length);
    if (lock == nullptr) {
        return isOpen(fd) ? fail(win32error::kNotLocked) : failWithErrno(EBADF);
    }
    uint32_t error = releaseLocks(*lock);
    if (error != 0) return fail(error);
    if (length == 0 && --lock->count > 0) return true;
    held.remove(lock);
    return true;
}

// Whether the next `count` bytes from the handle's position lie inside a
// range it holds locked. A handle that holds none is not asked its position.
bool insideOwnLock(int fd, uint32_t count) {
    if (!mayHoldLocks(fd)) return false;
    off_t position = sys.lseek(fd, 0, SEEK_CUR);
    return position >= 0 && insideHeldLock(fd, uint64_t(position), count);
}

}  // namespace

// Windows' byte-range locks are mandatory: a transfer through one handle of
// bytes that another handle has locked is refused whole. One lock query
// through the handle's own description (which never shows its own locks)
// asks about the bytes from where it stands, or from the end of the file
// (`whence`). A write lock on those bytes is a lock; a read lock, or a lock
// reaching beyond the host's ranges (another program's lock over the whole
// file), counts only when a read handle's mark lies beside it: another
// program's read lock binds nothing, and its write lock over the whole file
// leaves room for no lock of the library. A handle that shares nothing has no
// other handle to meet. A descriptor the kernel cannot ask (not open, or open
// for no data) is left to the transfer, which answers for it.
//
// On a shared file system the query is a round trip to the file server. A
// transfer inside a range the handle itself holds locked needs none (locks
// are exclusive, so no other handle can hold those bytes), and learning that
// costs one lseek the kernel answers itself. On a local file system the query
// is as cheap as that lseek, so it is simply made.
uint32_t lockedByOthers(int fd, int whence, uint32_t count) {
    uint8_t facts = factsOf(fd);
    if (count == 0 || (facts & kSharesNothing)) return 0;
    if ((facts & kOnSharedFileSystem) && whence == SEEK_CUR && insideOwnLock(fd, count)) return 0;
    struct flock holder;
    if (!findOfdLock(fd, F_WRLCK, whence, 0, off_t(count), &holder)) {
        return errno == EBADF || errno == EINVAL ? 0 : win32ErrorFromErrno(errno);
    }
    if (holder.l_type == F_UNLCK) return 0;
    if (holder.l_type == F_WRLCK && liesWithin(holder, 0, kHostRangeEnd)) {
        return win32error::kLockViolation;
    }
    if (!findOfdLock(fd, F_WRLCK, whence, kReadLockMarks, off_t(count), &holder)) {
        return win32ErrorFromErrno(errno);
    }
    bool marked = holder.l_type != F_UNLCK &&
                  liesWithin(holder, kReadLockMarks, kReadLockMarks + kHostRangeEnd);
    return marked ? win32error::kLockViolation : 0;
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

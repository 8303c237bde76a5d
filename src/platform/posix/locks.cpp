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
// A descriptor that cannot be written (a read handle) cannot take an OFD
// write lock. It takes a read lock and then looks for any other lock over
// the range: the read lock keeps out every handle that would write-lock the
// range later, the look finds every handle that locked it before. Two read
// handles that lock one range at the same instant may both be refused; never
// are both granted.
//
// Locks bind transfers (io.cpp): a read or write through one handle of bytes
// that another handle has locked is refused with ERROR_LOCK_VIOLATION, as on
// Windows. The kernel answers that in one F_OFD_GETLK through the
// transferring handle's own description, which never sees its own locks;
// zero-length locks (read locks on odd lock-space bytes) hold no byte and are
// looked past.
//
// The record is the library's memory of a descriptor number. When the host
// closes a handle itself and the number comes back for another description,
// the record must not speak for it: the first lock recorded for a
// description marks the description itself (F_SETSIG, an attribute of the
// open file description that only signal-driven I/O reads), and a record
// that would change an answer is believed only while the description still
// carries the mark. The library's own opens clear the record of the number
// they get.
//
// The record lives in fixed static storage under one mutex: no heap memory.
// When it is full, a lock is refused with ERROR_SHARING_BUFFER_EXCEEDED (36).
#include <csignal>
#include <cerrno>
#include <csignal>
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
    int holder;      // the description that holds it: fd, or its lock description
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

bool hasRecord(int fd) {
    for (size_t i = 0; i < gHeldCount; ++i) {
        if (gHeld[i].fd == fd) return true;
    }
    return false;
}

void forgetRecords(int fd) {
    for (size_t i = 0; i < gHeldCount;) {
        if (gHeld[i].fd == fd) {
            removeHeld(&gHeld[i]);
        } else {
            ++i;
        }
    }
}

// The mark a description carries while the record speaks for it.
constexpr int kRecordMark = SIGIO;

bool isOpen(int fd) { return sys.fcntlInt(fd, F_GETFD, 0) != -1; }

// An O_PATH descriptor (a handle without data access on a file the process
// may neither read nor write) takes no mark; its record is believed.
bool markDescription(int fd) {
    if (sys.fcntlInt(fd, F_SETSIG, kRecordMark) == 0) return true;
    return (errno == EBADF && isOpen(fd)) || failWithErrno(errno);
}

bool recordSpeaksFor(int fd) {
    int mark = sys.fcntlInt(fd, F_GETSIG, 0);
    if (mark < 0) return errno == EBADF && isOpen(fd);
    return mark == kRecordMark;
}

// A description open for neither reading nor writing (a handle without data
// access) can take no OFD lock at all: EBADF, as for a closed descriptor.
bool failLock(int fd, int error) {
    if (isOfdLockConflict(error)) return fail(win32error::kLockViolation);
    if (error == EBADF && isOpen(fd)) return fail(win32error::kAccessDenied);
    return failWithErrno(error);
}

// Whether another description holds any lock over [start, start + length).
bool anyOtherLock(int fd, off_t start, off_t length, bool* found) {
    struct flock holder;
    if (!findOfdLock(fd, F_WRLCK, start, length, &holder)) return failWithErrno(errno);
    *found = holder.l_type != F_UNLCK;
    return true;
}

// A read handle's exclusive lock: a read lock, then a look for every other
// lock over the range (the header explains why that is exclusive).
bool lockReadOnly(int fd, off_t start, off_t length) {
    if (setOfdLock(fd, F_RDLCK, start, length) != 0) return failLock(fd, errno);
    bool shared = false;
    bool looked = anyOtherLock(fd, start, length, &shared);
    if (looked && !shared) return true;
    uint32_t error = looked ? win32error::kLockViolation : lastError();
    setOfdLock(fd, F_UNLCK, start, length);
    return fail(error);
}

bool lockThrough(int fd, off_t start, off_t length, short type) {
    if (setOfdLock(fd, type, start, length) == 0) return true;
    if (errno == EBADF && type == F_WRLCK) return lockReadOnly(fd, start, length);
    return failLock(fd, errno);
}

// Locks through the handle's own description, or, for a handle without data
// access, through its lock description; *holder says which.
bool lockSpace(int fd, off_t start, off_t length, short type, int* holder) {
    *holder = fd;
    if (lockThrough(fd, start, length, type)) return true;
    if (lastError() != win32error::kAccessDenied) return false;
    *holder = lockDescriptionOf(fd);
    return *holder >= 0 && lockThrough(*holder, start, length, type);
}

// The first lock recorded for a description marks it (the header says why).
bool record(int fd, uint64_t start, uint64_t length, int holder) {
    if (!hasRecord(fd) && !markDescription(fd)) return false;
    gHeld[gHeldCount++] = {fd, start, length, 1, holder};
    return true;
}

bool lockZeroLength(int fd, uint64_t at) {
    bool covered = false;
    // Ranges cover even lock-space bytes; zero-length locks only odd ones.
    if (!anyOtherLock(fd, off_t(2 * at), 1, &covered)) return false;
    if (covered) return fail(win32error::kLockViolation);
    if (HeldLock* stacked = findExact(fd, at, 0)) {
        ++stacked->count;
        return true;
    }
    if (gHeldCount == kMaxHeldLocks) return fail(kLockTableFull);
    // Nothing can lie strictly inside a range around offset 0: no lock needed.
    int holder = fd;
    if (at > 0 && !lockSpace(fd, off_t(2 * at - 1), 1, F_RDLCK, &holder)) return false;
    if (record(fd, at, 0, holder)) return true;
    uint32_t error = lastError();
    if (at > 0) setOfdLock(holder, F_UNLCK, off_t(2 * at - 1), 1);
    return fail(error);
}

bool lockRange(int fd, uint64_t start, uint64_t length) {
    if (gHeldCount == kMaxHeldLocks) return fail(kLockTableFull);
    off_t from = off_t(2 * start), span = off_t(2 * length - 1);
    int holder = fd;
    if (!lockSpace(fd, from, span, F_WRLCK, &holder)) return false;
    if (record(fd, start, length, holder)) return true;
    uint32_t error = lastError();
    setOfdLock(holder, F_UNLCK, from, span);
    return fail(error);
}

bool isLockable(uint64_t start, uint64_t length) {
    return start < kLockableEnd && length <= kLockableEnd - start;
}

// A record of this number that no longer speaks for its description goes.
bool refusedBySameDescription(int fd, uint64_t start, uint64_t length) {
    if (!refusedBySameHandle(fd, start, length)) return false;
    if (recordSpeaksFor(fd)) return true;
    forgetRecords(fd);
    return false;
}

bool lock(int fd, uint64_t start, uint64_t length) {
    if (isNullHandle(fd)) return fail(win32error::kInvalidHandle);
    if (!isLockable(start, length)) return fail(win32error::kInvalidParameter);
    std::lock_guard<std::mutex> guard(gHeldMutex);
    if (refusedBySameDescription(fd, start, length)) return fail(win32error::kLockViolation);
    return length == 0 ? lockZeroLength(fd, start) : lockRange(fd, start, length);
}

bool unlock(int fd, uint64_t start, uint64_t length) {
    if (isNullHandle(fd)) return fail(win32error::kInvalidHandle);
    std::lock_guard<std::mutex> guard(gHeldMutex);
    HeldLock* held = findExact(fd, start, length);
    if (held != nullptr && !recordSpeaksFor(fd)) {
        forgetRecords(fd);
        held = nullptr;
    }
    if (held == nullptr) {
        return isOpen(fd) ? fail(win32error::kNotLocked) : failWithErrno(EBADF);
    }
    if (length == 0 && --held->count > 0) return true;
    int holder = held->holder;
    removeHeld(held);
    if (length == 0 && start == 0) return true;
    off_t from = length == 0 ? off_t(2 * start - 1) : off_t(2 * start);
    off_t span = length == 0 ? 1 : off_t(2 * length - 1);
    if (setOfdLock(holder, F_UNLCK, from, span) != 0) return failWithErrno(errno);
    return true;
}

// The first lock of another description over the image [from, to) of a
// transfer that holds an even lock-space byte (a host byte); zero-length
// locks, on odd bytes only, are looked past.
bool findByteLockedElsewhere(int fd, off_t from, off_t to, int depth, bool* locked) {
    *locked = false;
    if (from >= to) return true;
    struct flock holder;
    if (!findOfdLock(fd, F_WRLCK, from, to - from, &holder)) return failWithErrno(errno);
    if (holder.l_type == F_UNLCK) return true;
    off_t first = holder.l_start > from ? holder.l_start : from;
    off_t end = holder.l_len == 0 ? to : holder.l_start + holder.l_len;
    if (end > to) end = to;
    bool holdsAByte = end - first >= 2 || first % 2 == 0;
    // Zero-length locks are rare; a transfer that meets too many is refused.
    if (holdsAByte || depth > 64) {
        *locked = true;
        return true;
    }
    if (!findByteLockedElsewhere(fd, from, first, depth + 1, locked)) return false;
    if (*locked) return true;
    return findByteLockedElsewhere(fd, end, to, depth + 1, locked);
}

}  // namespace

void forgetByteRangeLocks(int fd) {
    std::lock_guard<std::mutex> guard(gHeldMutex);
    forgetRecords(fd);
}

bool lockedElsewhere(int fd, uint64_t start, uint64_t count, bool* locked) {
    *locked = false;
    if (count == 0 || start >= kLockableEnd) return true;
    uint64_t end = count > kLockableEnd - start ? kLockableEnd : start + count;
    return findByteLockedElsewhere(fd, off_t(2 * start), off_t(2 * end - 1), 0, locked);
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

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
// A range [s, e) is an OFD lock on the same bytes [s, e) of the lock space,
// so that a transfer can ask the kernel about its own bytes relative to
// where it stands (SEEK_CUR) or to the end of the file (SEEK_END) in one
// F_OFD_GETLK, without first asking where that is.
//
// Zero-length locks. On Windows a lock of length 0 at X holds no byte, yet
// it is refused when a byte range [s, e) with s <= X < e is locked, and once
// held it refuses a later range only when s < X < e; zero-length locks never
// conflict with each other and stack. A zero-length lock at X is a read
// lock on byte kZeroLengthRegion + X, far from the ranges (read locks never
// conflict, so they stack), after a look that no range of another handle
// covers byte X. A range, once taken, looks for zero-length locks of other
// handles strictly inside it (kZeroLengthRegion + [s + 1, e)) and gives
// itself up when it finds one. Transfers never see zero-length locks.
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
// transferring handle's own description, which never sees its own locks.
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

// Ranges end at most here, below the zero-length locks' region. The exported
// calls never come near: their ranges end below kHostLockRangeEnd.
constexpr uint64_t kLockableEnd = uint64_t(kZeroLengthRegion);
static_assert(kHostLockRangeEnd <= kLockableEnd,
              "host byte-range locks must fit below the zero-length locks");
static_assert(kZeroLengthRegion + off_t(kLockableEnd) <= kLockCallSpaceEnd,
              "zero-length locks must stay clear of the share-mode regions");

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

// ---- The mark of the description a record speaks for -------------------------

constexpr int kRecordMark = SIGIO;

bool isOpen(int fd) { return sys.fcntlInt(fd, F_GETFD, 0) != -1; }

bool isPathOnly(int fd) {
    int flags = sys.fcntlInt(fd, F_GETFL, 0);
    return flags != -1 && (flags & O_PATH) != 0;
}

// An O_PATH descriptor (a handle without data access on a file the process
// may neither read nor write) takes no mark; its record is believed.
bool markDescription(int fd) {
    if (sys.fcntlInt(fd, F_SETSIG, kRecordMark) == 0) return true;
    int error = errno;
    return (error == EBADF && isPathOnly(fd)) || failWithErrno(error);
}

// Whether the record of `fd` speaks for the description it now names.
// Answers false with lastError() set when that cannot be asked.
bool askRecordSpeaksFor(int fd, bool* speaks) {
    int mark = sys.fcntlInt(fd, F_GETSIG, 0);
    *speaks = mark == kRecordMark;
    if (mark >= 0) return true;
    int error = errno;
    *speaks = error == EBADF && isPathOnly(fd);
    return *speaks || failWithErrno(error);
}

// The first lock recorded for a description marks it.
bool record(int fd, uint64_t start, uint64_t length, int holder) {
    if (!hasRecord(fd) && !markDescription(fd)) return false;
    gHeld[gHeldCount++] = {fd, start, length, 1, holder};
    return true;
}

// ---- Taking locks ---------------------------------------------------------------

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
    if (!findOfdLock(fd, F_WRLCK, SEEK_SET, start, length, &holder)) return failWithErrno(errno);
    *found = holder.l_type != F_UNLCK;
    return true;
}

// Gives up a lock just taken because of what the caller found afterwards.
bool withdraw(int fd, off_t start, off_t length, uint32_t error) {
    setOfdLock(fd, F_UNLCK, start, length);
    return fail(error);
}

// A read handle's exclusive lock: a read lock, then a look for every other
// lock over the range (the header explains why that is exclusive).
bool lockReadOnly(int fd, off_t start, off_t length) {
    if (setOfdLock(fd, F_RDLCK, start, length) != 0) return failLock(fd, errno);
    bool shared = false;
    if (!anyOtherLock(fd, start, length, &shared)) return withdraw(fd, start, length, lastError());
    return !shared || withdraw(fd, start, length, win32error::kLockViolation);
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

bool lockZeroLength(int fd, uint64_t at) {
    bool covered = false;
    if (!anyOtherLock(fd, off_t(at), 1, &covered)) return false;
    if (covered) return fail(win32error::kLockViolation);
    if (HeldLock* stacked = findExact(fd, at, 0)) {
        ++stacked->count;
        return true;
    }
    if (gHeldCount == kMaxHeldLocks) return fail(kLockTableFull);
    // Nothing can lie strictly inside a range around offset 0: no lock needed.
    int holder = fd;
    off_t marker = kZeroLengthRegion + off_t(at);
    if (at > 0 && !lockSpace(fd, marker, 1, F_RDLCK, &holder)) return false;
    if (record(fd, at, 0, holder)) return true;
    return at == 0 ? false : withdraw(holder, marker, 1, lastError());
}

bool lockRange(int fd, uint64_t start, uint64_t length) {
    if (gHeldCount == kMaxHeldLocks) return fail(kLockTableFull);
    int holder = fd;
    if (!lockSpace(fd, off_t(start), off_t(length), F_WRLCK, &holder)) return false;
    // A zero-length lock of another handle strictly inside refuses the range.
    bool zeroLengthInside = false;
    if (length > 1 && !anyOtherLock(holder, kZeroLengthRegion + off_t(start + 1), off_t(length - 1),
                                    &zeroLengthInside)) {
        return withdraw(holder, off_t(start), off_t(length), lastError());
    }
    if (zeroLengthInside) {
        return withdraw(holder, off_t(start), off_t(length), win32error::kLockViolation);
    }
    if (record(fd, start, length, holder)) return true;
    return withdraw(holder, off_t(start), off_t(length), lastError());
}

bool isLockable(uint64_t start, uint64_t length) {
    return start < kLockableEnd && length <= kLockableEnd - start;
}

// A record of this number that no longer speaks for its description goes.
// Answers false with lastError() set: 33 when the same handle's lock refuses
// the range, the error when the record could not be checked.
bool notRefusedBySameDescription(int fd, uint64_t start, uint64_t length) {
    if (!refusedBySameHandle(fd, start, length)) return true;
    bool speaks = false;
    if (!askRecordSpeaksFor(fd, &speaks)) return false;
    if (speaks) return fail(win32error::kLockViolation);
    forgetRecords(fd);
    return true;
}

bool lock(int fd, uint64_t start, uint64_t length) {
    if (isNullHandle(fd)) return fail(win32error::kInvalidHandle);
    if (!isLockable(start, length)) return fail(win32error::kInvalidParameter);
    std::lock_guard<std::mutex> guard(gHeldMutex);
    if (!notRefusedBySameDescription(fd, start, length)) return false;
    return length == 0 ? lockZeroLength(fd, start) : lockRange(fd, start, length);
}

bool unlock(int fd, uint64_t start, uint64_t length) {
    if (isNullHandle(fd)) return fail(win32error::kInvalidHandle);
    std::lock_guard<std::mutex> guard(gHeldMutex);
    HeldLock* held = findExact(fd, start, length);
    bool speaks = true;
    if (held != nullptr && !askRecordSpeaksFor(fd, &speaks)) return false;
    if (!speaks) {
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
    off_t from = length == 0 ? kZeroLengthRegion + off_t(start) : off_t(start);
    off_t span = length == 0 ? 1 : off_t(length);
    if (setOfdLock(holder, F_UNLCK, from, span) != 0) return failWithErrno(errno);
    return true;
}

// Whether another description locked any of `count` bytes from `start`,
// counted from `whence`. A descriptor the kernel cannot ask about locks (not
// open, or open for no data) is left to the transfer, which answers for it.
bool lockedFrom(int fd, int whence, off_t start, uint32_t count, bool* locked) {
    *locked = false;
    struct flock holder;
    if (findOfdLock(fd, F_WRLCK, whence, start, off_t(count), &holder)) {
        *locked = holder.l_type != F_UNLCK;
        return true;
    }
    return errno == EBADF || errno == EINVAL || failWithErrno(errno);
}

// Whether a range lock held through this very handle covers all `count`
// bytes from its position. Locks are exclusive, so no other handle can hold
// any of those bytes: the transfer needs no lock query. That query is a
// round trip to the file server on a distributed file system, where a host
// that locks a range and then transfers it pays nothing more than the lock.
bool coveredByOwnLock(int fd, uint32_t count) {
    std::lock_guard<std::mutex> guard(gHeldMutex);
    if (!hasRecord(fd)) return false;
    off_t position = sys.lseek(fd, 0, SEEK_CUR);
    if (position < 0) return false;
    uint64_t start = uint64_t(position), end = start + count;
    for (size_t i = 0; i < gHeldCount; ++i) {
        const HeldLock& held = gHeld[i];
        if (held.fd == fd && held.length > 0 && held.start <= start &&
            end <= held.start + held.length) {
            bool speaks = false;
            return askRecordSpeaksFor(fd, &speaks) && speaks;
        }
    }
    return false;
}

}  // namespace

void forgetByteRangeLocks(int fd) {
    std::lock_guard<std::mutex> guard(gHeldMutex);
    forgetRecords(fd);
}

bool lockedAtPosition(int fd, uint32_t count, bool* locked) {
    *locked = false;
    if (coveredByOwnLock(fd, count)) return true;
    return lockedFrom(fd, SEEK_CUR, 0, count, locked);
}

bool lockedAtEnd(int fd, uint32_t count, bool* locked) {
    return lockedFrom(fd, SEEK_END, 0, count, locked);
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

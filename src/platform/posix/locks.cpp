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
// write lock. It takes a read lock, looks for any other lock over the range,
// and only then marks it (a read lock at kReadLockMarks + s, so that
// transfers can tell it from another program's read lock; an attempt the
// look refuses never leaves one): the read lock keeps out every handle that
// would write-lock the range later, the look finds every handle that locked
// it before. Two read handles that lock one range at the same
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
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/lock_space.h"
#include "platform/posix/locks.h"
#include "platform/posix/registry.h"
#include "platform/posix/shared_file_system.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform {
namespace posix {
namespace {

struct flock rangeOf(short type, off_t start, off_t length, int whence = SEEK_SET) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = static_cast<short>(whence);
    lock.l_start = start;
    lock.l_len = length;
    return lock;
}

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

// An OFD lock of `type` that the descriptor's access (`fact`: kReadable,
// kWritable) may not allow: a descriptor the library opened says whether it
// does, another is asked by trying. Answers 0 with *denied true when it
// does not.
uint32_t lockIfAllowed(int fd, uint8_t fact, short type, off_t start, off_t length, bool* denied) {
    uint8_t facts = factsOf(fd);
    *denied = (facts & kOpenedHere) && !(facts & fact);
    if (*denied || setOfdLock(fd, type, start, length) == 0) return 0;
    *denied = errno == EBADF && isOpen(fd);
    return *denied ? 0 : lockError(fd, errno);
}

uint32_t unlockOfd(int fd, off_t start, off_t length) {
    return setOfdLock(fd, F_UNLCK, start, length) == 0 ? 0 : win32ErrorFromErrno(errno);
}

// Whether another description holds a lock over the bytes that `counts`:
// 0 when none does, 33 when one does, or the translated error of the look.
template <typename Counts>
uint32_t lockOver(int fd, off_t start, off_t length, Counts counts) {
    struct flock holder;
    if (!findOfdLock(fd, F_WRLCK, SEEK_SET, start, length, &holder)) {
        return win32ErrorFromErrno(errno);
    }
    return holder.l_type != F_UNLCK && counts(holder) ? win32error::kLockViolation : 0;
}

bool isZeroLengthMark(const struct flock& lock) { return roleOf(lock) == LockRole::kZeroLength; }

// Any lock that ends at the append gate or before: every lock but another
// program's lock reaching beyond the library's.
uint32_t anyLockOver(int fd, off_t start, off_t length) {
    return lockOver(fd, start, length, [](const struct flock& lock) {
        return liesWithin(extentOf(lock), 0, kAppendGate + 1);
    });
}

// A zero-length lock of another handle strictly inside [start, start + length).
uint32_t zeroLengthInside(int fd, uint64_t start, uint64_t length) {
    if (length < 2) return 0;
    off_t first = zeroLengthMark(start + 1, 0);
    return lockOver(fd, first, zeroLengthMark(start + length, 0) - first, isZeroLengthMark);
}

// ---- Handles this process did not open ------------------------------------------

// A description of the file of `fd` of its own, for one look at its locks.
// Locks taken through a description never show through it, so a handle this
// process inherited (from a parent, or from a program that started it) hides
// the locks its parent took through it; this one shows them. It is opened
// through /proc with no more access than the handle has, close-on-exec, and
// lives for one call. Only regular files: a FIFO opened anew would gain a
// reader or a writer. -1 where none can be had; the handle's own description
// then looks.
Descriptor freshLook(int fd) {
    int flags = sys.fcntlInt(fd, F_GETFL, 0);
    int mode = flags & O_ACCMODE;
    struct stat status;
    if (flags < 0 || (flags & O_PATH) || mode == O_ACCMODE || sys.fstat(fd, &status) != 0 ||
        !S_ISREG(status.st_mode)) {
        return Descriptor();
    }
    char path[32];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    int access = (mode == O_WRONLY ? O_WRONLY : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    return Descriptor(uninterrupted([&] { return sys.open(path, access, 0); }));
}

// Whether a lock taken through the shared description by another process
// (or by any other handle) is in the way of a lock through a handle this
// process did not open. The handle's own locks cannot be: they would refuse
// the lock first.
uint32_t lockedThroughInheritedHandle(int fd, uint64_t start, uint64_t length) {
    Descriptor look = freshLook(fd);
    if (!look.valid()) return 0;
    uint32_t error = anyLockOver(look.get(), off_t(start), length == 0 ? 1 : off_t(length));
    return error != 0 ? error : zeroLengthInside(look.get(), start, length);
}

// ---- Claims in the record ---------------------------------------------------------

// The record is changed only between system calls (registry.h): a lock claims
// its range first, so that another thread's lock through the same handle is
// refused while the calls are under way, and settles the claim afterwards. A
// zero-length lock on one the handle holds only counts it up (*stacked).
uint32_t claimLock(int fd, uint64_t start, uint64_t length, bool* stacked) {
    RecordedLocks held(fd);
    if (!held.available()) return win32error::kTooManyOpenFiles;
    if (held.any([&](const HeldLock& lock) { return refuses(lock, start, length); })) {
        return win32error::kLockViolation;
    }
    // Only a zero-length lock gets here with its twin held.
    if (HeldLock* twin = held.find(start, length)) {
        // Another thread is taking or giving it up this instant.
        if (!twin->settled) return win32error::kLockViolation;
        ++twin->count;
        *stacked = true;
        return 0;
    }
    return held.add({start, length, 1, 0, false, false}) ? 0 : win32error::kSharingBufferExceeded;
}

// The OFD locks of a recorded lock go before its record, so that an unlock
// the kernel refuses leaves the lock held and recorded.
uint32_t releaseLocks(int fd, const HeldLock& lock) {
    auto from = off_t(lock.start);
    auto span = off_t(lock.length);
    if (span == 0) return from == 0 ? 0 : unlockOfd(fd, zeroLengthMark(lock.start, lock.lane), 1);
    uint32_t error = lock.marked ? unlockOfd(fd, kReadLockMarks + from, span) : 0;
    return error != 0 ? error : unlockOfd(fd, from, span);
}

// Ends a claim whose calls are done: the lock is recorded as `lock`, held,
// or is gone.
void settle(int fd, HeldLock lock, bool holds) {
    RecordedLocks held(fd);
    HeldLock* recorded = held.find(lock.start, lock.length);
    lock.settled = true;
    if (recorded != nullptr && holds) *recorded = lock;
    if (recorded != nullptr && !holds) held.remove(recorded);
}

// Claims a recorded lock for its unlock: *claimed is the lock when its calls
// are due, and keeps count 0 when a stacked zero-length lock was simply
// counted down. False when no such lock is recorded (or settled).
bool claimUnlock(int fd, uint64_t start, uint64_t length, HeldLock* claimed) {
    RecordedLocks held(fd);
    HeldLock* lock = held.find(start, length);
    if (lock == nullptr || !lock->settled) return false;
    if (length == 0 && lock->count > 1) {
        --lock->count;
        return true;
    }
    lock->settled = false;
    *claimed = *lock;
    return true;
}

// ---- Taking locks -------------------------------------------------------------------

// The mark of a zero-length lock: the read lock on lane 0, or for a handle
// that cannot read, a write lock on a lane of its own. A lane taken by
// another such handle holds a one-byte lock inside the zero-length region;
// anything else in the way is another program's lock. A look that fails
// answers its own error: it says nothing of the lane.
uint32_t takeMark(int fd, HeldLock* taken) {
    bool cannotRead = false;
    off_t lane0 = zeroLengthMark(taken->start, 0);
    uint32_t error = lockIfAllowed(fd, kReadable, F_RDLCK, lane0, 1, &cannotRead);
    if (error != 0 || !cannotRead) return error;
    unsigned first = static_cast<unsigned>(fd) * 7u;
    auto foreign = [](const struct flock& lock) { return !isZeroLengthMark(lock); };
    for (unsigned i = 0; i + 1 < unsigned(kZeroLengthLanes); ++i) {
        taken->lane = static_cast<uint16_t>(1 + (first + i) % unsigned(kZeroLengthLanes - 1));
        off_t mark = zeroLengthMark(taken->start, taken->lane);
        if (setOfdLock(fd, F_WRLCK, mark, 1) == 0) return 0;
        if (!isOfdLockConflict(errno)) return lockError(fd, errno);
        error = lockOver(fd, mark, 1, foreign);
        if (error != 0) return error;
    }
    return win32error::kSharingBufferExceeded;
}

// A zero-length lock stacked on one the handle holds needs only the look, and
// so does one at offset 0: nothing can lie strictly inside a range around it.
// The others take their mark first.
uint32_t lockZeroLength(int fd, bool stacked, HeldLock* taken) {
    bool marks = !stacked && taken->start > 0;
    if (uint32_t error = marks ? takeMark(fd, taken) : 0; error != 0) return error;
    uint32_t error = anyLockOver(fd, off_t(taken->start), 1);
    if (error != 0 && marks) releaseLocks(fd, *taken);
    return error;
}

// A read handle's exclusive lock: a read lock, a look for every other lock
// over the range, and only then its mark. A transfer counts a read lock
// only with its mark, so the read lock of an attempt that the look refuses
// never stops another handle's transfer, not even for an instant.
uint32_t lockReadOnly(int fd, off_t start, off_t length) {
    if (setOfdLock(fd, F_RDLCK, start, length) != 0) return lockError(fd, errno);
    uint32_t error = anyLockOver(fd, start, length);
    if (error == 0 && setOfdLock(fd, F_RDLCK, kReadLockMarks + start, length) != 0) {
        error = lockError(fd, errno);
    }
    if (error != 0) setOfdLock(fd, F_UNLCK, start, length);
    return error;
}

uint32_t lockRange(int fd, HeldLock* taken) {
    auto from = off_t(taken->start);
    auto span = off_t(taken->length);
    uint32_t error = lockIfAllowed(fd, kWritable, F_WRLCK, from, span, &taken->marked);
    if (error == 0 && taken->marked) error = lockReadOnly(fd, from, span);
    if (error != 0) return error;
    error = zeroLengthInside(fd, taken->start, taken->length);
    if (error == 0) error = afterLock(fd, factsOf(fd), taken->start, taken->length);
    if (error != 0) releaseLocks(fd, *taken);
    return error;
}

// A handle the library opened without data access.
bool withoutDataAccess(int fd) {
    uint8_t facts = factsOf(fd);
    return (facts & kOpenedHere) && !(facts & kHasDataAccess);
}

// ---- Transfers --------------------------------------------------------------------------

// Whether the next `count` bytes from the handle's position lie inside a
// range it holds locked. A handle that holds none is not asked its position.
bool insideOwnLock(int fd, uint32_t count) {
    if (!mayHoldLocks(fd)) return false;
    off_t position = sys.lseek(fd, 0, SEEK_CUR);
    return position >= 0 && insideHeldLock(fd, uint64_t(position), count);
}

// Whether a lock of another description lies over `count` bytes from
// `start` (placed by `whence`), as lockedByOthers counts locks.
uint32_t bytesLockedByOthers(int fd, int whence, off_t start, off_t count) {
    struct flock holder;
    auto find = [&](short type, off_t from) {
        return findOfdLock(fd, type, whence, from, count, &holder);
    };
    if (!find(F_WRLCK, start)) {
        return errno == EBADF || errno == EINVAL ? 0 : win32ErrorFromErrno(errno);
    }
    if (holder.l_type == F_UNLCK) return 0;
    // A read lock met first may hide a write lock beside it, which a second
    // look (for write locks only) finds.
    if (holder.l_type == F_RDLCK && !find(F_RDLCK, start)) return win32ErrorFromErrno(errno);
    if (holder.l_type == F_WRLCK && roleOf(holder) == LockRole::kByteRange) {
        return win32error::kLockViolation;
    }
    if (!find(F_WRLCK, kReadLockMarks + start)) return win32ErrorFromErrno(errno);
    bool marked = holder.l_type != F_UNLCK && roleOf(holder) == LockRole::kReadMark;
    return marked ? win32error::kLockViolation : 0;
}

// The ranges this process holds locked through `fd`, settled ones only, in
// the order of their starts.
std::vector<HeldLock> ownRanges(int fd) {
    std::vector<HeldLock> ranges;
    if (!mayHoldLocks(fd)) return ranges;
    RecordedLocks held(fd);
    for (const HeldLock& lock : held) {
        if (lock.settled && lock.length != 0) ranges.push_back(lock);
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const HeldLock& a, const HeldLock& b) { return a.start < b.start; });
    return ranges;
}

// Where a transfer of `whence` (SEEK_CUR, SEEK_END) starts; the position
// stays. -1 when the kernel cannot say: the transfer then answers for it.
off_t whereTransferStarts(int fd, int whence) {
    if (whence == SEEK_CUR) return sys.lseek(fd, 0, SEEK_CUR);
    struct stat status;
    return sys.fstat(fd, &status) == 0 ? status.st_size : -1;
}

// A handle this process did not open: its own description hides what its
// parent locked through it, so a fresh one looks, piece by piece in order, at
// the bytes that no lock of this process's own holds (its own locks show
// through the fresh one too).
uint32_t lockedForInheritedHandle(int fd, int whence, uint32_t count) {
    Descriptor look = freshLook(fd);
    if (!look.valid()) return bytesLockedByOthers(fd, whence, 0, off_t(count));
    off_t at = whereTransferStarts(fd, whence);
    if (at < 0) return 0;
    auto piece = [&](uint64_t from, uint64_t to) -> uint32_t {
        if (from >= to) return 0;
        return bytesLockedByOthers(look.get(), SEEK_SET, off_t(from), off_t(to - from));
    };
    auto next = uint64_t(at);
    uint64_t end = next + count;
    for (const HeldLock& lock : ownRanges(fd)) {
        if (uint32_t error = piece(next, std::min(lock.start, end)); error != 0) return error;
        next = std::max(next, lock.start + lock.length);
    }
    return piece(next, end);
}

}  // namespace

int setOfdLock(int fd, short type, off_t start, off_t length, int command) {
    struct flock lock = rangeOf(type, start, length);
    return uninterrupted([&] { return sys.fcntlLock(fd, command, &lock); });
}

bool findOfdLock(int fd, short type, int whence, off_t start, off_t length, struct flock* holder) {
    *holder = rangeOf(type, start, length, whence);
    return uninterrupted([&] { return sys.fcntlLock(fd, F_OFD_GETLK, holder); }) == 0;
}

// Windows' byte-range locks are mandatory: a transfer through one handle of
// bytes that another handle has locked is refused whole. One lock query
// through the handle's own description (which never shows its own locks)
// asks about the bytes from where it stands, or from the end of the file
// (`whence`). A write lock on those bytes is a lock; a read lock, or a lock
// reaching beyond the host's ranges (another program's lock over the whole
// file), counts only when a read handle's mark lies beside it: another
// program's read lock binds nothing, and its write lock over the whole file
// leaves room for no lock of the library. A read lock met first costs a
// second query, for a write lock beside it. A handle that shares nothing has
// no other handle to meet. A descriptor the kernel cannot ask (not open, or
// open for no data) is left to the transfer, which answers for it.
//
// On a shared file system the query is a round trip to the file server. A
// transfer inside a range the handle itself holds locked needs none (locks
// are exclusive, so no other handle can hold those bytes), and learning that
// costs one lseek the kernel answers itself. On a local file system the query
// is as cheap as that lseek, so it is simply made.
//
// A handle this process did not open (inherited from a parent, forked or
// not) looks through a fresh description instead (freshLook), which costs
// an open and a close: its parent's locks are the parent's.
void giveUpLocks(int fd, const EndedLocks& locks) {
    for (const HeldLock& lock : locks) {
        if (lock.settled) releaseLocks(fd, lock);
    }
}

uint32_t lockedByOthers(int fd, int whence, uint32_t count) {
    if (count == 0) return 0;
    if (!openedByThisProcess(fd)) return lockedForInheritedHandle(fd, whence, count);
    uint8_t facts = factsOf(fd);
    if (facts & kSharesNothing) return 0;
    if (skipsOwnLock(facts, whence) && insideOwnLock(fd, count)) return 0;
    return bytesLockedByOthers(fd, whence, 0, off_t(count));
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
    return lockFile(handle, start, length);
}

bool unlockFileEx(Handle handle, uint64_t start, uint64_t length) {
    return unlockFile(handle, start, length);
}

// LockFile grants only exclusive locks and never waits.
bool lockFile(Handle fd, uint64_t start, uint64_t length) {
    if (isNullHandle(fd)) return fail(win32error::kInvalidHandle);
    if (start >= kHostLockRangeEnd || length > kHostLockRangeEnd - start) {
        return fail(win32error::kInvalidParameter);
    }
    if (withoutDataAccess(fd)) return fail(win32error::kAccessDenied);
    bool stacked = false;
    if (uint32_t error = claimLock(fd, start, length, &stacked); error != 0) return fail(error);
    HeldLock taken{start, length, 1, 0, false, true};
    // A handle this process did not open first looks afresh for what its
    // parent holds through it (freshLook).
    uint32_t error = openedByThisProcess(fd) ? 0 : lockedThroughInheritedHandle(fd, start, length);
    if (error == 0) {
        error = length == 0 ? lockZeroLength(fd, stacked, &taken) : lockRange(fd, &taken);
    }
    if (!stacked) settle(fd, taken, error == 0);
    // A stacked zero-length lock that could not be taken counts down as an
    // unlock does, and takes the mark along should it be the last.
    if (stacked && error != 0) unlockFile(fd, start, 0);
    return error == 0 || fail(error);
}

bool unlockFile(Handle fd, uint64_t start, uint64_t length) {
    if (isNullHandle(fd)) return fail(win32error::kInvalidHandle);
    if (withoutDataAccess(fd)) return fail(win32error::kAccessDenied);
    // What the lock protected reaches the server before another machine can
    // lock it (shared_file_system.h); the lock stays when it cannot.
    uint32_t error = length == 0 ? 0 : beforeUnlock(fd, factsOf(fd));
    if (error != 0) return fail(error);
    HeldLock claimed{};
    if (!claimUnlock(fd, start, length, &claimed)) {
        return fail(isOpen(fd) ? win32error::kNotLocked : win32ErrorFromErrno(EBADF));
    }
    if (claimed.count == 0) return true;
    error = releaseLocks(fd, claimed);
    settle(fd, claimed, error != 0);
    return error == 0 || fail(error);
}

}  // namespace qorvel::platform

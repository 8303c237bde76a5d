// The share-mode layout.
//
// An OFD read lock needs a readable description and a write lock a writable
// one, so each role gets a lock type its handle's own descriptor can take.
// Three regions of kShareSlots bytes, adjacent in this order:
//
//   denial region (C): a read handle that denies reading read-locks all of C;
//   read class    (A): holders read-lock all of A; a handle that can write and
//                      denies reading write-locks one byte ("slot") of A;
//   write class   (B): holders write-lock a slot of B; a handle that denies
//                      writing read-locks all of B.
//
// A conflict is a holder of a class meeting a denier of it. Where one of the
// two holds a write lock, the kernel refuses the later one in the call that
// publishes. A handle that both holds and denies a class conflicts with every
// other participant of it and write-locks the whole region; one that denies
// both classes write-locks A and B. Two slot-takers of a region that pick the
// same byte collide (write against write): the later one sees a write lock
// lying within the share area that covers only part of the region, which is
// never a whole-region lock, and moves to the next byte. Any other lock in
// the way is a conflicting handle (32), or, when it reaches in from outside
// the share area, another program's lock (33).
//
// A read-only handle that denies reading (0x0011, 0x0001) can take no write
// lock, and two read locks never meet: it read-locks C with A (and B when it
// denies writing) in one call, then looks over A for a lock of another
// handle. Everything there conflicts with it: holders of reading and deniers
// of it, each of which also holds or denies reading. Every handle that
// read-locks A looks over C after publishing, where only such handles lie.
// Each side publishes before it looks, and the kernel orders the calls on
// one file, so of two racing opens the later look sees the other's lock:
// both may be refused, never both granted. A look that meets another
// program's lock cannot see behind it and answers 33, unless that is a write
// lock over the whole place looked at, beside which no lock of a handle can
// lie.
//
// kSteps holds the lock calls of every role combination; the regions are
// adjacent, so several combinations need one call. 0x0044 takes two locks: it must
// meet the read lock of 0x0021, which only a write lock does, and the slots of
// 0x0012, which are write locks 0x0012 handles must not share, while two
// 0x0044 handles must not meet. 0x0014 tries A with the first slot of B in
// one call, and takes them one by one when that slot is taken.
#include "platform/posix/share_modes.h"

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/lock_space.h"
#include "platform/posix/locks.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform::posix {
namespace {

// One lock call, or one look, over [first, end) of the share area. A slot
// is one byte of the region at `first`; kWholeAndSlot write-locks the
// region with a slot of the next one.
enum Act : uint8_t { kNone, kReadLock, kWriteLock, kSlot, kWholeAndSlot, kLook };

struct LockStep {
    Act act;
    off_t first;
    off_t end;
};

constexpr off_t kC = kShareDenialRegion;
constexpr off_t kA = kShareReadRegion;
constexpr off_t kB = kShareWriteRegion;
constexpr off_t kEnd = kShareAreaEnd;

// Indexed by holdsRead | deniesRead << 1 | holdsWrite << 2 | deniesWrite << 3.
// Only a handle with data access denies, so a denial without a hold never
// occurs (no steps).
constexpr LockStep kSteps[16][3] = {
    {},                                                         // no data access
    {{kReadLock, kA, kB}, {kLook, kC, kA}},                     // 0x0041: holds read
    {},                                                         // (never)
    {{kReadLock, kC, kB}, {kLook, kA, kB}},                     // 0x0011: holds, denies read
    {{kSlot, kB, kEnd}},                                        // 0x0042: holds write
    {{kReadLock, kA, kB}, {kSlot, kB, kEnd}, {kLook, kC, kA}},  // 0x0044: holds both
    {{kSlot, kA, kB}, {kSlot, kB, kEnd}},                       // 0x0012: holds write, denies read
    {{kWholeAndSlot, kA, kB}},                                  // 0x0014: holds both, denies read
    {},                                                         // (never)
    {{kReadLock, kA, kEnd}, {kLook, kC, kA}},                   // 0x0021: holds read, denies write
    {},                                                         // (never)
    {{kReadLock, kC, kEnd}, {kLook, kA, kB}},                   // 0x0001: holds read, denies both
    {{kWriteLock, kB, kEnd}},                                   // 0x0022: holds, denies write
    {{kReadLock, kA, kB},
     {kWriteLock, kB, kEnd},
     {kLook, kC, kA}},         // 0x0024: holds both, denies write
    {{kWriteLock, kA, kEnd}},  // 0x0002: holds write, denies both
    {{kWriteLock, kA, kEnd}},  // 0x0004: holds, denies both
};

unsigned indexOf(const ShareRoles& roles) {
    return (roles.holdsRead ? 1u : 0u) | (roles.deniesRead ? 2u : 0u) |
           (roles.holdsWrite ? 4u : 0u) | (roles.deniesWrite ? 8u : 0u);
}

struct Range {
    off_t start;
    off_t length;
};

// What a lock found in the way says: another program's lock (33) when it
// reaches in from outside the share area, else a handle of the library (32).
uint32_t conflictWith(const struct flock& holder) {
    bool handle = roleOf(holder) == LockRole::kShareMode;
    return handle ? win32error::kSharingViolation : win32error::kLockViolation;
}

// A lock of `type` over `range`. When the kernel refuses it, the lock in the
// way, in *holder, tells the error.
uint32_t lockRange(int fd, short type, Range range, struct flock* holder) {
    if (setOfdLock(fd, type, range.start, range.length) == 0) return 0;
    if (!isOfdLockConflict(errno)) return win32ErrorFromErrno(errno);
    if (!findOfdLock(fd, type, SEEK_SET, range.start, range.length, holder)) {
        return win32ErrorFromErrno(errno);
    }
    // Gone in between: the conflict was a handle that just closed.
    if (holder->l_type == F_UNLCK) return win32error::kSharingViolation;
    return conflictWith(*holder);
}

// Whether `lock`, of another program, is a write lock over all of `range`:
// no lock of a handle can lie there beside it, so nothing hides behind it.
bool hidesNothing(const struct flock& lock, Range range) {
    Extent extent = extentOf(lock);
    return lock.l_type == F_WRLCK && extent.first <= range.start &&
           (extent.end == 0 || extent.end >= range.start + range.length);
}

// A look for a lock of another description over `range`, after publishing:
// any lock of a handle there conflicts (32).
uint32_t look(int fd, Range range) {
    struct flock holder;
    if (!findOfdLock(fd, F_WRLCK, SEEK_SET, range.start, range.length, &holder)) {
        return win32ErrorFromErrno(errno);
    }
    if (holder.l_type == F_UNLCK) return 0;
    if (roleOf(holder) != LockRole::kShareMode && hidesNothing(holder, range)) return 0;
    return conflictWith(holder);
}

// Whether the lock met on a slot of the region at `region` is another
// slot-taker's: a write lock inside the share area that does not cover the
// whole region.
bool isSlotTaker(const struct flock& holder, off_t region) {
    return roleOf(holder) == LockRole::kShareMode &&
           regionHold(extentOf(holder), holder.l_type == F_WRLCK, region) == RegionHold::kSlot;
}

// A write lock on one free byte of the region, searched from `firstSlot`,
// past bytes that another slot-taker holds or that a handle just let go.
uint32_t takeSlot(int fd, off_t region, unsigned firstSlot) {
    for (off_t i = 0; i < kShareSlots; ++i) {
        struct flock holder {};
        off_t slot = region + (off_t(firstSlot) + i) % kShareSlots;
        uint32_t error = lockRange(fd, F_WRLCK, {slot, 1}, &holder);
        bool taken = holder.l_type == F_UNLCK || isSlotTaker(holder, region);
        if (error != win32error::kSharingViolation || !taken) return error;
    }
    return win32error::kSharingBufferExceeded;  // every byte is taken
}

// The region at `range` whole with the first slot of the next one in one
// call, or, when that slot is taken, one by one.
uint32_t takeWholeAndSlot(int fd, Range range, unsigned firstSlot) {
    if (setOfdLock(fd, F_WRLCK, range.start, range.length + 1) == 0) return 0;
    if (!isOfdLockConflict(errno)) return win32ErrorFromErrno(errno);
    struct flock holder {};
    uint32_t error = lockRange(fd, F_WRLCK, range, &holder);
    return error != 0 ? error : takeSlot(fd, range.start + range.length, firstSlot | 1u);
}

uint32_t take(const LockStep& step, int fd, unsigned firstSlot) {
    Range range{step.first, step.end - step.first};
    struct flock holder {};
    switch (step.act) {
        case kLook: return look(fd, range);
        case kSlot: return takeSlot(fd, step.first, firstSlot);
        case kWholeAndSlot: return takeWholeAndSlot(fd, range, firstSlot);
        default: return lockRange(fd, step.act == kReadLock ? F_RDLCK : F_WRLCK, range, &holder);
    }
}

}  // namespace

ShareRoles shareRolesFor(bool read, bool write, uint32_t shareMode) {
    bool hasData = read || write;
    return {read, hasData && !(shareMode & kFileShareRead), write,
            hasData && !(shareMode & kFileShareWrite)};
}

uint32_t publishShareMode(const ShareRoles& roles, int fd, unsigned firstSlot) {
    for (const LockStep& step : kSteps[indexOf(roles)]) {
        if (step.act == kNone) break;
        if (uint32_t error = take(step, fd, firstSlot); error != 0) return error;
    }
    return 0;
}

unsigned slotSalt(int fd) {
    thread_local char anchor;
    auto salt = static_cast<unsigned>(reinterpret_cast<uintptr_t>(&anchor) >> 4);
    return salt * 31u + static_cast<unsigned>(fd) * 7u;
}

bool mayRemove(const char* path) {
    auto openFor = [&](int access) {
        constexpr int kFlags = O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
        return uninterrupted([&] { return sys.open(path, access | kFlags, 0); });
    };
    int fd = openFor(O_RDONLY);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) fd = openFor(O_WRONLY);
    if (fd < 0) {
        // Nothing to look at: gone, a link, not a file.
        bool nothingToCheck = errno == ENOENT || errno == ENOTDIR || errno == ELOOP;
        return nothingToCheck || failWithErrno(errno);
    }
    uint32_t error = look(fd, {kShareArea, kShareAreaEnd - kShareArea});
    sys.close(fd);
    return error == 0 || fail(error);
}

}  // namespace qorvel::platform::posix

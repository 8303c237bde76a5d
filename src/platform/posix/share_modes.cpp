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
#include <cstdint>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/lock_space.h"
#include "platform/posix/ofd_locks.h"

namespace qorvel::platform::posix {
namespace {

enum class Span : uint8_t {
    kDenialRegion,
    kReadRegion,
    kWriteRegion,
    kReadAndWriteRegions,
    kDenialAndReadRegions,
    kShareArea,
    kReadSlot,
    kWriteSlot,
    kReadRegionAndFirstWriteSlot
};

enum class Act : uint8_t { kNone, kReadLock, kWriteLock, kLook };

struct LockStep {
    Act act;
    Span span;
};

struct Steps {
    int count;
    LockStep step[3];
};

constexpr LockStep kReadA{Act::kReadLock, Span::kReadRegion};
constexpr LockStep kSlotA{Act::kWriteLock, Span::kReadSlot};
constexpr LockStep kWriteB{Act::kWriteLock, Span::kWriteRegion};
constexpr LockStep kSlotB{Act::kWriteLock, Span::kWriteSlot};
constexpr LockStep kReadAB{Act::kReadLock, Span::kReadAndWriteRegions};
constexpr LockStep kWriteAB{Act::kWriteLock, Span::kReadAndWriteRegions};
constexpr LockStep kWriteAAndSlotB{Act::kWriteLock, Span::kReadRegionAndFirstWriteSlot};
constexpr LockStep kReadCA{Act::kReadLock, Span::kDenialAndReadRegions};
constexpr LockStep kReadCAB{Act::kReadLock, Span::kShareArea};
constexpr LockStep kLookA{Act::kLook, Span::kReadRegion};
constexpr LockStep kLookC{Act::kLook, Span::kDenialRegion};
constexpr LockStep kNone{Act::kNone, Span::kReadRegion};

// Indexed by holdsRead | deniesRead << 1 | holdsWrite << 2 | deniesWrite << 3.
// Only a handle with data access denies, so a denial without a hold never
// occurs (no steps).
constexpr Steps kSteps[16] = {
    {0, {kNone, kNone, kNone}},            // no data access
    {2, {kReadA, kLookC, kNone}},          // holds read:                  0x0041
    {0, {kNone, kNone, kNone}},            // (never)
    {2, {kReadCA, kLookA, kNone}},         // holds and denies read:       0x0011
    {1, {kSlotB, kNone, kNone}},           // holds write:                 0x0042
    {3, {kReadA, kSlotB, kLookC}},         // holds both:                  0x0044
    {2, {kSlotA, kSlotB, kNone}},          // holds write, denies read:    0x0012
    {1, {kWriteAAndSlotB, kNone, kNone}},  // holds both, denies read:     0x0014
    {0, {kNone, kNone, kNone}},            // (never)
    {2, {kReadAB, kLookC, kNone}},         // holds read, denies write:    0x0021
    {0, {kNone, kNone, kNone}},            // (never)
    {2, {kReadCAB, kLookA, kNone}},        // holds read, denies both:     0x0001
    {1, {kWriteB, kNone, kNone}},          // holds and denies write:      0x0022
    {3, {kReadA, kWriteB, kLookC}},        // holds both, denies write:    0x0024
    {1, {kWriteAB, kNone, kNone}},         // holds write, denies both:    0x0002
    {1, {kWriteAB, kNone, kNone}},         // holds and denies both:       0x0004
};

unsigned indexOf(const ShareRoles& roles) {
    return (roles.holdsRead ? 1u : 0u) | (roles.deniesRead ? 2u : 0u) |
           (roles.holdsWrite ? 4u : 0u) | (roles.deniesWrite ? 8u : 0u);
}

struct Range {
    off_t start;
    off_t length;
};

Range rangeOf(Span span) {
    switch (span) {
        case Span::kDenialRegion: return {kShareDenialRegion, kShareSlots};
        case Span::kReadRegion: return {kShareReadRegion, kShareSlots};
        case Span::kWriteRegion: return {kShareWriteRegion, kShareSlots};
        case Span::kReadAndWriteRegions:
            return {kShareReadRegion, kShareAreaEnd - kShareReadRegion};
        case Span::kDenialAndReadRegions: return {kShareDenialRegion, 2 * kShareSlots};
        case Span::kReadRegionAndFirstWriteSlot: return {kShareReadRegion, kShareSlots + 1};
        default: return {kShareArea, kShareAreaEnd - kShareArea};
    }
}

// What a lock found in the way says: another program's lock (33) when it
// reaches in from outside the share area, else a handle of the library (32).
uint32_t conflictWith(const struct flock& holder) {
    bool handle = roleOf(holder) == LockRole::kShareMode;
    return handle ? win32error::kSharingViolation : win32error::kLockViolation;
}

// The error of a refused lock call over `range`: the lock in the way tells.
uint32_t refusal(int fd, short type, Range range, int error) {
    if (!isOfdLockConflict(error)) return win32ErrorFromErrno(error);
    struct flock holder;
    if (!findOfdLock(fd, type, SEEK_SET, range.start, range.length, &holder)) {
        return win32ErrorFromErrno(errno);
    }
    // Gone in between: the conflict was a handle that just closed.
    if (holder.l_type == F_UNLCK) return win32error::kSharingViolation;
    return conflictWith(holder);
}

uint32_t lockRange(int fd, short type, Range range) {
    if (setOfdLock(fd, type, range.start, range.length) == 0) return 0;
    return refusal(fd, type, range, errno);
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

// A write lock on one free byte of the region, searched from `firstSlot`.
uint32_t takeSlot(int fd, off_t region, unsigned firstSlot) {
    for (off_t i = 0; i < kShareSlots; ++i) {
        off_t slot = region + (off_t(firstSlot) + i) % kShareSlots;
        if (setOfdLock(fd, F_WRLCK, slot, 1) == 0) return 0;
        if (!isOfdLockConflict(errno)) return win32ErrorFromErrno(errno);
        struct flock holder;
        if (!findOfdLock(fd, F_WRLCK, SEEK_SET, slot, 1, &holder)) {
            return win32ErrorFromErrno(errno);
        }
        if (holder.l_type != F_UNLCK && !isSlotTaker(holder, region)) return conflictWith(holder);
    }
    return win32error::kSharingBufferExceeded;  // every byte is taken
}

uint32_t takeReadRegionAndWriteSlot(int fd, unsigned firstSlot) {
    Range both = rangeOf(Span::kReadRegionAndFirstWriteSlot);
    if (setOfdLock(fd, F_WRLCK, both.start, both.length) == 0) return 0;
    if (!isOfdLockConflict(errno)) return win32ErrorFromErrno(errno);
    uint32_t error = lockRange(fd, F_WRLCK, rangeOf(Span::kReadRegion));
    return error != 0 ? error : takeSlot(fd, kShareWriteRegion, firstSlot | 1u);
}

uint32_t take(const LockStep& step, int fd, unsigned firstSlot) {
    Range range = rangeOf(step.span);
    if (step.act == Act::kLook) return look(fd, range);
    switch (step.span) {
        case Span::kReadSlot: return takeSlot(fd, kShareReadRegion, firstSlot);
        case Span::kWriteSlot: return takeSlot(fd, kShareWriteRegion, firstSlot);
        case Span::kReadRegionAndFirstWriteSlot: return takeReadRegionAndWriteSlot(fd, firstSlot);
        default: return lockRange(fd, step.act == Act::kReadLock ? F_RDLCK : F_WRLCK, range);
    }
}

}  // namespace

ShareRoles shareRolesFor(bool read, bool write, uint32_t shareMode) {
    bool hasData = read || write;
    return {read, hasData && !(shareMode & kFileShareRead), write,
            hasData && !(shareMode & kFileShareWrite)};
}

uint32_t publishShareMode(const ShareRoles& roles, int fd, unsigned firstSlot) {
    const Steps& steps = kSteps[indexOf(roles)];
    for (int i = 0; i < steps.count; ++i) {
        uint32_t error = take(steps.step[i], fd, firstSlot);
        if (error != 0) return error;
    }
    return 0;
}

unsigned slotSalt(int fd) {
    thread_local char anchor;
    auto salt = static_cast<unsigned>(reinterpret_cast<uintptr_t>(&anchor) >> 4);
    return salt * 31u + static_cast<unsigned>(fd) * 7u;
}

// The look that follows a publication, over the whole share area.
uint32_t findHolder(int fd) { return look(fd, rangeOf(Span::kShareArea)); }

}  // namespace qorvel::platform::posix

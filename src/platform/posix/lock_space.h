// Where the POSIX backend's open-file-description (OFD) locks lie in a file's
// lock space, and how a lock met there is recognised: by where it lies, never
// by its length.
//
//   [0, kHostLockRangeEnd)                 byte-range locks, on the very bytes
//                                          they lock (locks.cpp)
//   [kReadLockMarks, +kHostLockRangeEnd)   beside each range locked through a
//                                          read handle (a read lock), a read
//                                          lock at kReadLockMarks + its start,
//                                          so that transfers can tell it from
//                                          another program's read lock
//   [kZeroLengthRegion, +kHostLockRangeEnd * kZeroLengthLanes)
//                                          zero-length locks: X at
//                                          zeroLengthMark(X, lane)
//   [kShareArea, kShareAreaEnd)            share modes (share_modes.cpp): the
//                                          denial region (C), the read region
//                                          (A), then the write region (B),
//                                          kShareSlots bytes each
//   kAppendGate                            the append gate: one byte, the
//                                          appenders' turn on a file system
//                                          other machines share
//                                          (shared_file_system.h)
//
// Other programs lock the same space with fcntl and lockf. Their locks on
// file bytes meet the library's ranges there, as they should; a whole-file
// lock (l_len 0 from 0: up to the end of the lock space) also covers every
// region above. A lock that starts below a region and reaches into it is
// therefore never one of the library's locks of that region.
//
// Below the layout, the one reading of a lock back (which of the library's
// locks it is, what share mode it says), for the library and for `qorvel
// holders` (tools/holders_linux.cpp) alike.
#ifndef QORVEL_PLATFORM_POSIX_LOCK_SPACE_H
#define QORVEL_PLATFORM_POSIX_LOCK_SPACE_H

#include <fcntl.h>

#include <cstdint>

#include "platform/platform.h"

namespace qorvel::platform::posix {

constexpr off_t kHostRangeEnd = off_t(kHostLockRangeEnd);
constexpr off_t kReadLockMarks = off_t(1) << 60;
constexpr off_t kZeroLengthRegion = off_t(1) << 61;
constexpr off_t kZeroLengthLanes = 4096;
constexpr off_t kZeroLengthRegionEnd = kZeroLengthRegion + kHostRangeEnd * kZeroLengthLanes;
constexpr off_t kShareSlots = 4096;
constexpr off_t kShareDenialRegion = (off_t(1) << 62) - kShareSlots;
constexpr off_t kShareArea = kShareDenialRegion;
constexpr off_t kShareReadRegion = kShareDenialRegion + kShareSlots;
constexpr off_t kShareWriteRegion = kShareReadRegion + kShareSlots;
constexpr off_t kShareAreaEnd = kShareWriteRegion + kShareSlots;
constexpr off_t kAppendGate = kShareAreaEnd;

static_assert(kReadLockMarks + kHostRangeEnd <= kZeroLengthRegion, "marks below zero-length locks");
static_assert(kZeroLengthRegionEnd <= kShareArea, "zero-length locks below share modes");

// Where a zero-length lock at `at` is marked: lane 0 holds the read locks of
// every handle that can read, each other lane the write lock of one handle
// that cannot (locks.cpp).
constexpr off_t zeroLengthMark(uint64_t at, unsigned lane) {
    return kZeroLengthRegion + off_t(at) * kZeroLengthLanes + off_t(lane);
}

// ---- Reading a lock back ---------------------------------------------------------

// [first, end) of a lock; end 0: to the end of the lock space.
struct Extent {
    off_t first;
    off_t end;
};

// A lock as F_OFD_GETLK reports it (l_whence SEEK_SET; l_len 0: no end).
inline Extent extentOf(const struct flock& lock) {
    return {lock.l_start, lock.l_len == 0 ? 0 : lock.l_start + lock.l_len};
}

// Whether the lock lies wholly inside [from, to).
inline bool liesWithin(Extent extent, off_t from, off_t to) {
    return extent.first >= from && extent.end != 0 && extent.end <= to;
}

// Which of the library's locks a lock is, by the region it lies wholly in.
enum class LockRole : uint8_t {
    kForeign,     // in no region whole: another program's lock
    kByteRange,   // a byte-range lock on the bytes it locks
    kReadMark,    // the mark beside a read handle's range
    kZeroLength,  // a zero-length lock's mark (zeroLengthOffset)
    kShareMode,   // a share mode's lock (regionHold tells which)
    kAppendGateLock,
};

inline LockRole roleOf(Extent extent) {
    if (liesWithin(extent, 0, kHostRangeEnd)) return LockRole::kByteRange;
    if (liesWithin(extent, kReadLockMarks, kReadLockMarks + kHostRangeEnd)) {
        return LockRole::kReadMark;
    }
    if (liesWithin(extent, kZeroLengthRegion, kZeroLengthRegionEnd)) return LockRole::kZeroLength;
    if (liesWithin(extent, kShareArea, kShareAreaEnd)) return LockRole::kShareMode;
    if (liesWithin(extent, kAppendGate, kAppendGate + 1)) return LockRole::kAppendGateLock;
    return LockRole::kForeign;
}

inline LockRole roleOf(const struct flock& lock) { return roleOf(extentOf(lock)); }

// The offset of a zero-length lock, from its mark.
inline uint64_t zeroLengthOffset(off_t mark) {
    return uint64_t((mark - kZeroLengthRegion) / kZeroLengthLanes);
}

// What a share mode's lock holds of the region of kShareSlots bytes at
// `region`: nothing, one byte of it (a write lock: a slot), or all of it.
// Several regions may lie under one lock.
enum class RegionHold : uint8_t { kNone, kSlot, kReadAll, kWriteAll };

inline RegionHold regionHold(Extent extent, bool write, off_t region) {
    off_t regionEnd = region + kShareSlots;
    if ((extent.end != 0 && extent.end <= region) || extent.first >= regionEnd) {
        return RegionHold::kNone;
    }
    if (extent.first <= region && (extent.end == 0 || extent.end >= regionEnd)) {
        return write ? RegionHold::kWriteAll : RegionHold::kReadAll;
    }
    return write ? RegionHold::kSlot : RegionHold::kNone;
}

// The share mode that one handle's holds of the denial (C), read (A) and
// write (B) regions say, as share_modes.cpp lays them out: a handle with data
// access publishes in A or B; reading is denied by anything in C, a slot of
// A or all of A write-locked; writing by all of B.
struct PublishedShare {
    bool published;
    bool deniesRead;
    bool deniesWrite;
};

inline PublishedShare shareFrom(RegionHold denial, RegionHold read, RegionHold write) {
    return {
        read != RegionHold::kNone || write != RegionHold::kNone,
        denial != RegionHold::kNone || read == RegionHold::kSlot || read == RegionHold::kWriteAll,
        write == RegionHold::kReadAll || write == RegionHold::kWriteAll};
}

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_LOCK_SPACE_H

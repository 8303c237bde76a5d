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
//
// Other programs lock the same space with fcntl and lockf. Their locks on
// file bytes meet the library's ranges there, as they should; a whole-file
// lock (l_len 0 from 0: up to the end of the lock space) also covers every
// region above. A lock that starts below a region and reaches into it is
// therefore never one of the library's locks of that region.
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

static_assert(kReadLockMarks + kHostRangeEnd <= kZeroLengthRegion, "marks below zero-length locks");
static_assert(kZeroLengthRegionEnd <= kShareArea, "zero-length locks below share modes");

// Where a zero-length lock at `at` is marked: lane 0 holds the read locks of
// every handle that can read, each other lane the write lock of one handle
// that cannot (locks.cpp).
constexpr off_t zeroLengthMark(uint64_t at, unsigned lane) {
    return kZeroLengthRegion + off_t(at) * kZeroLengthLanes + off_t(lane);
}

// [first, end) of a lock as F_OFD_GETLK reports it (l_whence SEEK_SET);
// l_len 0 reaches to the end of the lock space.
struct Extent {
    off_t first;
    off_t end;  // 0: no end
};

inline Extent extentOf(const struct flock& lock) {
    return {lock.l_start, lock.l_len == 0 ? 0 : lock.l_start + lock.l_len};
}

// Whether the lock lies wholly inside [from, to).
inline bool liesWithin(const struct flock& lock, off_t from, off_t to) {
    Extent extent = extentOf(lock);
    return extent.first >= from && extent.end != 0 && extent.end <= to;
}

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_LOCK_SPACE_H

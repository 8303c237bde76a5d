// Exclusive, never-waiting byte-range locks through a handle.
//
// The library keeps no record of locks: the platform holds them per handle.
// Which family of locking calls to use is asked anew on every call; both
// families lock the same way (exclusive, failing at once).
#include "platform/platform.h"
#include "status/status.h"

namespace qorvel::handle {
namespace {

constexpr uint32_t kExclusiveNoWait =
    platform::kLockfileExclusiveLock | platform::kLockfileFailImmediately;

// The platform's family. A failed query leaves the family unknown (0), which
// selects the other family's calls: they lock the same way.
uint32_t platformFamily() {
    uint32_t family = platform::kPlatformWin32s;
    platform::getVersionEx(&family);
    return family;
}

// The range is [start, start + length) in 64-bit positions: never wrapped at
// 4 GiB.
cFileStatus lockRange(cFileHandle handle, uint32_t start, uint32_t length) {
    bool locked = platformFamily() == platform::kPlatformWin32Nt
                      ? platform::lockFileEx(handle, kExclusiveNoWait, start, length)
                      : platform::lockFile(handle, start, length);
    return locked ? 0 : cFileTranslateError(platform::lastError());
}

cFileStatus unlockRange(cFileHandle handle, uint32_t start, uint32_t length) {
    bool unlocked = platformFamily() == platform::kPlatformWin32Nt
                        ? platform::unlockFileEx(handle, start, length)
                        : platform::unlockFile(handle, start, length);
    return unlocked ? 0 : cFileTranslateError(platform::lastError());
}

}  // namespace
}  // namespace qorvel::handle

using namespace qorvel;

extern "C" {

QORVEL_API cFileStatus QORVEL_CALL cFileLock(cFileHandle handle, uint32_t start, uint32_t length) {
    if (handle == CFILE_INVALID_HANDLE) return invalidHandle();
    return handle::lockRange(handle, start, length);
}

QORVEL_API cFileStatus QORVEL_CALL cFileUnlock(cFileHandle handle, uint32_t start,
                                               uint32_t length) {
    if (handle == CFILE_INVALID_HANDLE) return invalidHandle();
    return handle::unlockRange(handle, start, length);
}

}  // extern "C"

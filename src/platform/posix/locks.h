// What transfers ask of the byte-range locks (locks.cpp).
#ifndef QORVEL_PLATFORM_POSIX_LOCKS_H
#define QORVEL_PLATFORM_POSIX_LOCKS_H

#include <cstdint>

#include "platform/posix/registry.h"

namespace qorvel::platform::posix {

// Whether another handle has locked any of the `count` bytes from the
// descriptor's position (`whence` SEEK_CUR) or from the end of the file
// (SEEK_END). Answers 0, 33 (ERROR_LOCK_VIOLATION) when one has, or the
// translated error of the query. One lock query; two when the first meets a
// read lock.
uint32_t lockedByOthers(int fd, int whence, uint32_t count);

// Gives up the locks this process held through `fd`, whose record ended
// (registry.h), before the descriptor closes. What the kernel refuses goes
// with the descriptor.
void giveUpLocks(int fd, const EndedLocks& locks);

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_LOCKS_H

// Open-file-description locks: the one kernel mechanism beneath share modes
// and byte-range locks. They belong to the open file description, never wait
// (F_OFD_SETLK), and vanish with the description's last descriptor.
#ifndef QORVEL_PLATFORM_POSIX_OFD_LOCKS_H
#define QORVEL_PLATFORM_POSIX_OFD_LOCKS_H

#include <fcntl.h>

#include <cerrno>

namespace qorvel::platform::posix {

// Takes (F_RDLCK, F_WRLCK) or releases (F_UNLCK) [start, start + length).
// Answers 0, or -1 with errno: EAGAIN or EACCES when another description holds
// a conflicting lock. An interrupted call is made again.
int setOfdLock(int fd, short type, off_t start, off_t length);

// The type of a lock held through another description that conflicts with
// `type` over the range: F_UNLCK when none does; -1 with errno on failure.
int conflictingOfdLock(int fd, short type, off_t start, off_t length);

inline bool isOfdLockConflict(int error) { return error == EAGAIN || error == EACCES; }

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_OFD_LOCKS_H

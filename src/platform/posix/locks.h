// The byte-range locks (locks.cpp): the open-file-description (OFD) lock
// calls every lock of the POSIX backend is made of, and what transfers ask
// of the locks.
#ifndef QORVEL_PLATFORM_POSIX_LOCKS_H
#define QORVEL_PLATFORM_POSIX_LOCKS_H

#include <fcntl.h>

#include <cerrno>
#include <cstdint>

#include "platform/posix/registry.h"

namespace qorvel::platform::posix {

// OFD locks, the one kind of lock the POSIX backend takes: they belong to the
// open file description (each handle is its own), never wait, conflict across
// handles and processes, and vanish with the description.

// F_OFD_SETLK (or F_OFD_SETLKW, which waits) of [start, start + length),
// retried on EINTR. Answers 0, or -1 with errno set.
int setOfdLock(int fd, short type, off_t start, off_t length, int command = F_OFD_SETLK);

// F_OFD_GETLK: whether a lock of `type` over the range would meet a lock held
// through another description. Answers true with the first lock in the way
// in *holder (l_type F_UNLCK when there is none), or false with errno set.
// A probe of type F_WRLCK finds every lock, F_RDLCK only write locks.
// `whence` places `start` as lseek does (SEEK_CUR: from the description's
// position; SEEK_END: from the end of the file).
bool findOfdLock(int fd, short type, int whence, off_t start, off_t length, struct flock* holder);

inline bool isOfdLockConflict(int error) { return error == EAGAIN || error == EACCES; }

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

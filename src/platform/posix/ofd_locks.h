// Open-file-description locks, the one kind of lock the POSIX backend takes:
// they belong to the open file description (each handle is its own), never
// wait, conflict across handles and processes, and vanish with the
// description.
#ifndef QORVEL_PLATFORM_POSIX_OFD_LOCKS_H
#define QORVEL_PLATFORM_POSIX_OFD_LOCKS_H

#include <fcntl.h>

#include <cerrno>

namespace qorvel::platform::posix {

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

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_OFD_LOCKS_H

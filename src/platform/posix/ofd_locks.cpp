#include "platform/posix/ofd_locks.h"

#include <cerrno>

#include "platform/posix/syscalls.h"

namespace qorvel::platform::posix {
namespace {

struct flock rangeOf(short type, off_t start, off_t length) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return lock;
}

}  // namespace

int setOfdLock(int fd, short type, off_t start, off_t length) {
    struct flock lock = rangeOf(type, start, length);
    int result;
    do {
        result = sys.fcntlLock(fd, F_OFD_SETLK, &lock);
    } while (result != 0 && errno == EINTR);
    return result;
}

int conflictingOfdLock(int fd, short type, off_t start, off_t length) {
    struct flock lock = rangeOf(type, start, length);
    if (sys.fcntlLock(fd, F_OFD_GETLK, &lock) != 0) return -1;
    return lock.l_type;
}

}  // namespace qorvel::platform::posix

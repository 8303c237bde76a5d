#include "platform/posix/ofd_locks.h"

#include <cerrno>

#include "platform/posix/syscalls.h"

namespace qorvel::platform::posix {
namespace {

struct flock rangeOf(short type, off_t start, off_t length, int whence = SEEK_SET) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = static_cast<short>(whence);
    lock.l_start = start;
    lock.l_len = length;
    return lock;
}

}  // namespace

int setOfdLock(int fd, short type, off_t start, off_t length, int command) {
    struct flock lock = rangeOf(type, start, length);
    return uninterrupted([&] { return sys.fcntlLock(fd, command, &lock); });
}

bool findOfdLock(int fd, short type, int whence, off_t start, off_t length, struct flock* holder) {
    *holder = rangeOf(type, start, length, whence);
    return uninterrupted([&] { return sys.fcntlLock(fd, F_OFD_GETLK, holder); }) == 0;
}

}  // namespace qorvel::platform::posix

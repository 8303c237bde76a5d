// Every system call of the POSIX backend goes through this one table.
//
// In production each entry is the C library's own function. A test can swap
// any entry for one that fails with a chosen errno, and so prove that every
// failing system call comes back as its status and leaks nothing. Entries are
// plain function pointers: a call costs one indirect jump.
#ifndef QORVEL_PLATFORM_POSIX_SYSCALLS_H
#define QORVEL_PLATFORM_POSIX_SYSCALLS_H

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace qorvel::platform::posix {

struct SystemCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void* buffer, size_t count);
    ssize_t (*write)(int fd, const void* buffer, size_t count);
    off_t (*lseek)(int fd, off_t offset, int whence);
    int (*ftruncate)(int fd, off_t length);
    int (*fsync)(int fd);
    int (*fcntlLock)(int fd, int command, struct flock* lock);  // F_OFD_SETLK, F_OFD_GETLK, ...
    int (*fcntlInt)(int fd, int command, int argument);         // F_GETFD, F_GETFL, F_SETFL, ...
    int (*fstat)(int fd, struct stat* status);
    int (*stat)(const char* path, struct stat* status);
    int (*lstat)(const char* path, struct stat* status);
    int (*statx)(int dirfd, const char* path, int flags, unsigned int mask, struct statx* status);
    int (*unlink)(const char* path);
    int (*renameat2)(int fromDir, const char* from, int toDir, const char* to, unsigned int flags);
    int (*link)(const char* from, const char* to);
    int (*mkdir)(const char* path, mode_t mode);
    int (*rmdir)(const char* path);
    int (*chmod)(const char* path, mode_t mode);
    int (*fchmod)(int fd, mode_t mode);
    int (*futimens)(int fd, const struct timespec times[2]);
    char* (*getcwd)(char* buffer, size_t size);
    int (*statvfs)(const char* path, struct statvfs* status);
    ssize_t (*copyFileRange)(int in, off_t* inOffset, int out, off_t* outOffset, size_t count,
                             unsigned int flags);
    ssize_t (*getxattr)(const char* path, const char* name, void* value, size_t size);
    int (*setxattr)(const char* path, const char* name, const void* value, size_t size, int flags);
    int (*removexattr)(const char* path, const char* name);
    int (*fstatfs)(int fd, struct statfs* status);  // the file system's type
    // posix_fadvise, answering -1 and errno like the others.
    int (*fadvise)(int fd, off_t offset, off_t length, int advice);
    // statmount(2) for the magic number of a mount's file system (Linux 6.8).
    int (*statmount)(uint64_t mountId, uint64_t* fileSystemMagic);
};

// The table in force. Tests may replace entries; production code never does.
extern SystemCalls sys;

// The table as the C library provides it, for restoring entries.
extern const SystemCalls kDefaultSystemCalls;

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) sys.close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

// Makes `call` (a system call that answers -1 with errno set on failure)
// again for as long as a signal interrupts it (EINTR): an open of a FIFO, a
// transfer, a lock on a network file system may wait and be interrupted.
// close is never repeated: Linux has released the descriptor all the same.
template <typename Call>
auto uninterrupted(Call call) {
    for (;;) {
        auto result = call();
        if (result != -1 || errno != EINTR) return result;
    }
}

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_SYSCALLS_H

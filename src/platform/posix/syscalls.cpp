#include "platform/posix/syscalls.h"

#include <sys/syscall.h>
#include <sys/xattr.h>
#include <cerrno>
#include <cstddef>
#include <cstdio>

namespace qorvel::platform::posix {
namespace {

// Wrappers where the C library's signature is variadic, or its answer not
// -1 and errno.
int openFile(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int fcntlLock(int fd, int command, struct flock* lock) { return ::fcntl(fd, command, lock); }
int fcntlInt(int fd, int command, int argument) { return ::fcntl(fd, command, argument); }
int fadviseFd(int fd, off_t offset, off_t length, int advice) {
    int error = ::posix_fadvise(fd, offset, length, advice);
    if (error == 0) return 0;
    errno = error;
    return -1;
}

// C library headers older than Linux 6.8 lack the number; it is 457 in the
// table most architectures share (not x32, alpha or MIPS: there the kernel's
// mount record is not asked, and fstatfs answers).
#if !defined(SYS_statmount) && !(defined(__x86_64__) && defined(__ILP32__)) &&               \
    (defined(__x86_64__) || defined(__i386__) || defined(__aarch64__) || defined(__arm__) || \
     defined(__riscv) || defined(__powerpc__) || defined(__s390__) || defined(__loongarch__))
#define SYS_statmount 457
#endif

// The kernel's request and the head of its answer (linux/mount.h); the
// answer is asked for whole, as the kernel lays it out.
struct MountIdRequest {
    uint32_t size;
    uint32_t spare;
    uint64_t mountId;
    uint64_t parameters;
};
struct MountStatus {
    uint32_t size;
    uint32_t spare;
    uint64_t mask;
    uint32_t deviceMajor;
    uint32_t deviceMinor;
    uint64_t magic;
    unsigned char rest[480];
};
static_assert(sizeof(MountIdRequest) == 24, "MNT_ID_REQ_SIZE_VER0");
static_assert(offsetof(MountStatus, magic) == 24 && sizeof(MountStatus) == 512, "struct statmount");
constexpr uint64_t kStatmountSuperBlockBasics = 0x1;  // STATMOUNT_SB_BASIC

int statmountMagic([[maybe_unused]] uint64_t mountId, [[maybe_unused]] uint64_t* fileSystemMagic) {
#ifdef SYS_statmount
    MountIdRequest request = {sizeof request, 0, mountId, kStatmountSuperBlockBasics};
    MountStatus status = {};
    if (::syscall(SYS_statmount, &request, &status, sizeof status, 0) != 0) return -1;
    if (!(status.mask & kStatmountSuperBlockBasics)) {
        errno = ENODATA;
        return -1;
    }
    *fileSystemMagic = status.magic;
    return 0;
#else
    errno = ENOSYS;
    return -1;
#endif
}

}  // namespace

// Constant-initialised, so the table is ready before any static constructor
// of a host can call into the library.
constexpr SystemCalls kDefaultSystemCalls = {
    openFile,   ::close,    ::read,        ::write,   ::lseek,   ::ftruncate,
    ::fsync,    fcntlLock,  fcntlInt,      ::fstat,   ::stat,    ::lstat,
    ::statx,    ::unlink,   ::renameat2,   ::link,    ::mkdir,   ::rmdir,
    ::chmod,    ::fchmod,   ::futimens,    ::getcwd,  ::statvfs, ::copy_file_range,
    ::getxattr, ::setxattr, ::removexattr, ::fstatfs, fadviseFd, statmountMagic,
};
SystemCalls sys = kDefaultSystemCalls;

}  // namespace qorvel::platform::posix

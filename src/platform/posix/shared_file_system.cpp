#include "platform/posix/shared_file_system.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <sstream>
#include <string>

#include "platform/posix/errors.h"
#include "platform/posix/lock_space.h"
#include "platform/posix/locks.h"
#include "platform/posix/registry.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform::posix {
namespace {

// File-system types whose files other machines may append to at the same
// time; each is mounted on no block device of its own. (GFS2 and OCFS2, on
// shared disks, place appends cluster-wide themselves.) Not every header
// names all of them.
constexpr uint32_t kSharedTypes[] = {
    FUSE_SUPER_MAGIC,  // GlusterFS, sshfs, ...: the turn costs little where locks stay local
    NFS_SUPER_MAGIC,   // NFS
    SMB_SUPER_MAGIC,   // SMB (smbfs)
    0xFF534D42u,       // CIFS
    0xFE534D42u,       // SMB2
    CEPH_SUPER_MAGIC,  // CephFS
    V9FS_MAGIC,        // 9p
    AFS_SUPER_MAGIC,   // AFS
    0x6B414653u,       // kAFS
    0x0BD00BD0u,       // Lustre
};

bool isSharedType(uint64_t type) {
    return std::find(std::begin(kSharedTypes), std::end(kSharedTypes), type) !=
           std::end(kSharedTypes);
}

// statx reports a mount's unique identity since Linux 6.8; older kernels
// leave the bit out of the answer.
constexpr unsigned kStatxUniqueMountId = 0x4000;  // STATX_MNT_ID_UNIQUE

// The mount's own record first: the kernel answers it without asking the
// file system, which for a network or FUSE file system is a round trip.
uint32_t fileSystemType(int fd, const struct statx& status, uint64_t* type) {
    if ((status.stx_mask & kStatxUniqueMountId) && sys.statmount(status.stx_mnt_id, type) == 0) {
        return 0;
    }
    struct statfs fileSystem;
    if (sys.fstatfs(fd, &fileSystem) != 0) return win32ErrorFromErrno(errno);
    // f_type is a signed word on some architectures: its bits are the type.
    *type = static_cast<uint32_t>(fileSystem.f_type);
    return 0;
}

int setGate(int fd, short type, int command) {
    return setOfdLock(fd, type, kAppendGate, 1, command);
}

// The files of descriptors on shared file systems this process closed
// lately: a few slots, overwritten in turn, read and written without a lock
// (a slot read while it is being written is at worst not recognised).
struct ClosedFile {
    std::atomic<uint64_t> device;
    std::atomic<uint64_t> inode;
    std::atomic<int64_t> at;  // CLOCK_MONOTONIC, ns; 0: empty
};
constexpr unsigned kClosedSlots = 16;
ClosedFile gClosed[kClosedSlots];
std::atomic<unsigned> gNextClosed{0};

// How long after a close its file counts as closed a moment ago, and how
// many times an open is tried again within that.
constexpr int64_t kRecentClose = 2'000'000'000;
constexpr unsigned kRetries = 12;

bool isFile(const ClosedFile& closed, const FileIdentity& file) {
    return closed.device.load(std::memory_order_relaxed) == uint64_t(file.device) &&
           closed.inode.load(std::memory_order_relaxed) == uint64_t(file.inode);
}

int64_t nowNanoseconds() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void noteClosed(const FileIdentity& file) {
    ClosedFile& slot = gClosed[gNextClosed.fetch_add(1, std::memory_order_relaxed) % kClosedSlots];
    slot.at.store(0, std::memory_order_relaxed);
    slot.device.store(uint64_t(file.device), std::memory_order_relaxed);
    slot.inode.store(uint64_t(file.inode), std::memory_order_relaxed);
    slot.at.store(nowNanoseconds(), std::memory_order_release);
}

// Whether the file's locks are kept by Ceph's metadata server: a CephFS
// mount of the kernel's client, or of ceph-fuse (a FUSE mount of subtype
// ceph-fuse, which only /proc/self/mountinfo names).
bool locksKeptByCeph(int fd) {
    struct statx status;
    if (sys.statx(fd, "", AT_EMPTY_PATH, kStatxUniqueMountId, &status) != 0) return false;
    uint64_t type = 0;
    if (fileSystemType(fd, status, &type) != 0) return false;
    if (type == CEPH_SUPER_MAGIC) return true;
    if (type != FUSE_SUPER_MAGIC) return false;
    std::ifstream mounts("/proc/self/mountinfo");
    const std::string device =
        std::to_string(status.stx_dev_major) + ":" + std::to_string(status.stx_dev_minor);
    for (std::string line; std::getline(mounts, line);) {
        // "ID PARENT MAJOR:MINOR ROOT POINT OPTIONS [TAGS] - TYPE SOURCE ..."
        std::istringstream fields(line);
        std::string id, parent, numbers;
        fields >> id >> parent >> numbers;
        if (numbers != device) continue;
        size_t separator = line.find(" - ");
        return separator != std::string::npos &&
               line.compare(separator + 3, sizeof "fuse.ceph-fuse " - 1, "fuse.ceph-fuse ") == 0;
    }
    return false;
}

// Ceph's metadata server can lose track of a waiter for a lock: when the
// waiting process is killed just as the server grants it the lock, the
// client gives up the request, and the lock is held on for a description
// that no longer exists, until its client's session ends (measured with
// ceph-fuse: 2 of 95 kills around the hand-over left the gate held, and 17
// of 20 runs of the appenders' kill stress stood still). A request that
// does not wait is never given up: it is answered, and a lock it got is
// released with its description. So there the gate is asked for again and
// again, a little later each time, instead of waited for; elsewhere a busy
// gate is waited for in the file server.
int waitForGate(int fd) {
    if (setGate(fd, F_WRLCK, F_OFD_SETLK) == 0) return 0;
    if ((errno != EAGAIN && errno != EACCES) || !locksKeptByCeph(fd)) {
        return setGate(fd, F_WRLCK, F_OFD_SETLKW);
    }
    constexpr long kLongestPause = 16L * 1000 * 1000;  // ns: a few appends on CephFS
    long pause = 500L * 1000;
    while (setGate(fd, F_WRLCK, F_OFD_SETLK) != 0) {
        if (errno != EAGAIN && errno != EACCES) return -1;
        struct timespec interval = {0, pause};
        nanosleep(&interval, nullptr);
        pause = pause * 2 > kLongestPause ? kLongestPause : pause * 2;
    }
    return 0;
}

// The size a FORCE_SYNC statx answers is the server's, but a FUSE kernel
// keeps it only when no other answer about the file (another process's
// lookup or stat, asked earlier) was applied while it was asked; then it
// keeps that older answer's size (measured on ceph-fuse: 20 of 7,659 while
// six processes of the same mount opened and stat'ed the file, 0 of 6,812
// without them). An O_APPEND write goes to the kernel's size, over the end
// of the previous appender's text, and a read under a lock stops there. So
// the size is asked again while the kernel's is behind it: an answer asked
// before the one the kernel applied last is no longer applied, one asked
// after it is current. Bounded, for a client that never takes the server's
// size (a FUSE writeback cache): there nothing changes.
constexpr unsigned kSizeAttempts = 16;

uint32_t refreshSize(int fd, struct statx* status, unsigned asked = STATX_SIZE) {
    for (unsigned attempt = 0; attempt < kSizeAttempts; ++attempt) {
        if (sys.statx(fd, "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC, asked, status) != 0) {
            return win32ErrorFromErrno(errno);
        }
        struct statx kept;
        if (sys.statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_SIZE, &kept) != 0 ||
            kept.stx_size >= status->stx_size) {
            break;
        }
    }
    return 0;
}

uint32_t refreshSize(int fd) {
    struct statx status;
    return refreshSize(fd, &status);
}

// On FUSE, the append's writes go direct (the header: an appender killed in
// the middle of its write). A client that refuses writes through its cache.
void sendInOneRequest(int fd, const struct statx& status) {
    uint64_t type = 0;
    if (!(status.stx_mask & kStatxUniqueMountId) || sys.statmount(status.stx_mnt_id, &type) != 0 ||
        type != FUSE_SUPER_MAGIC) {
        return;
    }
    int flags = sys.fcntlInt(fd, F_GETFL, 0);
    if (flags >= 0 && !(flags & O_DIRECT)) sys.fcntlInt(fd, F_SETFL, flags | O_DIRECT);
}

}  // namespace

uint32_t describeOpenedFile(int fd, OpenedFile* file) {
    struct statx status;
    // All that fstat asks: the mode must be the server's, and FUSE and NFS
    // clients refresh their cached attributes for this request as for fstat
    // (for fewer fields they may answer from the cache).
    constexpr unsigned kAsked = STATX_BASIC_STATS | kStatxUniqueMountId;
    if (sys.statx(fd, "", AT_EMPTY_PATH, kAsked, &status) != 0) return win32ErrorFromErrno(errno);
    file->mode = status.stx_mode;
    file->device = makedev(status.stx_dev_major, status.stx_dev_minor);
    file->inode = status.stx_ino;
    file->onSharedFileSystem = false;
    // A directory is refused by the caller: nothing to ask.
    if (status.stx_dev_major != 0 || S_ISDIR(file->mode)) return 0;
    uint64_t type = 0;
    if (uint32_t error = fileSystemType(fd, status, &type); error != 0) return error;
    file->onSharedFileSystem = isSharedType(type);
    return 0;
}

uint32_t beginAppend(int fd) {
    // Blocks until the holder writes and syncs, is killed, or its client is
    // lost; the file server hands the gate on in the order it was asked
    // (CephFS: in the order the waiters ask again).
    if (waitForGate(fd) != 0) return win32ErrorFromErrno(errno);
    addFacts(fd, kHoldsAppendGate);
    struct statx status;
    uint32_t error = refreshSize(fd, &status, STATX_SIZE | kStatxUniqueMountId);
    if (error != 0) {
        setGate(fd, F_UNLCK, F_OFD_SETLK);
        return error;
    }
    sendInOneRequest(fd, status);
    return 0;
}

// The gate stays held until the handle closes, which gives it up
// (closeDescription): the appender's next append needs no round trip to
// take it again.
uint32_t endAppend(int fd) { return sys.fsync(fd) == 0 ? 0 : win32ErrorFromErrno(errno); }

const void* appendSource(const void* text, uint32_t count, std::unique_ptr<char[]>* copy) {
    if (count > kWholeAppend) return text;
    copy->reset(new (std::nothrow) char[count]);
    if (!*copy) return text;
    std::memcpy(copy->get(), text, count);
    return copy->get();
}

uint32_t refreshLockedRange(int fd, uint64_t start, uint64_t length) {
    if (uint32_t error = refreshSize(fd); error != 0) return error;
    // Pages a client holds dirty (one that caches writes) are kept: they are
    // this handle's own bytes, under its lock.
    sys.fadvise(fd, off_t(start), off_t(length), POSIX_FADV_DONTNEED);
    return 0;
}

void noteWrite(int fd) { addFacts(fd, kUnpushedWrites); }

uint32_t pushWrites(int fd) {
    if (!takeFacts(fd, kUnpushedWrites)) return 0;
    if (sys.fsync(fd) == 0) return 0;
    uint32_t error = win32ErrorFromErrno(errno);
    addFacts(fd, kUnpushedWrites);
    return error;
}

int closeDescription(int fd, const Released& record) {
    if (!(record.facts & kOnSharedFileSystem)) return sys.close(fd);
    if (!record.mayBeInherited) {
        // Length 0: to the end of the lock space.
        setOfdLock(fd, F_UNLCK, 0, 0);
    } else {
        if (record.facts & kHoldsAppendGate) setGate(fd, F_UNLCK, F_OFD_SETLK);
        noteClosed(record.file);
    }
    return sys.close(fd);
}

bool closedMomentsAgo(const FileIdentity& file) {
    int64_t now = nowNanoseconds();
    for (const ClosedFile& closed : gClosed) {
        int64_t at = closed.at.load(std::memory_order_acquire);
        if (at != 0 && now - at < kRecentClose && isFile(closed, file)) return true;
    }
    return false;
}

bool waitBeforeRetry(unsigned attempt) {
    if (attempt >= kRetries) return false;
    // 1, 2, 4, ... 64 ms, then 64 ms each: about half a second in all.
    int64_t wait = int64_t(1'000'000) << (attempt < 6 ? attempt : 6);
    struct timespec pause = {0, long(wait)};
    uninterrupted([&] { return nanosleep(&pause, &pause); });
    return true;
}

}  // namespace qorvel::platform::posix

#include "platform/posix/shared_file_system.h"

#include <linux/magic.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <thread>

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

// statx reports a mount's unique identity since Linux 6.8; older kernels
// leave the bit out of the answer.
constexpr unsigned kStatxUniqueMountId = 0x4000;  // STATX_MNT_ID_UNIQUE

// The type of the file system from its mount's own record: the kernel
// answers it without asking the file system, which for a network or FUSE
// file system is a round trip. False where the kernel names no mount.
bool mountRecordType(const struct statx& status, uint64_t* type) {
    return (status.stx_mask & kStatxUniqueMountId) && sys.statmount(status.stx_mnt_id, type) == 0;
}

uint32_t fileSystemType(int fd, const struct statx& status, uint64_t* type) {
    if (mountRecordType(status, type)) return 0;
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
    std::atomic<int64_t> at;  // steady clock, ns; 0: empty
};
constexpr unsigned kClosedSlots = 16;
ClosedFile gClosed[kClosedSlots];
std::atomic<unsigned> gNextClosed{0};

// How long after a close its file counts as closed a moment ago, and how
// many times an open is tried again within that.
constexpr int64_t kRecentClose = 2'000'000'000;
constexpr unsigned kRetries = 12;

int64_t nowNanoseconds() {
    return std::chrono::nanoseconds(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void noteClosed(const FileIdentity& file) {
    ClosedFile& slot = gClosed[gNextClosed.fetch_add(1, std::memory_order_relaxed) % kClosedSlots];
    slot.at.store(0, std::memory_order_relaxed);
    slot.device.store(uint64_t(file.device), std::memory_order_relaxed);
    slot.inode.store(uint64_t(file.inode), std::memory_order_relaxed);
    slot.at.store(nowNanoseconds(), std::memory_order_release);
}

bool closedMomentsAgo(const FileIdentity& file) {
    int64_t now = nowNanoseconds();
    for (const ClosedFile& closed : gClosed) {
        int64_t at = closed.at.load(std::memory_order_acquire);
        if (at != 0 && now - at < kRecentClose &&
            closed.device.load(std::memory_order_relaxed) == uint64_t(file.device) &&
            closed.inode.load(std::memory_order_relaxed) == uint64_t(file.inode)) {
            return true;
        }
    }
    return false;
}

// Whether the file's locks are kept by Ceph's metadata server: a CephFS
// mount of the kernel's client, or of ceph-fuse (a FUSE mount of subtype
// ceph-fuse, which only /proc/self/mountinfo names).
bool locksKeptByCeph(int fd) {
    struct statx status;
    uint64_t type = 0;
    if (sys.statx(fd, "", AT_EMPTY_PATH, kStatxUniqueMountId, &status) != 0 ||
        fileSystemType(fd, status, &type) != 0) {
        return false;
    }
    if (type != FUSE_SUPER_MAGIC) return type == CEPH_SUPER_MAGIC;
    const std::string device =
        std::to_string(status.stx_dev_major) + ":" + std::to_string(status.stx_dev_minor);
    std::ifstream mounts("/proc/self/mountinfo");
    std::string id, parent, numbers, rest;
    // "ID PARENT MAJOR:MINOR ROOT POINT OPTIONS [TAGS] - TYPE SOURCE ...", one
    // mount a line; spaces inside a field are escaped: " - " is the separator.
    while (mounts >> id >> parent >> numbers && std::getline(mounts, rest)) {
        if (numbers == device) return rest.find(" - fuse.ceph-fuse ") != std::string::npos;
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
    std::chrono::microseconds pause(500);
    while (setGate(fd, F_WRLCK, F_OFD_SETLK) != 0) {
        if (errno != EAGAIN && errno != EACCES) return -1;
        std::this_thread::sleep_for(pause);
        // At most the time of a few appends on CephFS.
        pause = std::min(pause * 2, std::chrono::microseconds(16'000));
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
// size (a FUSE writeback cache): there nothing changes. The answer names
// the mount too (sendInOneRequest).
constexpr unsigned kSizeAttempts = 16;

uint32_t refreshSize(int fd, struct statx* status) {
    constexpr unsigned kAsked = STATX_SIZE | kStatxUniqueMountId;
    for (unsigned attempt = 0; attempt < kSizeAttempts; ++attempt) {
        if (sys.statx(fd, "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC, kAsked, status) != 0) {
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

// On FUSE, the append's writes go direct (the header: an appender killed in
// the middle of its write). A client that refuses writes through its cache.
void sendInOneRequest(int fd, const struct statx& status) {
    uint64_t type = 0;
    if (!mountRecordType(status, &type) || type != FUSE_SUPER_MAGIC) return;
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
    *file = {status.stx_mode, makedev(status.stx_dev_major, status.stx_dev_minor), status.stx_ino};
    // A directory is refused by the caller: nothing to ask.
    if (status.stx_dev_major != 0 || S_ISDIR(file->mode)) return 0;
    uint64_t type = 0;
    if (uint32_t error = fileSystemType(fd, status, &type); error != 0) return error;
    file->onSharedFileSystem =
        std::find(std::begin(kSharedTypes), std::end(kSharedTypes), type) != std::end(kSharedTypes);
    return 0;
}

uint32_t beginAppend(int fd) {
    // Blocks until the holder writes and syncs, is killed, or its client is
    // lost; the file server hands the gate on in the order it was asked
    // (CephFS: in the order the waiters ask again).
    if (waitForGate(fd) != 0) return win32ErrorFromErrno(errno);
    addFacts(fd, kHoldsAppendGate);
    struct statx status;
    if (uint32_t error = refreshSize(fd, &status); error != 0) {
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

bool retriesOpen(uint32_t error, uint8_t facts, const FileIdentity& file, unsigned attempt) {
    if (error != win32error::kSharingViolation || !onSharedFileSystem(facts) ||
        attempt >= kRetries || !closedMomentsAgo(file)) {
        return false;
    }
    // 1, 2, 4, ... 64 ms, then 64 ms each: about half a second in all.
    std::this_thread::sleep_for(std::chrono::milliseconds(1 << std::min(attempt, 6u)));
    return true;
}

void afterWrite(int fd, uint8_t facts) {
    if (onSharedFileSystem(facts)) addFacts(fd, kUnpushedWrites);
}

uint32_t afterLock(int fd, uint8_t facts, uint64_t start, uint64_t length) {
    if (!onSharedFileSystem(facts)) return 0;
    struct statx status;
    if (uint32_t error = refreshSize(fd, &status); error != 0) return error;
    // Pages a client holds dirty (one that caches writes) are kept: they are
    // this handle's own bytes, under its lock.
    sys.fadvise(fd, off_t(start), off_t(length), POSIX_FADV_DONTNEED);
    return 0;
}

uint32_t beforeUnlock(int fd, uint8_t facts) {
    if (!onSharedFileSystem(facts) || !takeFacts(fd, kUnpushedWrites)) return 0;
    if (sys.fsync(fd) == 0) return 0;
    uint32_t error = win32ErrorFromErrno(errno);
    addFacts(fd, kUnpushedWrites);
    return error;
}

int closeDescription(int fd, const Released& record) {
    if (onSharedFileSystem(record.facts) && !record.mayBeInherited) {
        setOfdLock(fd, F_UNLCK, 0, 0);  // length 0: to the end of the lock space
    } else if (onSharedFileSystem(record.facts)) {
        if (record.facts & kHoldsAppendGate) setGate(fd, F_UNLCK, F_OFD_SETLK);
        noteClosed(record.file);
    }
    return sys.close(fd);
}

}  // namespace qorvel::platform::posix

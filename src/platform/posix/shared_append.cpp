#include "platform/posix/shared_append.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <cerrno>
#include <cstdint>

#include "platform/posix/errors.h"
#include "platform/posix/handles.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform::posix {
namespace {

// The gate: the first byte after the share-mode regions, which no other lock
// of the library reaches.
constexpr off_t kAppendGate = kShareAreaEnd;
static_assert(kAppendGate > kLockCallSpaceEnd, "the gate lies beyond the byte-range locks");

// File-system types whose files other machines may append to at the same time.
// Not every header names all of them.
constexpr uint32_t kSharedTypes[] = {
    FUSE_SUPER_MAGIC,   // GlusterFS, sshfs, ...: the turn costs little where locks stay local
    NFS_SUPER_MAGIC,    // NFS
    SMB_SUPER_MAGIC,    // SMB (smbfs)
    0xFF534D42u,        // CIFS
    0xFE534D42u,        // SMB2
    CEPH_SUPER_MAGIC,   // CephFS
    V9FS_MAGIC,         // 9p
    AFS_SUPER_MAGIC,    // AFS
    0x6B414653u,        // kAFS
    0x0BD00BD0u,        // Lustre
    0x01161970u,        // GFS2
    OCFS2_SUPER_MAGIC,  // OCFS2
};

bool isSharedType(uint32_t type) {
    for (uint32_t shared : kSharedTypes) {
        if (shared == type) return true;
    }
    return false;
}

bool needsTurn(int fd, bool* needs) {
    struct statfs fileSystem;
    if (sys.fstatfs(fd, &fileSystem) != 0) return failWithErrno(errno);
    // f_type is a signed word on some architectures: its bits are the type.
    *needs = isSharedType(static_cast<uint32_t>(fileSystem.f_type));
    return true;
}

int setGate(int fd, short type, int command) {
    struct flock gate = {};
    gate.l_type = type;
    gate.l_whence = SEEK_SET;
    gate.l_start = kAppendGate;
    gate.l_len = 1;
    int result;
    do {
        result = sys.fcntlLock(fd, command, &gate);
    } while (result != 0 && errno == EINTR);
    return result;
}

// Gives the gate back, keeping the failure the caller is about to answer.
bool releaseGate(int fd, bool result) {
    uint32_t error = lastError();
    setGate(fd, F_UNLCK, F_OFD_SETLK);
    setLastError(error);
    return result;
}

bool refreshSize(int fd) {
    struct statx status;
    if (sys.statx(fd, "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC, STATX_SIZE, &status) == 0) {
        return true;
    }
    return failWithErrno(errno);
}

}  // namespace

bool beginAppend(int fd, AppendTurn* turn) {
    turn->gateHolder = -1;
    bool needs = false;
    if (!needsTurn(fd, &needs)) return false;
    if (!needs) return true;
    // Blocks until the holder writes and syncs, is killed, or its client is
    // lost; the file server hands the gate on in the order it was asked.
    if (setGate(fd, F_WRLCK, F_OFD_SETLKW) != 0) return failWithErrno(errno);
    if (!refreshSize(fd)) return releaseGate(fd, false);
    turn->gateHolder = fd;
    return true;
}

// The gate stays held until the handle closes: closeHandle gives up every
// lock of the description in one request before it closes (ofd_locks.h),
// which saves the appender a round trip of its own. The append handle is
// closed right after its write, and writing again through the same handle
// takes the gate it holds already.
bool endAppend(const AppendTurn& turn, bool written) {
    if (turn.gateHolder < 0 || !written) return written;
    return sys.fsync(turn.gateHolder) == 0 || failWithErrno(errno);
}

}  // namespace qorvel::platform::posix

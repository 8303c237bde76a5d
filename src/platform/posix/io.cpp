// ReadFile, WriteFile, SetFilePointer and SetEndOfFile for POSIX, with the
// results Windows gives.
#include <sys/stat.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/handles.h"
#include "platform/posix/shared_append.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform {
namespace posix {
namespace {

// Where the last successful setFilePointer of this thread left a descriptor's
// pointer. SetEndOfFile ends the file at the current position, which POSIX can
// only learn with a system call of its own; the size change always moves the
// pointer just before it sets the end, so the position that move produced is
// known already. Every other call that moves the pointer forgets it.
struct LastMove {
    int fd = -1;
    off_t position = 0;
};
thread_local LastMove tLastMove;

void forgetLastMove() { tLastMove.fd = -1; }

// The kernel refuses a transfer that a descriptor's access mode does not
// allow with EBADF, as it refuses a descriptor that is not open: one that is
// open was refused for lack of access.
uint32_t transferError(int fd, int error) {
    if (error == EBADF && sys.fcntlInt(fd, F_GETFD, 0) != -1) return win32error::kAccessDenied;
    return win32ErrorFromErrno(error);
}

// Windows' byte-range locks are mandatory: a transfer through one handle of
// bytes that another handle has locked is refused whole, before anything
// moves. One lock query through the handle's own description asks about the
// bytes from where it stands (or, for an append, from the end); the kernel
// never shows a description its own locks. A handle that shares nothing has
// no other handle to meet.
bool refusedByLocks(int fd, uint32_t count, bool atEnd) {
    if (count == 0 || sharesNothing(fd)) return false;
    bool locked = false;
    bool asked = atEnd ? lockedAtEnd(fd, count, &locked) : lockedAtPosition(fd, count, &locked);
    if (!asked) return true;
    if (locked) fail(win32error::kLockViolation);
    return locked;
}

// ftruncate gives EINVAL for a descriptor not open for writing, for a
// directory and for a size too large alike. Windows checks the handle's
// access first (5) and answers 87 only for the other two.
uint32_t endOfFileError(int fd, int error) {
    if (error != EINVAL) return win32ErrorFromErrno(error);
    int flags = sys.fcntlInt(fd, F_GETFL, 0);
    struct stat status;
    bool writable = (flags & O_ACCMODE) == O_WRONLY || (flags & O_ACCMODE) == O_RDWR;
    if (flags == -1 || writable || sys.fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        return win32error::kInvalidParameter;
    }
    return win32error::kAccessDenied;
}

// A synchronous WriteFile to a file writes everything or fails. The kernel
// may stop short (a signal, a full disk, a size limit): the rest is written
// by further calls until the whole count is written or an error stops it,
// and the count then says what really reached the file.
bool writeWhole(Handle handle, const void* buffer, uint32_t count, uint32_t* transferred) {
    const char* bytes = static_cast<const char*>(buffer);
    uint32_t done = 0;
    for (;;) {
        ssize_t written = sys.write(handle, bytes + done, count - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            *transferred = done;
            return fail(transferError(handle, errno));
        }
        done += static_cast<uint32_t>(written);
        if (done == count) break;
        if (written == 0) {
            // No progress and no error: the device takes nothing more.
            *transferred = done;
            return fail(win32error::kWriteFault);
        }
    }
    *transferred = done;
    return true;
}

int whenceFor(uint32_t moveMethod) {
    switch (moveMethod) {
        case kFileBegin: return SEEK_SET;
        case kFileCurrent: return SEEK_CUR;
        case kFileEnd: return SEEK_END;
        default: return -1;
    }
}

}  // namespace
}  // namespace posix

using namespace posix;

bool readFile(Handle handle, void* buffer, uint32_t count, uint32_t* transferred) {
    *transferred = 0;
    forgetLastMove();
    if (isNullHandle(handle)) return fail(win32error::kInvalidHandle);
    if (refusedByLocks(handle, count, false)) return false;
    ssize_t got;
    do {
        got = sys.read(handle, buffer, count);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return fail(transferError(handle, errno));
    *transferred = static_cast<uint32_t>(got);
    return true;
}

bool writeFile(Handle handle, const void* buffer, uint32_t count, uint32_t* transferred) {
    *transferred = 0;
    forgetLastMove();
    if (isNullHandle(handle)) return fail(win32error::kInvalidHandle);
    if (refusedByLocks(handle, count, false)) return false;
    return writeWhole(handle, buffer, count, transferred);
}

// An O_APPEND descriptor: the kernel moves to the end and writes under the
// file's lock, one step for each write. On a file system other machines
// share, the write is bracketed by a cluster-wide turn (shared_append.h),
// which also tells the look for others' locks where the end is. The look and
// the write are two steps: a lock taken between them does not stop the
// append.
bool appendFile(Handle handle, const void* buffer, uint32_t count, uint32_t* transferred) {
    *transferred = 0;
    forgetLastMove();
    if (isNullHandle(handle)) return fail(win32error::kInvalidHandle);
    AppendTurn turn;
    if (!beginAppend(handle, &turn)) return false;
    bool written =
        !refusedByLocks(handle, count, true) && writeWhole(handle, buffer, count, transferred);
    return endAppend(turn, written);
}

uint32_t setFilePointer(Handle handle, int32_t distanceLow, int32_t* distanceHigh,
                        uint32_t moveMethod) {
    forgetLastMove();
    if (isNullHandle(handle)) {
        fail(win32error::kInvalidHandle);
        return kInvalidSetFilePointer;
    }
    int whence = whenceFor(moveMethod);
    if (whence < 0) {
        fail(win32error::kInvalidParameter);
        return kInvalidSetFilePointer;
    }
    int64_t distance =
        distanceHigh != nullptr
            ? int64_t((uint64_t(uint32_t(*distanceHigh)) << 32) | uint32_t(distanceLow))
            : int64_t(distanceLow);
    if (whence == SEEK_SET && distance < 0) {
        fail(win32error::kNegativeSeek);
        return kInvalidSetFilePointer;
    }
    off_t position;
    do {
        position = sys.lseek(handle, distance, whence);
    } while (position < 0 && errno == EINTR);
    if (position < 0) {
        // lseek answers EINVAL for a move before the start of the file.
        fail(errno == EINVAL ? win32error::kNegativeSeek : win32ErrorFromErrno(errno));
        return kInvalidSetFilePointer;
    }
    tLastMove = {handle, position};
    if (distanceHigh != nullptr) *distanceHigh = static_cast<int32_t>(uint64_t(position) >> 32);
    uint32_t low = static_cast<uint32_t>(position);
    // The failure marker is also a real low half: say that it is not one.
    if (low == kInvalidSetFilePointer) setLastError(win32error::kSuccess);
    return low;
}

bool setEndOfFile(Handle handle) {
    LastMove lastMove = tLastMove;
    forgetLastMove();
    if (isNullHandle(handle)) return fail(win32error::kInvalidHandle);
    off_t end = lastMove.position;
    if (lastMove.fd != handle) {
        end = sys.lseek(handle, 0, SEEK_CUR);
        // An O_PATH descriptor (no data access) cannot even tell its position.
        if (end < 0) return fail(transferError(handle, errno));
    }
    int result;
    do {
        result = sys.ftruncate(handle, end);
    } while (result != 0 && errno == EINTR);
    if (result != 0) return fail(endOfFileError(handle, errno));
    return true;
}

}  // namespace qorvel::platform

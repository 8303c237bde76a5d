// ReadFile, WriteFile, SetFilePointer and SetEndOfFile for POSIX, with the
// results Windows gives.
#include <cerrno>
#include <memory>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/locks.h"
#include "platform/posix/paths.h"
#include "platform/posix/registry.h"
#include "platform/posix/shared_file_system.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform {
namespace posix {
namespace {

// The kernel refuses a transfer that a descriptor's access mode does not
// allow with EBADF, as it refuses a descriptor that is not open: one that is
// open was refused for lack of access.
uint32_t transferError(int fd, int error) {
    if (error == EBADF && sys.fcntlInt(fd, F_GETFD, 0) != -1) return win32error::kAccessDenied;
    return win32ErrorFromErrno(error);
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

// A synchronous WriteFile to a file writes everything or fails: short
// writes are continued, and the count says what really reached the file.
bool writeWhole(Handle handle, const void* buffer, uint32_t count, uint32_t* transferred) {
    Written written = writeAll(handle, buffer, count);
    *transferred = static_cast<uint32_t>(written.count);
    if (written.count == count) return true;
    // No progress and no error: the device takes nothing more.
    if (written.error == 0) return fail(win32error::kWriteFault);
    return fail(transferError(handle, written.error));
}

uint32_t failToMove(uint32_t error) { return failAnswering(kInvalidSetFilePointer, error); }

static_assert(kFileBegin == SEEK_SET && kFileCurrent == SEEK_CUR && kFileEnd == SEEK_END,
              "a move method is its whence");

}  // namespace
}  // namespace posix

using namespace posix;

bool readFile(Handle handle, void* buffer, uint32_t count, uint32_t* transferred) {
    *transferred = 0;
    if (isNullHandle(handle)) return fail(win32error::kInvalidHandle);
    // Windows' byte-range locks are mandatory: a transfer of bytes another
    // handle has locked is refused whole, before anything moves (locks.h).
    if (uint32_t error = lockedByOthers(handle, SEEK_CUR, count); error != 0) return fail(error);
    ssize_t got = uninterrupted([&] { return sys.read(handle, buffer, count); });
    if (got < 0) return fail(transferError(handle, errno));
    *transferred = static_cast<uint32_t>(got);
    return true;
}

bool writeFile(Handle handle, const void* buffer, uint32_t count, uint32_t* transferred) {
    *transferred = 0;
    if (isNullHandle(handle)) return fail(win32error::kInvalidHandle);
    if (uint32_t error = lockedByOthers(handle, SEEK_CUR, count); error != 0) return fail(error);
    bool written = writeWhole(handle, buffer, count, transferred);
    if (*transferred > 0) afterWrite(handle, factsOf(handle));
    return written;
}

// An O_APPEND descriptor: the kernel moves to the end and writes under the
// file's lock, one step for each write. On a file system other machines
// share, the write is bracketed by a cluster-wide turn (shared_file_system.h),
// which also tells the look for others' locks where the end is. The look and
// the write are two steps: a lock taken between them does not stop the
// append.
bool appendFile(Handle handle, const void* buffer, uint32_t count, uint32_t* transferred) {
    *transferred = 0;
    if (isNullHandle(handle)) return fail(win32error::kInvalidHandle);
    bool takesTurn = onSharedFileSystem(factsOf(handle));
    if (uint32_t error = takesTurn ? beginAppend(handle) : 0; error != 0) return fail(error);
    if (uint32_t error = lockedByOthers(handle, SEEK_END, count); error != 0) return fail(error);
    std::unique_ptr<char[]> copy;
    if (takesTurn) buffer = appendSource(buffer, count, &copy);
    if (!writeWhole(handle, buffer, count, transferred)) return false;
    uint32_t error = takesTurn ? endAppend(handle) : 0;
    return error == 0 || fail(error);
}

uint32_t setFilePointer(Handle handle, int32_t distanceLow, int32_t* distanceHigh,
                        uint32_t moveMethod) {
    if (isNullHandle(handle)) return failToMove(win32error::kInvalidHandle);
    if (moveMethod > kFileEnd) return failToMove(win32error::kInvalidParameter);
    int whence = int(moveMethod);
    int64_t distance =
        distanceHigh != nullptr
            ? int64_t((uint64_t(uint32_t(*distanceHigh)) << 32) | uint32_t(distanceLow))
            : int64_t(distanceLow);
    if (whence == SEEK_SET && distance < 0) return failToMove(win32error::kNegativeSeek);
    off_t position = uninterrupted([&] { return sys.lseek(handle, distance, whence); });
    // lseek answers EINVAL for a move before the start of the file.
    if (position < 0) {
        return failToMove(errno == EINVAL ? win32error::kNegativeSeek : win32ErrorFromErrno(errno));
    }
    if (distanceHigh != nullptr) *distanceHigh = static_cast<int32_t>(uint64_t(position) >> 32);
    uint32_t low = static_cast<uint32_t>(position);
    // The failure marker is also a real low half: say that it is not one.
    if (low == kInvalidSetFilePointer) setLastError(win32error::kSuccess);
    return low;
}

bool setEndOfFile(Handle handle, uint64_t position) {
    if (isNullHandle(handle)) return fail(win32error::kInvalidHandle);
    int result = uninterrupted([&] { return sys.ftruncate(handle, off_t(position)); });
    if (result != 0) return fail(endOfFileError(handle, errno));
    afterWrite(handle, factsOf(handle));
    return true;
}

}  // namespace qorvel::platform

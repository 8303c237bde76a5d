#include "platform/posix/errors.h"

#include <sys/stat.h>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix/paths.h"

namespace qorvel::platform {
namespace {
thread_local uint32_t tLastError = 0;
}  // namespace

uint32_t lastError() { return tLastError; }
void setLastError(uint32_t error) { tLastError = error; }

namespace posix {
namespace {

struct ErrnoRow {
    int error;
    uint32_t win32;
};

// Where one errno stands for several Win32 answers, the call site refines it
// (ENOENT by path, ENOTDIR for RemoveDirectoryA, EAGAIN for locks).
constexpr ErrnoRow kErrnoTable[] = {
    {EPERM, win32error::kAccessDenied},
    {ENOENT, win32error::kFileNotFound},
    {EIO, win32error::kIoDevice},
    {ENXIO, win32error::kNotReady},
    {EBADF, win32error::kInvalidHandle},
    {EAGAIN, win32error::kBusy},
    {ENOMEM, win32error::kNotEnoughMemory},
    {EACCES, win32error::kAccessDenied},
    {EFAULT, win32error::kNoAccess},
    {EBUSY, win32error::kBusy},
    {EEXIST, win32error::kAlreadyExists},
    {EXDEV, win32error::kNotSameDevice},
    {ENODEV, win32error::kInvalidDrive},
    {ENOTDIR, win32error::kPathNotFound},
    {EISDIR, win32error::kAccessDenied},
    {EINVAL, win32error::kInvalidParameter},
    {ENFILE, win32error::kTooManyOpenFiles},
    {EMFILE, win32error::kTooManyOpenFiles},
    {ETXTBSY, win32error::kSharingViolation},
    {EFBIG, win32error::kFileTooLarge},
    {ENOSPC, win32error::kDiskFull},
    {ESPIPE, win32error::kNegativeSeek},
    {EROFS, win32error::kWriteProtect},
    {EMLINK, win32error::kTooManyLinks},
    {EPIPE, win32error::kBrokenPipe},
    {EDEADLK, win32error::kLockViolation},
    {ENAMETOOLONG, win32error::kFilenameExcedRange},
    {ENOLCK, win32error::kSharingBufferExceeded},
    {ENOSYS, win32error::kNotSupported},
    {ENOTEMPTY, win32error::kDirNotEmpty},
    {ELOOP, win32error::kCantResolveFilename},
    {EOVERFLOW, win32error::kFileTooLarge},
    {ESTALE, win32error::kInvalidHandle},
    {EDQUOT, win32error::kDiskFull},
    {EOPNOTSUPP, win32error::kNotSupported},
    {EILSEQ, win32error::kInvalidName},
    {ETIMEDOUT, win32error::kTimeout},
    {ECANCELED, win32error::kOperationAborted},
    {ENOMEDIUM, win32error::kNotReady},
    {EREMOTEIO, win32error::kIoDevice},
};

}  // namespace

uint32_t win32ErrorFromErrno(int error) {
    for (const ErrnoRow& row : kErrnoTable) {
        if (row.error == error) return row.win32;
    }
    return kUnmappedError;
}

uint32_t win32ErrorForPath(int error, const char* path) {
    size_t length = path != nullptr ? std::strlen(path) : 0;
    // Windows refuses a path string of 261 bytes or more with 206, and a
    // single overlong name in a shorter string as a missing file.
    if (error == ENAMETOOLONG) {
        return length >= 261 ? win32error::kFilenameExcedRange : win32error::kFileNotFound;
    }
    // "file/" names a file as if it were a directory: an invalid name.
    if (error == ENOTDIR && length > 0 && path[length - 1] == '/') return win32error::kInvalidName;
    if (error != ENOENT) return win32ErrorFromErrno(error);
    if (length == 0) return win32error::kPathNotFound;
    bool parentExists = isDirectory(splitPath(path).directory.c_str());
    return parentExists ? win32error::kFileNotFound : win32error::kPathNotFound;
}

bool fail(uint32_t win32Error) {
    setLastError(win32Error);
    return false;
}

bool failWithErrno(int error) { return fail(win32ErrorFromErrno(error)); }

bool failWithErrnoForPath(int error, const char* path) {
    return fail(win32ErrorForPath(error, path));
}

}  // namespace posix
}  // namespace qorvel::platform

// DeleteFileA, MoveFileA, CreateDirectoryA, RemoveDirectoryA,
// GetFileAttributesA, GetCompressedFileSizeA. (Not built yet.)
#include "platform/platform.h"
#include "platform/posix/errors.h"

namespace qorvel::platform {
using posix::fail;
bool deleteFile(const char*) { return fail(win32error::kNotSupported); }
bool moveFile(const char*, const char*) { return fail(win32error::kNotSupported); }
bool createDirectory(const char*) { return fail(win32error::kNotSupported); }
bool removeDirectory(const char*) { return fail(win32error::kNotSupported); }
uint32_t getFileAttributes(const char*) { fail(win32error::kNotSupported); return kInvalidFileAttributes; }
uint32_t getCompressedFileSize(const char*) { fail(win32error::kNotSupported); return kInvalidFileSize; }
}  // namespace qorvel::platform

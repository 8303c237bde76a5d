// DeleteFileA, MoveFileA, CreateDirectoryA, RemoveDirectoryA,
// GetFileAttributesA, GetCompressedFileSizeA. (Not built yet.)
#include <windows.h>

#include "platform/platform.h"

namespace qorvel::platform {
bool deleteFile(const char*) { SetLastError(ERROR_NOT_SUPPORTED); return false; }
bool moveFile(const char*, const char*) { SetLastError(ERROR_NOT_SUPPORTED); return false; }
bool createDirectory(const char*) { SetLastError(ERROR_NOT_SUPPORTED); return false; }
bool removeDirectory(const char*) { SetLastError(ERROR_NOT_SUPPORTED); return false; }
uint32_t getFileAttributes(const char*) { SetLastError(ERROR_NOT_SUPPORTED); return kInvalidFileAttributes; }
uint32_t getCompressedFileSize(const char*) { SetLastError(ERROR_NOT_SUPPORTED); return kInvalidFileSize; }
}  // namespace qorvel::platform

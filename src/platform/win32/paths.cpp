// DeleteFileA, MoveFileA, CreateDirectoryA, RemoveDirectoryA,
// GetFileAttributesA and GetCompressedFileSizeA: KERNEL32's own.
#include <windows.h>

#include "platform/platform.h"

namespace qorvel::platform {

bool deleteFile(const char* path) { return DeleteFileA(path) != FALSE; }

bool moveFile(const char* existingPath, const char* newPath) {
    return MoveFileA(existingPath, newPath) != FALSE;
}

bool createDirectory(const char* path) { return CreateDirectoryA(path, nullptr) != FALSE; }

bool removeDirectory(const char* path) { return RemoveDirectoryA(path) != FALSE; }

uint32_t getFileAttributes(const char* path) { return GetFileAttributesA(path); }

// The high part is asked for so that a file of 4 GiB or more is refused
// rather than reported as its low 32 bits; a size whose low part is all ones
// is refused too, since that answer is the failure marker.
uint32_t getCompressedFileSize(const char* path) {
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetCompressedFileSizeA(path, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return kInvalidFileSize;
    if (high != 0 || low == INVALID_FILE_SIZE) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return kInvalidFileSize;
    }
    return low;
}

}  // namespace qorvel::platform

// DeleteFileA, MoveFileA, CreateDirectoryA, RemoveDirectoryA,
// GetFileAttributesA and GetCompressedFileSizeA: KERNEL32's own.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/kernel32.h"

namespace qorvel::platform {

using win32::kernel32;

bool deleteFile(const char* path) { return kernel32.DeleteFileA(path) != FALSE; }

bool moveFile(const char* existingPath, const char* newPath) {
    return kernel32.MoveFileA(existingPath, newPath) != FALSE;
}

bool createDirectory(const char* path) { return kernel32.CreateDirectoryA(path, nullptr) != FALSE; }

bool removeDirectory(const char* path) { return kernel32.RemoveDirectoryA(path) != FALSE; }

uint32_t getFileAttributes(const char* path) { return kernel32.GetFileAttributesA(path); }

// The high part is asked for so that a file of 4 GiB or more is refused
// rather than reported as its low 32 bits; a size whose low part is all ones
// is refused too, since that answer is the failure marker.
uint32_t getCompressedFileSize(const char* path) {
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = kernel32.GetCompressedFileSizeA(path, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return kInvalidFileSize;
    if (high != 0 || low == INVALID_FILE_SIZE) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return kInvalidFileSize;
    }
    return low;
}

}  // namespace qorvel::platform

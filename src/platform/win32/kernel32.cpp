#include "platform/win32/kernel32.h"

namespace qorvel::platform::win32 {
namespace {

Kernel32Calls defaultTable() {
    return {
        ::CreateFileA,          ::CloseHandle,        ::DuplicateHandle,
        ::FlushFileBuffers,     ::ReadFile,           ::WriteFile,
        ::SetFilePointer,       ::SetEndOfFile,       ::LockFile,
        ::UnlockFile,           ::LockFileEx,         ::UnlockFileEx,
        ::DeleteFileA,          ::MoveFileA,          ::CreateDirectoryA,
        ::RemoveDirectoryA,     ::GetFileAttributesA, ::GetCompressedFileSizeA,
        ::GetCurrentDirectoryA, ::GetTempPathA,       ::GetDiskFreeSpaceA,
    };
}

}  // namespace

const Kernel32Calls kDefaultKernel32Calls = defaultTable();
Kernel32Calls kernel32 = defaultTable();

}  // namespace qorvel::platform::win32

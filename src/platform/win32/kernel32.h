// The KERNEL32 calls of the Windows backend that can fail, through one table.
//
// In production each entry is KERNEL32's own function. A test can swap any
// entry for one that fails with a chosen error, and so prove that every
// failing call comes back as its status and leaks nothing (the fault sweep).
// The C run time's calls (file status, permissions) are not in it.
#ifndef QORVEL_PLATFORM_WIN32_KERNEL32_H
#define QORVEL_PLATFORM_WIN32_KERNEL32_H

#include <windows.h>

namespace qorvel::platform::win32 {

struct Kernel32Calls {
    decltype(&::CreateFileA) CreateFileA;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::DuplicateHandle) DuplicateHandle;
    decltype(&::FlushFileBuffers) FlushFileBuffers;
    decltype(&::ReadFile) ReadFile;
    decltype(&::WriteFile) WriteFile;
    decltype(&::SetFilePointer) SetFilePointer;
    decltype(&::SetEndOfFile) SetEndOfFile;
    decltype(&::LockFile) LockFile;
    decltype(&::UnlockFile) UnlockFile;
    decltype(&::LockFileEx) LockFileEx;
    decltype(&::UnlockFileEx) UnlockFileEx;
    decltype(&::DeleteFileA) DeleteFileA;
    decltype(&::MoveFileA) MoveFileA;
    decltype(&::CreateDirectoryA) CreateDirectoryA;
    decltype(&::RemoveDirectoryA) RemoveDirectoryA;
    decltype(&::GetFileAttributesA) GetFileAttributesA;
    decltype(&::GetCompressedFileSizeA) GetCompressedFileSizeA;
    decltype(&::GetCurrentDirectoryA) GetCurrentDirectoryA;
    decltype(&::GetTempPathA) GetTempPathA;
    decltype(&::GetDiskFreeSpaceA) GetDiskFreeSpaceA;
};

// The table in force. Tests may replace entries; production code never does.
extern Kernel32Calls kernel32;

// The table as KERNEL32 provides it, for restoring entries.
extern const Kernel32Calls kDefaultKernel32Calls;

}  // namespace qorvel::platform::win32

#endif  // QORVEL_PLATFORM_WIN32_KERNEL32_H

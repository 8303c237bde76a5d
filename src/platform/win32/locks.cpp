// GetVersionExA and the byte-range lock calls: KERNEL32's own, with the
// 64-bit positions and lengths split into their low and high halves.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/handles.h"
#include "platform/win32/kernel32.h"

namespace qorvel::platform {

using win32::kernel32;

namespace {

using win32::toKernelHandle;

DWORD low(uint64_t value) { return static_cast<DWORD>(value & 0xFFFFFFFFu); }
DWORD high(uint64_t value) { return static_cast<DWORD>(value >> 32); }

// A fresh record for each call, with no completion event: the library opens
// no file for overlapped use.
OVERLAPPED overlappedAt(uint64_t start) {
    OVERLAPPED overlapped = {};
    overlapped.Offset = low(start);
    overlapped.OffsetHigh = high(start);
    return overlapped;
}

}  // namespace

bool getVersionEx(uint32_t* platformId) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);  // 148
    if (!GetVersionExA(&info)) return false;
    *platformId = info.dwPlatformId;
    return true;
}

bool lockFileEx(Handle handle, uint32_t flags, uint64_t start, uint64_t length) {
    OVERLAPPED overlapped = overlappedAt(start);
    return kernel32.LockFileEx(toKernelHandle(handle), flags, 0, low(length), high(length),
                               &overlapped) != FALSE;
}

bool unlockFileEx(Handle handle, uint64_t start, uint64_t length) {
    OVERLAPPED overlapped = overlappedAt(start);
    return kernel32.UnlockFileEx(toKernelHandle(handle), 0, low(length), high(length),
                                 &overlapped) != FALSE;
}

bool lockFile(Handle handle, uint64_t start, uint64_t length) {
    return kernel32.LockFile(toKernelHandle(handle), low(start), high(start), low(length),
                             high(length)) != FALSE;
}

bool unlockFile(Handle handle, uint64_t start, uint64_t length) {
    return kernel32.UnlockFile(toKernelHandle(handle), low(start), high(start), low(length),
                               high(length)) != FALSE;
}

}  // namespace qorvel::platform

// The library's 32-bit handle value and the kernel's HANDLE.
//
// Windows guarantees that kernel handles fit in 32 bits, also in 64-bit
// processes (so that 32- and 64-bit processes can share them), which is why
// cFileHandle is 32 bits everywhere: HandleToLong and LongToHandle convert
// without loss, sign-extending so that -1 stays INVALID_HANDLE_VALUE.
#ifndef QORVEL_PLATFORM_WIN32_HANDLES_H
#define QORVEL_PLATFORM_WIN32_HANDLES_H

#include <windows.h>

#include "platform/platform.h"

namespace qorvel::platform::win32 {

inline HANDLE toKernelHandle(Handle handle) { return LongToHandle(handle); }
inline Handle fromKernelHandle(HANDLE handle) { return HandleToLong(handle); }

}  // namespace qorvel::platform::win32

#endif  // QORVEL_PLATFORM_WIN32_HANDLES_H

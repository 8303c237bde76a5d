// GetVersionExA and the byte-range lock calls. (Not built yet.)
#include <windows.h>

#include "platform/platform.h"

namespace qorvel::platform {
bool getVersionEx(uint32_t* platformId) { *platformId = kPlatformWin32Nt; return true; }
bool lockFileEx(Handle, uint32_t, uint64_t, uint64_t) { SetLastError(ERROR_NOT_SUPPORTED); return false; }
bool unlockFileEx(Handle, uint64_t, uint64_t) { SetLastError(ERROR_NOT_SUPPORTED); return false; }
bool lockFile(Handle, uint64_t, uint64_t) { SetLastError(ERROR_NOT_SUPPORTED); return false; }
bool unlockFile(Handle, uint64_t, uint64_t) { SetLastError(ERROR_NOT_SUPPORTED); return false; }
}  // namespace qorvel::platform

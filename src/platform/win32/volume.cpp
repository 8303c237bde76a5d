// GetCurrentDirectoryA, GetTempPathA, GetDiskFreeSpaceA. (Not built yet.)
#include <windows.h>

#include "platform/platform.h"

namespace qorvel::platform {
uint32_t getCurrentDirectory(uint32_t, char*) { SetLastError(ERROR_NOT_SUPPORTED); return 0; }
uint32_t getTempPath(uint32_t, char*) { SetLastError(ERROR_NOT_SUPPORTED); return 0; }
bool getDiskFreeSpace(const char*, uint32_t*, uint32_t*, uint32_t*, uint32_t*) { SetLastError(ERROR_NOT_SUPPORTED); return false; }
}  // namespace qorvel::platform

// CreateFileA, CloseHandle, FlushFileBuffers. (Not built yet.)
#include <windows.h>

#include "platform/platform.h"

namespace qorvel::platform {
Handle createFile(const char*, uint32_t, uint32_t, Disposition) { SetLastError(ERROR_NOT_SUPPORTED); return kInvalidHandle; }
bool closeHandle(Handle) { SetLastError(ERROR_NOT_SUPPORTED); return false; }
bool flushFileBuffers(Handle) { SetLastError(ERROR_NOT_SUPPORTED); return false; }
}  // namespace qorvel::platform

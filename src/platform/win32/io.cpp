// ReadFile, WriteFile, SetFilePointer, SetEndOfFile. (Not built yet.)
#include <windows.h>

#include "platform/platform.h"

namespace qorvel::platform {
bool readFile(Handle, void*, uint32_t, uint32_t* transferred) { *transferred = 0; SetLastError(ERROR_NOT_SUPPORTED); return false; }
bool writeFile(Handle, const void*, uint32_t, uint32_t* transferred) { *transferred = 0; SetLastError(ERROR_NOT_SUPPORTED); return false; }
uint32_t setFilePointer(Handle, int32_t, int32_t*, uint32_t) { SetLastError(ERROR_NOT_SUPPORTED); return kInvalidSetFilePointer; }
bool setEndOfFile(Handle) { SetLastError(ERROR_NOT_SUPPORTED); return false; }
}  // namespace qorvel::platform

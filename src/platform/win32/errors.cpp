// The thread's last error: KERNEL32's own.
#include <windows.h>

#include "platform/platform.h"

namespace qorvel::platform {
uint32_t lastError() { return GetLastError(); }
void setLastError(uint32_t error) { SetLastError(error); }
}  // namespace qorvel::platform

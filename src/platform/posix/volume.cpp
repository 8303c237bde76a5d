// GetCurrentDirectoryA, GetTempPathA, GetDiskFreeSpaceA. (Not built yet.)
#include "platform/platform.h"
#include "platform/posix/errors.h"

namespace qorvel::platform {
using posix::fail;
uint32_t getCurrentDirectory(uint32_t, char*) { fail(win32error::kNotSupported); return 0; }
uint32_t getTempPath(uint32_t, char*) { fail(win32error::kNotSupported); return 0; }
bool getDiskFreeSpace(const char*, uint32_t*, uint32_t*, uint32_t*, uint32_t*) { return fail(win32error::kNotSupported); }
}  // namespace qorvel::platform

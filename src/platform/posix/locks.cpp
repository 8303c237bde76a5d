// GetVersionExA and the byte-range lock calls. (Not built yet.)
#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/handles.h"

namespace qorvel::platform {
using posix::fail;
bool getVersionEx(uint32_t* platformId) { *platformId = kPlatformWin32Nt; return true; }
bool lockFileEx(Handle, uint32_t, uint64_t, uint64_t) { return fail(win32error::kNotSupported); }
bool unlockFileEx(Handle, uint64_t, uint64_t) { return fail(win32error::kNotSupported); }
bool lockFile(Handle, uint64_t, uint64_t) { return fail(win32error::kNotSupported); }
bool unlockFile(Handle, uint64_t, uint64_t) { return fail(win32error::kNotSupported); }
namespace posix {
void forgetByteRangeLocks(int) {}
}
}  // namespace qorvel::platform

// ReadFile, WriteFile, SetFilePointer, SetEndOfFile. (Not built yet.)
#include "platform/platform.h"
#include "platform/posix/errors.h"

namespace qorvel::platform {
using posix::fail;
bool readFile(Handle, void*, uint32_t, uint32_t* transferred) { *transferred = 0; return fail(win32error::kNotSupported); }
bool writeFile(Handle, const void*, uint32_t, uint32_t* transferred) { *transferred = 0; return fail(win32error::kNotSupported); }
uint32_t setFilePointer(Handle, int32_t, int32_t*, uint32_t) { fail(win32error::kNotSupported); return kInvalidSetFilePointer; }
bool setEndOfFile(Handle) { return fail(win32error::kNotSupported); }
}  // namespace qorvel::platform

// The C run time's file-status query and permission change. (Not built yet.)
#include <cerrno>

#include "platform/platform.h"

namespace qorvel::platform {
bool fileStatus(const char*, FileStatus*) { errno = ENOSYS; return false; }
int crtErrno() { return errno; }
bool changeMode(const char*, int) { return false; }
}  // namespace qorvel::platform

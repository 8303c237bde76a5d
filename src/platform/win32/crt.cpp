// The C run time's file-status query and permission change: msvcrt's _stat
// and _chmod, which rest on FindFirstFileA and Get/SetFileAttributesA.
#include <errno.h>
#include <io.h>
#include <sys/stat.h>

#include "platform/platform.h"

namespace qorvel::platform {

// _stat always reads the attributes: the read-only state costs nothing more.
bool statFile(const char* path, StatusUse, FileStatRecord* status) {
    struct _stat record;
    if (_stat(path, &record) != 0) return false;
    status->drive = int32_t(record.st_dev);
    status->mode = uint16_t(record.st_mode);
    status->creationTime = int32_t(record.st_ctime);
    return true;
}

int crtErrno() { return errno; }

bool changeMode(const char* path, int permission) { return _chmod(path, permission) == 0; }

}  // namespace qorvel::platform

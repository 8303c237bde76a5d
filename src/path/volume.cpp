// Directory and volume queries. (Not built yet: every call answers
// CFILE_ERR_GENERAL.)
#include "qorvel.h"

extern "C" {
QORVEL_API cFileStatus QORVEL_CALL cFileGetCurrentDir(char*) { return CFILE_ERR_GENERAL; }
QORVEL_API cFileStatus QORVEL_CALL cFileGetTempDir(char*) { return CFILE_ERR_GENERAL; }
QORVEL_API cFileStatus QORVEL_CALL cFileGetDiskFree(const char*, uint32_t*) { return CFILE_ERR_GENERAL; }
}

// Byte-range locks. (Not built yet: every call answers CFILE_ERR_GENERAL.)
#include "qorvel.h"

extern "C" {
QORVEL_API cFileStatus QORVEL_CALL cFileLock(cFileHandle, uint32_t, uint32_t) { return CFILE_ERR_GENERAL; }
QORVEL_API cFileStatus QORVEL_CALL cFileUnlock(cFileHandle, uint32_t, uint32_t) { return CFILE_ERR_GENERAL; }
}

// Reading, writing, positioning and size. (Not built yet: every call answers
// CFILE_ERR_GENERAL.)
#include "qorvel.h"

extern "C" {
QORVEL_API cFileStatus QORVEL_CALL cFileRead(cFileHandle, void*, uint32_t, uint32_t*) { return CFILE_ERR_GENERAL; }
QORVEL_API cFileStatus QORVEL_CALL cFileWrite(cFileHandle, const void*, uint32_t, uint32_t*) { return CFILE_ERR_GENERAL; }
QORVEL_API cFileStatus QORVEL_CALL cFileSeek(cFileHandle, uint32_t, uint32_t, uint32_t*) { return CFILE_ERR_GENERAL; }
QORVEL_API cFileStatus QORVEL_CALL cFileGetPosition(cFileHandle, uint32_t*) { return CFILE_ERR_GENERAL; }
QORVEL_API cFileStatus QORVEL_CALL cFileSetSize(cFileHandle, uint32_t) { return CFILE_ERR_GENERAL; }
QORVEL_API cFileStatus QORVEL_CALL cFileIsEof(cFileHandle, int16_t*) { return CFILE_ERR_GENERAL; }
}

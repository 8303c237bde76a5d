// Path operations. (Not built yet: every call answers CFILE_ERR_GENERAL.)
#include "qorvel.h"

extern "C" {
QORVEL_API cFileStatus QORVEL_CALL cFileRemove(const char*) { return CFILE_ERR_GENERAL; }
QORVEL_API cFileStatus QORVEL_CALL cFileRename(const char*, const char*) { return CFILE_ERR_GENERAL; }
QORVEL_API cFileStatus QORVEL_CALL cFileCreateDir(const char*) { return CFILE_ERR_GENERAL; }
QORVEL_API cFileStatus QORVEL_CALL cFileRemoveDir(const char*) { return CFILE_ERR_GENERAL; }
QORVEL_API cFileStatus QORVEL_CALL cFileIsExist(const char*, int16_t*) { return CFILE_ERR_GENERAL; }
QORVEL_API cFileStatus QORVEL_CALL cFileGetSize(const char*, uint32_t*) { return CFILE_ERR_GENERAL; }
}

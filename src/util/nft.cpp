// The status-line record builder. (Not built yet: answers CFILE_ERR_GENERAL.)
#include "qorvel.h"

extern "C" {
QORVEL_API cFileStatus QORVEL_CALL cFileBuildNftBuffer(const char*, const cFileNftRecord*, char*) { return CFILE_ERR_GENERAL; }
}

// The one-call append. (Not built yet: answers CFILE_ERR_GENERAL.)
#include "qorvel.h"

extern "C" {
QORVEL_API cFileStatus QORVEL_CALL cFileWriteToFile(const char*, const char*) { return CFILE_ERR_GENERAL; }
}

// Attributes and times. (Not built yet: every call answers 1, failure.)
#include "qorvel.h"

extern "C" {
QORVEL_API int32_t QORVEL_CALL cFileGetAttribute(const char*, uint16_t, int16_t*) { return 1; }
QORVEL_API int32_t QORVEL_CALL cFileSetAttribute(const char*, uint16_t, int16_t) { return 1; }
QORVEL_API int32_t QORVEL_CALL cFileGetTime(const char*, uint16_t, int32_t*) { return 1; }
}

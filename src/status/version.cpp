// The version record and the lock-preparation entry points. None of them does
// any file work; locking needs no preparation.
#include "qorvel.h"

namespace {
constexpr uint16_t kVersionWords[9] = {0, 3, 202, 6, 0, 0, 0, 1, 5};
}  // namespace

extern "C" QORVEL_API cFileVersionInfo* QORVEL_CALL cFileVersion(cFileVersionInfo* info) {
    for (int i = 0; i < 9; ++i) info->word[i] = kVersionWords[i];
    return info;
}

QORVEL_API int32_t QORVEL_CALL iFilePrepLock(unsigned short /*value*/) { return 0; }

QORVEL_API int32_t QORVEL_CALL iFileTermLock() { return 0; }

extern "C" QORVEL_API cFileStatus QORVEL_CALL cFilePrepLock(uint16_t value) {
    return static_cast<cFileStatus>(iFilePrepLock(value));
}

extern "C" QORVEL_API cFileStatus QORVEL_CALL cFileTermLock(void) {
    return static_cast<cFileStatus>(iFileTermLock());
}

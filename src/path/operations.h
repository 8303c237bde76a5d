// Workers of the path operations: what the exports do once their arguments
// have passed the checks.
#ifndef QORVEL_PATH_OPERATIONS_H
#define QORVEL_PATH_OPERATIONS_H

#include <cstdint>

#include "qorvel.h"

namespace qorvel::path {

// The size of a named file, for a path and size pointer that are not null.
// Stores 0 first; stores the size only on success. A file of 0xFFFFFFFF
// bytes or more has no 32-bit size: it answers ERROR_FILE_TOO_LARGE (223),
// status 0x00DF0307, and the size stays 0, so that nobody appends to it at
// its low 32 bits and overwrites its middle.
cFileStatus sizeByName(const char* path, uint32_t* size);

}  // namespace qorvel::path

#endif  // QORVEL_PATH_OPERATIONS_H

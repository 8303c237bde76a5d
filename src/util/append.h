// The one-call append to a named file.
#ifndef QORVEL_UTIL_APPEND_H
#define QORVEL_UTIL_APPEND_H

#include <cstdint>

#include "qorvel.h"

namespace qorvel::util {

// Appends `text` (without its terminator) at the true end of the file at
// `path`, creating the file when it does not exist and never emptying it.
// Among all appenders, in this process and others, each text lands whole,
// once, after every text appended before it. Both pointers must be given and
// the path must not be empty.
cFileStatus appendToFile(const char* path, const char* text);

}  // namespace qorvel::util

#endif  // QORVEL_UTIL_APPEND_H

// Status words and the translation of platform error numbers into them.
#ifndef QORVEL_STATUS_STATUS_H
#define QORVEL_STATUS_STATUS_H

#include <cstdint>

#include "qorvel.h"

namespace qorvel {

// The library error code for a Win32 error number: the first row of the
// translation table whose number equals it in all 32 bits, else
// CFILE_ERR_GENERAL.
uint16_t cFileLookupError(uint32_t number);

// The status word for a failure with this Win32 error number: the code in
// bits 0-15, the number's low 16 bits in bits 16-31.
cFileStatus cFileTranslateError(uint32_t number);

// A status built by the library's own checks (zero high half).
constexpr cFileStatus libraryStatus(uint16_t code) { return code; }

// The argument checks every export makes before its worker runs.
constexpr cFileStatus invalidArgument() { return libraryStatus(CFILE_ERR_INVALID_ARG); }
constexpr cFileStatus invalidHandle() { return libraryStatus(CFILE_ERR_INVALID_HANDLE); }
inline bool isEmptyPath(const char* path) { return path[0] == '\0'; }

}  // namespace qorvel

#endif  // QORVEL_STATUS_STATUS_H

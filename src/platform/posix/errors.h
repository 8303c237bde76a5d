// Win32 error numbers for POSIX failures, and the thread's last error.
#ifndef QORVEL_PLATFORM_POSIX_ERRORS_H
#define QORVEL_PLATFORM_POSIX_ERRORS_H

#include <cstdint>

#include "platform/platform.h"

namespace qorvel::platform::posix {

// The number given to an errno value that has no closer Win32 counterpart.
constexpr uint32_t kUnmappedError = win32error::kGenFailure;

// The Win32 error number for an errno value. The one table of the backend:
// docs/platform-notes.md lists it row by row.
uint32_t win32ErrorFromErrno(int error);

// As above for a failure of a call that named `path`. ENOENT becomes 2 when
// the path's directory exists and 3 when it does not (or the path is empty),
// as Windows tells a missing file from a missing directory.
uint32_t win32ErrorForPath(int error, const char* path);

// Records a failure: sets the thread's last error and answers false, so that
// a backend call can end with `return fail(...)`.
bool fail(uint32_t win32Error);
bool failWithErrno(int error);
bool failWithErrnoForPath(int error, const char* path);

// The same for a call whose failure is a value: records it, answers `result`.
inline uint32_t failAnswering(uint32_t result, uint32_t win32Error) {
    fail(win32Error);
    return result;
}

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_ERRORS_H

// The time zone and the local-time conversion, for Windows.
#include <time.h>

#include "platform/platform.h"

namespace qorvel::platform {

// The C run time re-reads TZ, or the system's zone when TZ is unset.
void reloadTimeZone() { ::_tzset(); }

// localtime_s fills the caller's record. Where msvcrt.dll lacks it, the
// mingw-w64 run time supplies it from localtime, whose result msvcrt keeps
// per thread: either way no thread sees another's broken-down time. It fails
// for times before 1970 and beyond the year 3000.
bool localTime(std::time_t when, std::tm* out) { return ::localtime_s(out, &when) == 0; }

}  // namespace qorvel::platform

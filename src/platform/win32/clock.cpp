// The time zone, the local-time conversion and waiting, for Windows.
#include <windows.h>

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

// Sleep counts whole milliseconds: round up, so that a short wait still
// gives up the processor for a while; 0 only yields.
void sleepMicroseconds(uint32_t microseconds) { ::Sleep((microseconds + 999) / 1000); }

}  // namespace qorvel::platform

// The time zone and the local-time conversion, for POSIX.
#include <time.h>

#include "platform/platform.h"

namespace qorvel::platform {

// The C library re-reads TZ (or the system's zone when TZ is unset) and
// guards its zone data with its own lock, so concurrent calls are safe.
void reloadTimeZone() { ::tzset(); }

// localtime_r fills the caller's record, never a shared static one.
bool localTime(std::time_t when, std::tm* out) { return ::localtime_r(&when, out) != nullptr; }

}  // namespace qorvel::platform

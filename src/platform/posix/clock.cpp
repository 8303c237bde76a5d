// The time zone, the local-time conversion and waiting, for POSIX.
#include <time.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform {

// The C library re-reads TZ (or the system's zone when TZ is unset) and
// guards its zone data with its own lock, so concurrent calls are safe.
void reloadTimeZone() { ::tzset(); }

// localtime_r fills the caller's record, never a shared static one.
bool localTime(std::time_t when, std::tm* out) { return ::localtime_r(&when, out) != nullptr; }

void sleepMicroseconds(uint32_t microseconds) {
    struct timespec remaining = {static_cast<time_t>(microseconds / 1000000),
                                 static_cast<long>(microseconds % 1000000) * 1000};
    // A signal cuts the sleep short; finish it, so the caller's bound holds.
    while (posix::sys.nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

}  // namespace qorvel::platform

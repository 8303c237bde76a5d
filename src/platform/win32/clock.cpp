// The time zone and a thread-safe local-time conversion. (Not built yet.)
#include "platform/platform.h"

namespace qorvel::platform {
void reloadTimeZone() {}
bool localTime(std::time_t, std::tm*) { return false; }
}  // namespace qorvel::platform

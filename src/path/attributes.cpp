// The read-only state and the time stamp of a path, through the C run time's
// file-status query and permission change.
//
// These three answer 0 for success and 1 for failure, never a status word,
// and check only what would otherwise crash: a selector other than read-only
// or writable, and a null pointer, are failures that touch nothing.
#include "platform/platform.h"
#include "qorvel.h"

namespace qorvel::path {
namespace {

constexpr int32_t kSucceeded = 0;
constexpr int32_t kFailed = 1;

bool isKnownSelector(uint16_t selector) {
    return selector == CFILE_ATTR_READONLY || selector == CFILE_ATTR_WRITABLE;
}

// The flag for a selector: read-only asks "is it read-only", writable asks
// "is it writable".
int16_t flagFor(uint16_t selector, bool writable) {
    bool answer = selector == CFILE_ATTR_WRITABLE ? writable : !writable;
    return answer ? 1 : 0;
}

bool shouldBecomeWritable(uint16_t selector, int16_t value) {
    return selector == CFILE_ATTR_WRITABLE ? value != 0 : value == 0;
}

// The checks both queries make before the file-status query.
bool canAsk(const char* path, uint16_t selector, const void* out) {
    return isKnownSelector(selector) && path != nullptr && out != nullptr;
}

int32_t getAttribute(const char* path, uint16_t selector, int16_t* flag) {
    if (!canAsk(path, selector, flag)) return kFailed;
    platform::FileStatRecord record;
    bool found = platform::statFile(path, platform::StatusUse::kWithReadOnlyState, &record);
    // Callers judge the flag only after success; leave a defined value.
    *flag = found ? flagFor(selector, (record.mode & platform::kStatWriteBit) != 0) : 0;
    return found ? kSucceeded : kFailed;
}

int32_t setAttribute(const char* path, uint16_t selector, int16_t value) {
    if (!isKnownSelector(selector) || path == nullptr) return kFailed;
    int permission = shouldBecomeWritable(selector, value) ? platform::kPermissionWrite
                                                           : platform::kPermissionRead;
    return platform::changeMode(path, permission) ? kSucceeded : kFailed;
}

int32_t getTime(const char* path, uint16_t selector, int32_t* time) {
    if (!canAsk(path, selector, time)) return kFailed;
    platform::FileStatRecord record;
    if (!platform::statFile(path, platform::StatusUse::kWithoutReadOnlyState, &record))
        return kFailed;
    *time = record.creationTime;
    return kSucceeded;
}

}  // namespace
}  // namespace qorvel::path

using namespace qorvel;

extern "C" {

QORVEL_API int32_t QORVEL_CALL cFileGetAttribute(const char* path, uint16_t selector,
                                                 int16_t* flag) {
    return path::getAttribute(path, selector, flag);
}

QORVEL_API int32_t QORVEL_CALL cFileSetAttribute(const char* path, uint16_t selector,
                                                 int16_t value) {
    return path::setAttribute(path, selector, value);
}

QORVEL_API int32_t QORVEL_CALL cFileGetTime(const char* path, uint16_t selector, int32_t* time) {
    return path::getTime(path, selector, time);
}

}  // extern "C"

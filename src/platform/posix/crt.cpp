// The C run time's file-status query and permission change, with the
// answers of the Windows C runtime the library was designed around.
//
//  * The read-only attribute is the one of paths.h: a file's owner-write
//    bit, a directory's mark (or its owner-write bit). A read-only path is
//    reported without its write bits, as the Windows C runtime reports it.
//  * The creation time is the birth time where the filesystem records one,
//    else the last-write time, in whole seconds since 1970; a time that a
//    32-bit count cannot hold is -1, as the Windows C runtime answers.
//  * '*' and '?' are ordinary characters in Linux names.
//  * Linux has no drives: the drive number is -1 and never used (see
//    volumeRootFor).
//  * A failed query leaves ENOENT (2) as the C run time's error number, as the
//    Windows C runtime does for every path it cannot find: the library
//    translates that number as if it were a Win32 one, and Linux errno values
//    other than 2 would mean something else there.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdint>

#include "platform/platform.h"
#include "platform/posix/paths.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform {
namespace {

thread_local int tCrtErrno = 0;

int32_t secondsOrMinusOne(int64_t seconds) {
    return seconds < 0 || seconds > INT32_MAX ? -1 : int32_t(seconds);
}

bool queryFailed() {
    tCrtErrno = ENOENT;
    return false;
}

}  // namespace

using posix::isReadOnly;
using posix::kEveryWriteBit;
using posix::setReadOnly;
using posix::sys;

bool statFile(const char* path, StatusUse use, FileStatRecord* status) {
    struct statx record;
    if (sys.statx(AT_FDCWD, path, 0, STATX_TYPE | STATX_MODE | STATX_MTIME | STATX_BTIME,
                  &record) != 0) {
        return queryFailed();
    }
    bool hasBirth = (record.stx_mask & STATX_BTIME) != 0 && record.stx_btime.tv_sec != 0;
    status->drive = -1;
    status->mode = uint16_t(record.stx_mode);
    if (use == StatusUse::kWithReadOnlyState && isReadOnly(path, record.stx_mode)) {
        status->mode &= uint16_t(~kEveryWriteBit);
    }
    status->creationTime =
        secondsOrMinusOne(hasBirth ? record.stx_btime.tv_sec : record.stx_mtime.tv_sec);
    return true;
}

int crtErrno() { return tCrtErrno; }

bool changeMode(const char* path, int permission) {
    struct stat current;
    if (sys.stat(path, &current) != 0) return false;
    return setReadOnly(path, current.st_mode, (permission & kPermissionWrite) == 0);
}

}  // namespace qorvel::platform

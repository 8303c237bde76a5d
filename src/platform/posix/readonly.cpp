#include "platform/posix/readonly.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/posix/syscalls.h"

namespace qorvel::platform::posix {
namespace {

constexpr mode_t kPermissionBits = 07777;

bool lacksUserAttributes(int error) { return error == ENOTSUP || error == EOPNOTSUPP; }

// A mark that cannot be read (no support for it, no read permission on the
// directory) counts as no mark.
bool isMarked(const char* path) { return sys.getxattr(path, kReadOnlyMark, nullptr, 0) >= 0; }

bool markDirectory(const char* path, mode_t mode) {
    // Read-only already; without the owner-write bit the owner could not
    // write the mark either.
    if (!(mode & S_IWUSR)) return true;
    if (sys.setxattr(path, kReadOnlyMark, "1", 1, 0) == 0) return true;
    if (!lacksUserAttributes(errno)) return false;
    return sys.chmod(path, (mode & kPermissionBits) & ~mode_t{S_IWUSR}) == 0;
}

bool unmarkDirectory(const char* path, mode_t mode) {
    // The owner-write bit first: without it the owner may not remove the mark.
    if (!(mode & S_IWUSR) && sys.chmod(path, (mode & kPermissionBits) | S_IWUSR) != 0) {
        return false;
    }
    return sys.removexattr(path, kReadOnlyMark) == 0 || errno == ENODATA ||
           lacksUserAttributes(errno);
}

}  // namespace

bool readOnlyState(const char* path, mode_t mode, bool* readOnly) {
    *readOnly = isReadOnlyFile(mode) || (S_ISDIR(mode) && isMarked(path));
    if (*readOnly || !S_ISDIR(mode)) return true;
    return errno == ENODATA || lacksUserAttributes(errno) || errno == EACCES || errno == EPERM;
}

// A mark that cannot be read is no mark.
bool isReadOnly(const char* path, mode_t mode) {
    bool readOnly = false;
    readOnlyState(path, mode, &readOnly);
    return readOnly;
}

bool setReadOnly(const char* path, mode_t mode, bool readOnly) {
    if (S_ISDIR(mode)) return readOnly ? markDirectory(path, mode) : unmarkDirectory(path, mode);
    // A read-only file loses every write bit, so that no other program
    // writes it either; a writable one gets the owner's back.
    mode_t permissions = mode & kPermissionBits;
    return sys.chmod(path, readOnly ? permissions & ~kEveryWriteBit : permissions | S_IWUSR) == 0;
}

}  // namespace qorvel::platform::posix

#include "platform/posix/path_parts.h"

#include <sys/stat.h>
#include <cerrno>

#include "platform/posix/syscalls.h"

namespace qorvel::platform::posix {

SplitPath splitPath(const std::string& path) {
    std::string text(path);
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    size_t slash = text.rfind('/');
    if (slash == std::string::npos) return {".", text};
    return {slash == 0 ? "/" : text.substr(0, slash), text.substr(slash + 1)};
}

bool isDirectory(const char* path) {
    struct stat status;
    return sys.stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

bool writeAll(int fd, const char* data, size_t count) {
    while (count > 0) {
        ssize_t written = sys.write(fd, data, count);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace qorvel::platform::posix

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

Written writeAll(int fd, const void* data, size_t count) {
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < count) {
        ssize_t written = uninterrupted([&] { return sys.write(fd, bytes + done, count - done); });
        if (written < 0) return {done, errno};
        if (written == 0) return {done, 0};
        done += static_cast<size_t>(written);
    }
    return {done, 0};
}

}  // namespace qorvel::platform::posix

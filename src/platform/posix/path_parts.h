// Small pieces of path and descriptor handling that several parts of the
// posix backend need: splitting a path as the kernel does, asking whether a
// name is a directory, and writing a whole buffer to a descriptor.
#ifndef QORVEL_PLATFORM_POSIX_PATH_PARTS_H
#define QORVEL_PLATFORM_POSIX_PATH_PARTS_H

#include <cstddef>
#include <string>

namespace qorvel::platform::posix {

// The directory that holds a path's last name and that name, as the kernel
// splits them: separators at the end are dropped first; a bare name lies in
// ".", a name right under the root in "/".
struct SplitPath {
    std::string directory;
    std::string name;
};
SplitPath splitPath(const std::string& path);

// Whether the path names a directory, following symbolic links.
bool isDirectory(const char* path);

// Writes all `count` bytes, repeating short and interrupted writes, until
// everything is written, a write fails (`error` its errno) or a write takes
// nothing and reports nothing (`error` 0, `count` short: the device takes no
// more). `count` says what reached the descriptor.
struct Written {
    size_t count;
    int error;
};
Written writeAll(int fd, const void* data, size_t count);

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_PATH_PARTS_H

// What the rest of the POSIX backend uses of paths.cpp: splitting a path as
// the kernel does, writing a whole buffer, and the read-only attribute.
//
// The read-only attribute, for files and directories alike. A file is
// read-only when its owner-write bit is clear: the bit then also keeps other
// programs from writing it. A directory is read-only when it carries the
// extended attribute `user.qorvel.readonly`, or when its owner-write bit is
// clear. Windows keeps a read-only directory from being removed but lets
// files inside it be created and removed; the owner-write bit would stop the
// owner (not root) from doing that, the extended attribute stops nothing.
// Where the filesystem keeps no user extended attributes (ramfs, vfat, tmpfs
// before Linux 6.6, some network filesystems), making a directory read-only
// clears its owner-write bit instead, with that limit
// (docs/platform-notes.md).
#ifndef QORVEL_PLATFORM_POSIX_PATHS_H
#define QORVEL_PLATFORM_POSIX_PATHS_H

#include <sys/stat.h>

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

// The write bits a read-only path is reported without, and a read-only file
// loses.
constexpr mode_t kEveryWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;

// Whether a file that is not a directory, of file mode `mode`, is read-only.
inline bool isReadOnlyFile(mode_t mode) { return !(mode & S_IWUSR); }

// Whether `path`, whose file mode is `mode`, is read-only. A system call
// only for a directory whose owner-write bit is set (its mark is read; a
// mark that cannot be read is no mark).
bool isReadOnly(const char* path, mode_t mode);

// Makes `path`, whose file mode is `mode`, read-only or writable. Answers
// false with errno set when a system call refuses.
bool setReadOnly(const char* path, mode_t mode, bool readOnly);

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_PATHS_H

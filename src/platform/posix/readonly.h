// The read-only attribute on POSIX, for files and directories alike.
//
// A file is read-only when its owner-write bit is clear: the bit then also
// keeps other programs from writing it.
//
// A directory is read-only when it carries the extended attribute
// `user.qorvel.readonly`, or when its owner-write bit is clear. Windows keeps
// a read-only directory from being removed but lets files inside it be
// created and removed; the owner-write bit would stop the owner (not root)
// from doing that, the extended attribute stops nothing. Where the filesystem
// keeps no user extended attributes (ramfs, vfat, tmpfs before Linux 6.6,
// some network filesystems), making a directory read-only clears its
// owner-write bit instead, with that limit (docs/platform-notes.md).
#ifndef QORVEL_PLATFORM_POSIX_READONLY_H
#define QORVEL_PLATFORM_POSIX_READONLY_H

#include <sys/stat.h>
#include <sys/types.h>

namespace qorvel::platform::posix {

constexpr const char* kReadOnlyMark = "user.qorvel.readonly";

// The write bits a read-only path is reported without, and a read-only file
// loses.
constexpr mode_t kEveryWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;

// Whether a file that is not a directory, of file mode `mode`, is read-only.
inline bool isReadOnlyFile(mode_t mode) { return !(mode & S_IWUSR); }

// Whether `path`, whose file mode is `mode`, is read-only. A system call
// only for a directory whose owner-write bit is set (the mark is read).
bool isReadOnly(const char* path, mode_t mode);

// The same for a caller about to act on the answer (a removal): answers
// false with errno set when the mark could not be read for a reason other
// than its absence, the filesystem keeping no such marks, or a permission.
bool readOnlyState(const char* path, mode_t mode, bool* readOnly);

// Makes `path`, whose file mode is `mode`, read-only or writable. Answers
// false with errno set when a system call refuses.
bool setReadOnly(const char* path, mode_t mode, bool readOnly);

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_READONLY_H

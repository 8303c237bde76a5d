// What the benchmarks share: where their files are, and the handle the
// benchmarks of handle calls work through, opened for reading and writing,
// shared both ways.
#ifndef QORVEL_BENCH_BENCH_SUPPORT_H
#define QORVEL_BENCH_BENCH_SUPPORT_H

#include <unistd.h>
#ifndef _WIN32
#include <fcntl.h>
#endif

#include <cstdlib>
#include <string>

#include "qorvel.h"

namespace qbench {

// A name for this run's file or directory `what`, in the directory named by
// QORVEL_BENCH_DIR (a mount of a distributed file system, say:
// docs/distributed.md) or else /tmp. The raw calls and the library's work on
// the same files, so every ratio compares the two on one file system.
inline std::string scratchName(const std::string& what) {
    const char* directory = std::getenv("QORVEL_BENCH_DIR");
    std::string base = directory != nullptr && directory[0] != '\0' ? directory : "/tmp";
    return base + "/qorvel-bench-" + what + "-" + std::to_string(getpid());
}

inline cFileHandle openShared(const std::string& path) {
    cFileHandle handle = CFILE_INVALID_HANDLE;
    cFileOpen(path.c_str(), CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE, &handle);
    return handle;
}

#ifndef _WIN32
// The raw call the library's lock and unlock are measured against: an
// open-file-description lock (or unlock) of [start, start + length).
inline int rawOfdLock(int fd, short type, off_t start, off_t length) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return fcntl(fd, F_OFD_SETLK, &lock);
}
#endif

}  // namespace qbench

#endif  // QORVEL_BENCH_BENCH_SUPPORT_H

// What the benchmarks of handle calls share: the file they work on, opened
// through the library for reading and writing, shared both ways.
#ifndef QORVEL_BENCH_BENCH_SUPPORT_H
#define QORVEL_BENCH_BENCH_SUPPORT_H

#include <string>

#include "qorvel.h"

namespace qbench {

inline cFileHandle openShared(const std::string& path) {
    cFileHandle handle = CFILE_INVALID_HANDLE;
    cFileOpen(path.c_str(), CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE, &handle);
    return handle;
}

}  // namespace qbench

#endif  // QORVEL_BENCH_BENCH_SUPPORT_H

// cFileLock + cFileUnlock against a raw open-file-description lock and
// unlock of the same range, in the same run, on the same descriptor.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "bench_support.h"
#include "qorvel.h"

namespace {

std::string benchFile() {
    static const std::string path = [] {
        std::string name = qbench::scratchName("lock");
        close(open(name.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644));
        return name;
    }();
    return path;
}

cFileHandle openBenchFile() { return qbench::openShared(benchFile()); }

int setLock(int fd, short type, off_t start, off_t length) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return fcntl(fd, F_OFD_SETLK, &lock);
}

void RawLockUnlock(benchmark::State& state) {
    cFileHandle fd = openBenchFile();
    for (auto _ : state) {
        if (setLock(fd, F_WRLCK, 1000, 100) != 0) state.SkipWithError("lock failed");
        setLock(fd, F_UNLCK, 1000, 100);
    }
    cFileClose(fd);
}
BENCHMARK(RawLockUnlock);

void QorvelLockUnlock(benchmark::State& state) {
    cFileHandle handle = openBenchFile();
    for (auto _ : state) {
        if (cFileLock(handle, 1000, 100) != 0) state.SkipWithError("lock failed");
        cFileUnlock(handle, 1000, 100);
    }
    cFileClose(handle);
}
BENCHMARK(QorvelLockUnlock);

// The same with 64 other locks held through the handle: the record is
// searched on every call.
void QorvelLockUnlockBesideOthers(benchmark::State& state) {
    cFileHandle handle = openBenchFile();
    for (uint32_t i = 0; i < 64; ++i) cFileLock(handle, 10000 + 10 * i, 5);
    for (auto _ : state) {
        if (cFileLock(handle, 1000, 100) != 0) state.SkipWithError("lock failed");
        cFileUnlock(handle, 1000, 100);
    }
    cFileClose(handle);
}
BENCHMARK(QorvelLockUnlockBesideOthers);

struct RemoveBenchFile {
    ~RemoveBenchFile() { unlink(benchFile().c_str()); }
} gRemoveBenchFile;

}  // namespace

BENCHMARK_MAIN();

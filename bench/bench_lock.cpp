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

void RawLockUnlock(benchmark::State& state) {
    cFileHandle fd = openBenchFile();
    for (auto _ : state) {
        if (qbench::rawOfdLock(fd, F_WRLCK, 1000, 100) != 0) state.SkipWithError("lock failed");
        qbench::rawOfdLock(fd, F_UNLCK, 1000, 100);
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

// A record update as hosts that share a file make it: lock the record, read
// it, write it back, unlock. The raw side makes the same calls with nothing
// around them; on a file system other machines share, the library also makes
// the record current when it locks and syncs it before it unlocks.
void RawRecordUpdate(benchmark::State& state) {
    cFileHandle fd = openBenchFile();
    char record[100] = {};
    for (auto _ : state) {
        if (qbench::rawOfdLock(fd, F_WRLCK, 1000, 100) != 0) state.SkipWithError("lock failed");
        if (pread(fd, record, sizeof record, 1000) < 0) state.SkipWithError("read failed");
        if (pwrite(fd, record, sizeof record, 1000) != 100) state.SkipWithError("write failed");
        qbench::rawOfdLock(fd, F_UNLCK, 1000, 100);
    }
    cFileClose(fd);
}
BENCHMARK(RawRecordUpdate);

void QorvelRecordUpdate(benchmark::State& state) {
    cFileHandle handle = openBenchFile();
    char record[100] = {};
    uint32_t count = 0;
    for (auto _ : state) {
        if (cFileLock(handle, 1000, 100) != 0) state.SkipWithError("lock failed");
        cFileSeek(handle, 1000, CFILE_SEEK_BEGIN, nullptr);
        if (cFileRead(handle, record, sizeof record, &count) != 0) state.SkipWithError("read");
        cFileSeek(handle, 1000, CFILE_SEEK_BEGIN, nullptr);
        if (cFileWrite(handle, record, sizeof record, &count) != 0) state.SkipWithError("write");
        cFileUnlock(handle, 1000, 100);
    }
    cFileClose(handle);
}
BENCHMARK(QorvelRecordUpdate);

struct RemoveBenchFile {
    ~RemoveBenchFile() { unlink(benchFile().c_str()); }
} gRemoveBenchFile;

}  // namespace

BENCHMARK_MAIN();

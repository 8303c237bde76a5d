// N threads, each locking and unlocking a range of a file of its own, N = 1,
// 2 and 4: the library's lock + unlock against the same loop on raw
// open-file-description locks, in the same run. Threads at work on
// different files share nothing in the library (each handle's record has a
// guard of its own, never held across a system call), so the library's
// rate should grow with N as the raw calls' does. The ratio that matters is
// items_per_second at N over items_per_second at 1, for each side; set
// QORVEL_BENCH_DIR to measure on a mount of a shared file system.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "bench_support.h"
#include "qorvel.h"

namespace {

// The file of thread `index`, made once for the run.
std::string threadFile(int index) {
    std::string name = qbench::scratchName("thread-lock-" + std::to_string(index));
    close(open(name.c_str(), O_CREAT | O_WRONLY, 0644));
    return name;
}

void RawLockUnlockOwnFile(benchmark::State& state) {
    std::string file = threadFile(state.thread_index());
    int fd = open(file.c_str(), O_RDWR | O_CLOEXEC);
    for (auto _ : state) {
        if (qbench::rawOfdLock(fd, F_WRLCK, 1000, 100) != 0) state.SkipWithError("lock failed");
        qbench::rawOfdLock(fd, F_UNLCK, 1000, 100);
    }
    state.SetItemsProcessed(state.iterations());
    close(fd);
}
BENCHMARK(RawLockUnlockOwnFile)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();

void QorvelLockUnlockOwnFile(benchmark::State& state) {
    std::string file = threadFile(state.thread_index());
    cFileHandle handle = qbench::openShared(file);
    for (auto _ : state) {
        if (cFileLock(handle, 1000, 100) != 0) state.SkipWithError("lock failed");
        cFileUnlock(handle, 1000, 100);
    }
    state.SetItemsProcessed(state.iterations());
    cFileClose(handle);
}
BENCHMARK(QorvelLockUnlockOwnFile)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();

struct RemoveThreadFiles {
    ~RemoveThreadFiles() {
        for (int i = 0; i < 4; ++i)
            unlink(qbench::scratchName("thread-lock-" + std::to_string(i)).c_str());
    }
} gRemoveThreadFiles;

}  // namespace

BENCHMARK_MAIN();

// cFileRead and cFileWrite of 4 KiB and 1 MiB blocks against the raw read
// and write beneath them, in the same run, on the same descriptor. The
// figure is the ratio of the throughputs. Also the end-of-file test and the
// size change against the raw system calls they stand for.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench_support.h"
#include "qorvel.h"

namespace {

constexpr uint32_t kFileSize = 16u << 20;

std::string benchFile() {
    static const std::string path = [] {
        std::string name = qbench::scratchName("io");
        int fd = open(name.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        std::vector<char> block(1 << 20, 'b');
        for (uint32_t written = 0; written < kFileSize; written += uint32_t(block.size())) {
            if (write(fd, block.data(), block.size()) != ssize_t(block.size())) break;
        }
        close(fd);
        return name;
    }();
    return path;
}

// The benchmark's second argument: the handle shares the file, and its
// transfers look for other handles' locks (0); it shares nothing (1); it
// shares the file and has locked all of it itself, so no other handle can
// hold a lock there (2).
enum HandleKind { kSharing = 0, kSharingNothing = 1, kSharingLockedAll = 2 };

cFileHandle openBenchFile(int64_t kind = kSharing) {
    if (kind == kSharingNothing) {
        cFileHandle handle = CFILE_INVALID_HANDLE;
        cFileOpen(benchFile().c_str(), CFILE_ACCESS_READWRITE, &handle);
        return handle;
    }
    cFileHandle handle = qbench::openShared(benchFile());
    if (kind == kSharingLockedAll) cFileLock(handle, 0, kFileSize);
    return handle;
}

// Both sides go through the file block by block and start over at its end
// with a raw lseek, so the only difference is the transfer call itself.
template <typename Transfer>
void runTransfers(benchmark::State& state, Transfer transfer) {
    cFileHandle handle = openBenchFile(state.range(1));
    const uint32_t size = static_cast<uint32_t>(state.range(0));
    std::vector<char> block(size, 'w');
    uint32_t offset = 0;
    for (auto _ : state) {
        if (offset + size > kFileSize) {
            lseek(handle, 0, SEEK_SET);
            offset = 0;
        }
        if (!transfer(handle, block.data(), size)) state.SkipWithError("transfer failed");
        offset += size;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
    cFileClose(handle);
}

void RawRead(benchmark::State& state) {
    runTransfers(state, [](int fd, char* buffer, uint32_t size) {
        return read(fd, buffer, size) == ssize_t(size);
    });
}
void QorvelRead(benchmark::State& state) {
    runTransfers(state, [](cFileHandle handle, char* buffer, uint32_t size) {
        uint32_t count = 0;
        return cFileRead(handle, buffer, size, &count) == 0 && count == size;
    });
}
void RawWrite(benchmark::State& state) {
    runTransfers(state, [](int fd, char* buffer, uint32_t size) {
        return write(fd, buffer, size) == ssize_t(size);
    });
}
void QorvelWrite(benchmark::State& state) {
    runTransfers(state, [](cFileHandle handle, char* buffer, uint32_t size) {
        uint32_t count = 0;
        return cFileWrite(handle, buffer, size, &count) == 0 && count == size;
    });
}
// Arguments: block size; the HandleKind (the raw calls do not care).
BENCHMARK(RawRead)->Args({4096, 0})->Args({1 << 20, 0});
BENCHMARK(QorvelRead)
    ->ArgsProduct({{4096, 1 << 20}, {kSharing, kSharingNothing, kSharingLockedAll}});
BENCHMARK(RawWrite)->Args({4096, 0})->Args({1 << 20, 0});
BENCHMARK(QorvelWrite)
    ->ArgsProduct({{4096, 1 << 20}, {kSharing, kSharingNothing, kSharingLockedAll}});

// What the look for other handles' locks costs on its own, for comparison:
// one small pread.
void RawSmallPread(benchmark::State& state) {
    cFileHandle fd = openBenchFile();
    char byte;
    for (auto _ : state) benchmark::DoNotOptimize(pread(fd, &byte, 1, 0));
    cFileClose(fd);
}
BENCHMARK(RawSmallPread);

// The end-of-file test away from the end: three moves.
void RawEndOfFileTest(benchmark::State& state) {
    cFileHandle fd = openBenchFile();
    lseek(fd, 10, SEEK_SET);
    for (auto _ : state) {
        off_t current = lseek(fd, 0, SEEK_CUR);
        off_t end = lseek(fd, 0, SEEK_END);
        benchmark::DoNotOptimize(end == current);
        lseek(fd, current, SEEK_SET);
    }
    cFileClose(fd);
}
void QorvelEndOfFileTest(benchmark::State& state) {
    cFileHandle handle = openBenchFile();
    cFileSeek(handle, 10, CFILE_SEEK_BEGIN, nullptr);
    for (auto _ : state) {
        int16_t flag = 0;
        cFileIsEof(handle, &flag);
        benchmark::DoNotOptimize(flag);
    }
    cFileClose(handle);
}
BENCHMARK(RawEndOfFileTest);
BENCHMARK(QorvelEndOfFileTest);

// A size change that keeps the position: query, move, truncate, move back.
void RawSizeChange(benchmark::State& state) {
    cFileHandle fd = openBenchFile();
    lseek(fd, 10, SEEK_SET);
    for (auto _ : state) {
        off_t saved = lseek(fd, 0, SEEK_CUR);
        lseek(fd, kFileSize, SEEK_SET);
        if (ftruncate(fd, kFileSize) != 0) state.SkipWithError("ftruncate failed");
        lseek(fd, saved, SEEK_SET);
    }
    cFileClose(fd);
}
void QorvelSizeChange(benchmark::State& state) {
    cFileHandle handle = openBenchFile();
    cFileSeek(handle, 10, CFILE_SEEK_BEGIN, nullptr);
    for (auto _ : state) {
        if (cFileSetSize(handle, kFileSize) != 0) state.SkipWithError("size change failed");
    }
    cFileClose(handle);
}
BENCHMARK(RawSizeChange);
BENCHMARK(QorvelSizeChange);

struct RemoveBenchFile {
    ~RemoveBenchFile() { unlink(benchFile().c_str()); }
} gRemoveBenchFile;

}  // namespace

BENCHMARK_MAIN();

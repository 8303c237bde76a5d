// cFileOpen + cFileClose of an existing file against the raw open + close
// beneath them, in the same run. The figure is the ratio of the times.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench_support.h"
#include "qorvel.h"

namespace {

std::string benchFile() {
    static const std::string path = [] {
        std::string name = qbench::scratchName("open");
        FILE* file = std::fopen(name.c_str(), "w");
        std::fputs("0123456789", file);
        std::fclose(file);
        return name;
    }();
    return path;
}

void RawOpenClose(benchmark::State& state) {
    const std::string path = benchFile();
    const int flags = static_cast<int>(state.range(0));
    for (auto _ : state) {
        int fd = open(path.c_str(), flags);
        benchmark::DoNotOptimize(fd);
        close(fd);
    }
}
BENCHMARK(RawOpenClose)->Arg(O_RDONLY)->Arg(O_WRONLY)->Arg(O_RDWR);

void QorvelOpenClose(benchmark::State& state) {
    const std::string path = benchFile();
    const cFileMode mode = static_cast<cFileMode>(state.range(0));
    for (auto _ : state) {
        cFileHandle handle;
        if (cFileOpen(path.c_str(), mode, &handle) != 0) state.SkipWithError("open failed");
        cFileClose(handle);
    }
}
// Each against the raw open with the same access (O_RDONLY for 0x00x1,
// O_WRONLY for 0x00x2, O_RDWR for 0x00x4). Share bits: 0x40 both shared,
// 0x20 reading shared, 0x10 writing shared, none: nothing shared.
BENCHMARK(QorvelOpenClose)
    ->Arg(0x0041)
    ->Arg(0x0021)
    ->Arg(0x0011)
    ->Arg(0x0001)
    ->Arg(0x0042)
    ->Arg(0x0022)
    ->Arg(0x0012)
    ->Arg(0x0002)
    ->Arg(0x0044)
    ->Arg(0x0024)
    ->Arg(0x0014)
    ->Arg(0x0004);

}  // namespace

BENCHMARK_MAIN();

// Path queries and renames against the raw system calls beneath them, in the
// same run: cFileGetSize, cFileIsExist and cFileGetAttribute (of a file and
// of a directory) against a raw stat, cFileRename against a raw rename. The
// figure is the ratio of times.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench_support.h"
#include "qorvel.h"

namespace {

std::string benchDirectory() {
    static const std::string path = [] {
        std::string name = qbench::scratchName("path");
        mkdir(name.c_str(), 0700);
        FILE* file = std::fopen((name + "/file.txt").c_str(), "w");
        std::fputs("0123456789", file);
        std::fclose(file);
        return name;
    }();
    return path;
}

std::string benchFile() { return benchDirectory() + "/file.txt"; }

void RawStat(benchmark::State& state) {
    const std::string path = benchFile();
    for (auto _ : state) {
        struct stat status;
        benchmark::DoNotOptimize(stat(path.c_str(), &status));
        benchmark::DoNotOptimize(status.st_size);
    }
}
BENCHMARK(RawStat);

void QorvelGetSize(benchmark::State& state) {
    const std::string path = benchFile();
    for (auto _ : state) {
        uint32_t size = 0;
        if (cFileGetSize(path.c_str(), &size) != 0) state.SkipWithError("size failed");
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(QorvelGetSize);

void QorvelIsExist(benchmark::State& state) {
    const std::string path = benchFile();
    for (auto _ : state) {
        int16_t exists = 0;
        cFileIsExist(path.c_str(), &exists);
        benchmark::DoNotOptimize(exists);
    }
}
BENCHMARK(QorvelIsExist);

void QorvelGetAttribute(benchmark::State& state) {
    const std::string path = benchFile();
    for (auto _ : state) {
        int16_t flag = 0;
        if (cFileGetAttribute(path.c_str(), CFILE_ATTR_READONLY, &flag) != 0) {
            state.SkipWithError("attribute failed");
        }
        benchmark::DoNotOptimize(flag);
    }
}
BENCHMARK(QorvelGetAttribute);

// A directory's attribute also reads its read-only mark: about two stats.
void RawStatDirectory(benchmark::State& state) {
    const std::string path = benchDirectory();
    for (auto _ : state) {
        struct stat status;
        benchmark::DoNotOptimize(stat(path.c_str(), &status));
        benchmark::DoNotOptimize(status.st_mode);
    }
}
BENCHMARK(RawStatDirectory);

void QorvelGetAttributeOfADirectory(benchmark::State& state) {
    const std::string path = benchDirectory();
    for (auto _ : state) {
        int16_t flag = 0;
        if (cFileGetAttribute(path.c_str(), CFILE_ATTR_READONLY, &flag) != 0) {
            state.SkipWithError("attribute failed");
        }
        benchmark::DoNotOptimize(flag);
    }
}
BENCHMARK(QorvelGetAttributeOfADirectory);

// A file renamed back and forth between two names.
void RawRename(benchmark::State& state) {
    const std::string a = benchFile(), b = benchDirectory() + "/renamed.txt";
    for (auto _ : state) {
        rename(a.c_str(), b.c_str());
        rename(b.c_str(), a.c_str());
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(RawRename);

void QorvelRename(benchmark::State& state) {
    const std::string a = benchFile(), b = benchDirectory() + "/renamed.txt";
    for (auto _ : state) {
        if (cFileRename(a.c_str(), b.c_str()) != 0 || cFileRename(b.c_str(), a.c_str()) != 0) {
            state.SkipWithError("rename failed");
        }
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(QorvelRename);

// A directory, which takes no removal claim.
void RawRenameDirectory(benchmark::State& state) {
    const std::string a = benchDirectory() + "/d1", b = benchDirectory() + "/d2";
    mkdir(a.c_str(), 0700);
    for (auto _ : state) {
        rename(a.c_str(), b.c_str());
        rename(b.c_str(), a.c_str());
    }
    rmdir(a.c_str());
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(RawRenameDirectory);

void QorvelRenameDirectory(benchmark::State& state) {
    const std::string a = benchDirectory() + "/d1", b = benchDirectory() + "/d2";
    mkdir(a.c_str(), 0700);
    for (auto _ : state) {
        if (cFileRename(a.c_str(), b.c_str()) != 0 || cFileRename(b.c_str(), a.c_str()) != 0) {
            state.SkipWithError("rename failed");
        }
    }
    rmdir(a.c_str());
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(QorvelRenameDirectory);

}  // namespace

BENCHMARK_MAIN();

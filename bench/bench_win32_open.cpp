// cFileOpen + cFileClose of an existing file against CreateFileA + CloseHandle
// called directly, in the same run, on Windows (and under Wine). The figure
// is the ratio of the median times per open and close.
//
// Google Benchmark is not available for the Windows build, so this program
// follows its method by hand: each case runs a batch of iterations, batches
// of the library and of the raw calls alternate (their order flips each
// repetition, so drift hits both alike), and the medians over the
// repetitions are compared.
//
//   bench_win32_open [--iterations N] [--repetitions N]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qorvel.h"

namespace {

struct Case {
    const char* name;
    cFileMode mode;
    DWORD access;  // what the mode asks of CreateFileA
    DWORD share;
};

// 0x0041 read, all shared; 0x0021 read, reading shared; 0x0044 read-write,
// all shared; 0x0004 read-write, nothing shared (as the Linux benchmark).
const Case kCases[] = {
    {"read, all shared (0x0041)", 0x0041, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE},
    {"read, read shared (0x0021)", 0x0021, GENERIC_READ, FILE_SHARE_READ},
    {"read-write, all shared (0x0044)", 0x0044, GENERIC_READ | GENERIC_WRITE,
     FILE_SHARE_READ | FILE_SHARE_WRITE},
    {"read-write, none shared (0x0004)", 0x0004, GENERIC_READ | GENERIC_WRITE, 0},
};

double now() {
    static const double ticksPerNanosecond = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return double(frequency.QuadPart) / 1e9;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / ticksPerNanosecond;
}

// Nanoseconds per open and close, or a negative value when an open failed.
double rawBatch(const std::string& path, const Case& c, int iterations) {
    double start = now();
    for (int i = 0; i < iterations; ++i) {
        // The library fills the same record for every call.
        SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE handle = CreateFileA(path.c_str(), c.access, c.share, &inheritable, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return -1;
        CloseHandle(handle);
    }
    return (now() - start) / iterations;
}

double libraryBatch(const std::string& path, const Case& c, int iterations) {
    double start = now();
    for (int i = 0; i < iterations; ++i) {
        cFileHandle handle;
        if (cFileOpen(path.c_str(), c.mode, &handle) != 0) return -1;
        cFileClose(handle);
    }
    return (now() - start) / iterations;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string makeFile() {
    char folder[MAX_PATH + 1];
    char path[MAX_PATH + 1];
    if (GetTempPathA(sizeof folder, folder) == 0 || GetTempFileNameA(folder, "qbo", 0, path) == 0) {
        return std::string();
    }
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    DWORD written = 0;
    WriteFile(file, "0123456789", 10, &written, nullptr);
    CloseHandle(file);
    return path;
}

int intOption(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) return std::max(1, std::atoi(argv[i + 1]));
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const int iterations = intOption(argc, argv, "--iterations", 2000);
    const int repetitions = intOption(argc, argv, "--repetitions", 9);
    const std::string path = makeFile();
    if (path.empty()) {
        std::fprintf(stderr, "cannot make the benchmark file\n");
        return 1;
    }
    std::printf("open + close of an existing file, %d iterations x %d repetitions, median\n",
                iterations, repetitions);
    std::printf("%-34s %14s %14s %8s\n", "mode", "CreateFileA ns", "cFileOpen ns", "ratio");
    int failures = 0;
    for (const Case& c : kCases) {
        std::vector<double> raw, library;
        // One batch of each to warm up caches and the first-use paths.
        rawBatch(path, c, iterations / 10 + 1);
        libraryBatch(path, c, iterations / 10 + 1);
        for (int r = 0; r < repetitions; ++r) {
            if (r % 2 == 0) {
                raw.push_back(rawBatch(path, c, iterations));
                library.push_back(libraryBatch(path, c, iterations));
            } else {
                library.push_back(libraryBatch(path, c, iterations));
                raw.push_back(rawBatch(path, c, iterations));
            }
        }
        double rawMedian = median(raw), libraryMedian = median(library);
        if (*std::min_element(raw.begin(), raw.end()) < 0 ||
            *std::min_element(library.begin(), library.end()) < 0) {
            std::printf("%-34s open failed\n", c.name);
            ++failures;
            continue;
        }
        std::printf("%-34s %14.0f %14.0f %8.3f\n", c.name, rawMedian, libraryMedian,
                    libraryMedian / rawMedian);
    }
    DeleteFileA(path.c_str());
    return failures == 0 ? 0 : 1;
}

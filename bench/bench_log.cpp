// The logging path against its obvious peers, in the same run:
//  * building a status-line record with the clock stamp, against
//    tzset + localtime_r + strftime + snprintf of the same line;
//  * appending a 100-byte line to an existing file, against the raw
//    open(O_WRONLY|O_APPEND) + write + close and against
//    fopen("a") + fputs + fclose;
//  * lines per second with 4 processes appending to one file at once.
// The figures are the ratios of the times.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "bench_support.h"
#include "qorvel.h"
#include "records.h"

namespace {

using qtest::fullRecord;

// ---- Building the line -------------------------------------------------------------

void QorvelBuildLine(benchmark::State& state) {
    const cFileNftRecord record = fullRecord();
    char out[256];
    for (auto _ : state) {
        cFileBuildNftBuffer(nullptr, &record, out);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(QorvelBuildLine);

// The same line the usual way. With `reloadZone` the peer re-reads the time
// zone as the library does; without it, a change of TZ would go unseen.
void StrftimeSnprintfLine(benchmark::State& state) {
    const bool reloadZone = state.range(0) != 0;
    const cFileNftRecord record = fullRecord();
    char out[256];
    for (auto _ : state) {
        if (reloadZone) tzset();
        std::time_t now = std::time(nullptr);
        std::tm local;
        localtime_r(&now, &local);
        char rest[32];
        std::strftime(rest, sizeof rest, "%m/%d %H:%M:%S", &local);
        std::snprintf(out, sizeof out,
                      "/D=%02d/%s /S=%s /E=%s /U=%s /A=%s /V=%s /F=%s /O=%ld /P=%s /R=%d /T=%s\r\n",
                      local.tm_year, rest, record.severity <= 1 ? "Err" : "Warn", record.eText,
                      record.uText, record.aText, record.vText, record.fText, long(record.oValue),
                      record.pText, int(record.rValue), record.tText);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(StrftimeSnprintfLine)->Arg(1)->Arg(0);

// ---- Appending a line -----------------------------------------------------------------

const std::string kLine = std::string(98, 'x') + "\r\n";

// A fresh, existing, empty file per benchmark.
std::string freshFile(const char* name) {
    std::string path = qbench::scratchName(std::string("log-") + name);
    FILE* file = std::fopen(path.c_str(), "w");
    std::fclose(file);
    return path;
}

void QorvelAppendLine(benchmark::State& state) {
    const std::string path = freshFile("qorvel");
    for (auto _ : state) {
        if (cFileWriteToFile(path.c_str(), kLine.c_str()) != 0)
            state.SkipWithError("append failed");
    }
    unlink(path.c_str());
}
BENCHMARK(QorvelAppendLine);

void RawAppendLine(benchmark::State& state) {
    const std::string path = freshFile("raw");
    for (auto _ : state) {
        int fd = open(path.c_str(), O_WRONLY | O_APPEND);
        if (write(fd, kLine.data(), kLine.size()) != ssize_t(kLine.size())) {
            state.SkipWithError("write failed");
        }
        close(fd);
    }
    unlink(path.c_str());
}
BENCHMARK(RawAppendLine);

void StdioAppendLine(benchmark::State& state) {
    const std::string path = freshFile("stdio");
    for (auto _ : state) {
        FILE* file = std::fopen(path.c_str(), "a");
        std::fputs(kLine.c_str(), file);
        std::fclose(file);
    }
    unlink(path.c_str());
}
BENCHMARK(StdioAppendLine);

// ---- Four processes at once -----------------------------------------------------------

constexpr int kProcesses = 4;
constexpr int kLinesPerProcess = 5000;

// Each iteration: kProcesses processes append kLinesPerProcess lines each to
// one file, all at once; the rate is lines per second of wall time.
template <typename AppendOne>
void appendFromProcesses(benchmark::State& state, const char* name, AppendOne appendOne) {
    const std::string path = freshFile(name);
    for (auto _ : state) {
        pid_t children[kProcesses];
        for (pid_t& child : children) {
            child = fork();
            if (child == 0) {
                for (int i = 0; i < kLinesPerProcess; ++i) {
                    if (!appendOne(path)) _exit(1);
                }
                _exit(0);
            }
        }
        for (pid_t child : children) {
            int status = 0;
            waitpid(child, &status, 0);
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
                state.SkipWithError("append failed");
        }
    }
    state.counters["lines/s"] = benchmark::Counter(
        double(state.iterations()) * kProcesses * kLinesPerProcess, benchmark::Counter::kIsRate);
    unlink(path.c_str());
}

void QorvelFourProcesses(benchmark::State& state) {
    appendFromProcesses(state, "qorvel4", [](const std::string& path) {
        return cFileWriteToFile(path.c_str(), kLine.c_str()) == 0;
    });
}
BENCHMARK(QorvelFourProcesses)->UseRealTime()->Unit(benchmark::kMillisecond);

void RawFourProcesses(benchmark::State& state) {
    appendFromProcesses(state, "raw4", [](const std::string& path) {
        int fd = open(path.c_str(), O_WRONLY | O_APPEND);
        bool ok = write(fd, kLine.data(), kLine.size()) == ssize_t(kLine.size());
        close(fd);
        return ok;
    });
}
BENCHMARK(RawFourProcesses)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Eight threads of one process work on the same few files at once: opens
// with random mode words, closes, locks, reads, writes, size changes,
// appends, record builds and path queries, and a handle all of them share.
// Built with ThreadSanitizer (the tsan preset) it proves the library free of
// data races; in every build each answer must be a well-formed status.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "qorvel.h"
#include "stress.h"
#include "test_support.h"

namespace {

constexpr int kThreads = 8;

long operationsPerThread() {
    const char* text = std::getenv("QORVEL_STRESS_OPS");
    long count = text != nullptr ? std::atol(text) : 0;
    return count > 0 ? count : 30000;
}

// Low half 0 or one of the library's codes 0x301..0x308.
bool wellFormed(cFileStatus status) {
    uint32_t code = status & 0xFFFF;
    return status == 0 || (code >= 0x0301 && code <= 0x0308);
}

struct Shared {
    std::vector<std::string> files;
    std::string directory;
    cFileHandle common = CFILE_INVALID_HANDLE;  // every thread uses it
    std::atomic<long> operations{0};
    std::atomic<long> grants{0};
};

class Worker {
public:
    Worker(Shared& shared, unsigned seed) : shared_(shared), random_(seed) {}

    void run(long count) {
        for (long i = 0; i < count; ++i) step();
        for (cFileHandle handle : handles_) check(cFileClose(handle), "close");
        shared_.operations.fetch_add(count);
    }

private:
    Shared& shared_;
    std::mt19937 random_;
    std::vector<cFileHandle> handles_;

    unsigned pick(size_t n) { return static_cast<unsigned>(random_() % n); }
    const std::string& someFile() { return shared_.files[pick(shared_.files.size())]; }
    cFileHandle someHandle() {
        if (handles_.empty() || pick(4) == 0) return shared_.common;
        return handles_[pick(handles_.size())];
    }
    void check(cFileStatus status, const char* what) {
        EXPECT_TRUE(wellFormed(status)) << what << " answered " << std::hex << status;
    }

    void step() {
        switch (pick(14)) {
            case 0:
            case 1: open(); break;
            case 2: close(); break;
            case 3: read(); break;
            case 4: write(); break;
            case 5: sizeChange(); break;
            case 6: lockAndUnlock(); break;
            case 7: append(); break;
            case 8: buildRecord(); break;
            case 9: queryPath(); break;
            case 10: queryDirectories(); break;
            case 11: seekAndTest(); break;
            case 12: flush(); break;
            default: attributes(); break;
        }
    }

    void open() {
        if (handles_.size() >= 6) return close();
        cFileMode mode;
        do mode = static_cast<cFileMode>(random_() & 0x0377);
        while (!qstress::validMode(mode));
        cFileHandle handle;
        cFileStatus status = pick(8) == 0 && !(mode & 0x0001)
                                 ? cFileCreate(someFile().c_str(), mode, 0, &handle)
                                 : cFileOpen(someFile().c_str(), mode, &handle);
        check(status, "open");
        if (status == 0) {
            handles_.push_back(handle);
            shared_.grants.fetch_add(1);
        }
    }
    void close() {
        if (handles_.empty()) return;
        size_t index = pick(handles_.size());
        check(cFileClose(handles_[index]), "close");
        handles_.erase(handles_.begin() + static_cast<long>(index));
    }
    void read() {
        char data[64];
        uint32_t got = 0;
        check(cFileRead(someHandle(), data, pick(sizeof data), &got), "read");
    }
    void write() {
        const char data[] = "0123456789abcdefghijklmnopqrstuvwxyz";
        uint32_t wrote = 0;
        check(cFileWrite(someHandle(), data, pick(sizeof data), &wrote), "write");
    }
    void sizeChange() { check(cFileSetSize(someHandle(), pick(4096)), "set size"); }
    void lockAndUnlock() {
        cFileHandle handle = someHandle();
        uint32_t start = pick(256), length = 1 + pick(64);
        cFileStatus status = cFileLock(handle, start, length);
        check(status, "lock");
        if (status == 0) check(cFileUnlock(handle, start, length), "unlock");
    }
    void append() {
        std::string line = "thread line " + std::to_string(random_()) + "\r\n";
        check(cFileWriteToFile(someFile().c_str(), line.c_str()), "append");
    }
    void buildRecord() {
        cFileNftRecord record{};
        record.severity = static_cast<int16_t>(pick(4));
        record.eText = pick(2) ? "event" : nullptr;
        record.oValue = static_cast<int32_t>(random_());
        record.rValue = static_cast<int16_t>(random_());
        char line[512];
        check(cFileBuildNftBuffer(pick(2) ? nullptr : "stamp", &record, line), "record");
    }
    void queryPath() {
        int16_t exists = 0;
        uint32_t size = 0;
        check(cFileIsExist(someFile().c_str(), &exists), "exists");
        check(cFileGetSize(someFile().c_str(), &size), "size");
    }
    void attributes() {
        int16_t flag = 0;
        int32_t time = 0;
        EXPECT_LE(static_cast<uint32_t>(cFileGetAttribute(someFile().c_str(), 1, &flag)), 1u);
        EXPECT_LE(static_cast<uint32_t>(cFileGetTime(someFile().c_str(), 1, &time)), 1u);
    }
    void queryDirectories() {
        char buffer[CFILE_DIR_BUFFER_SIZE];
        uint32_t free = 0;
        check(cFileGetCurrentDir(buffer), "current directory");
        check(cFileGetTempDir(buffer), "temporary directory");
        check(cFileGetDiskFree(shared_.directory.c_str(), &free), "disk free");
    }
    void seekAndTest() {
        cFileHandle handle = someHandle();
        uint32_t position = 0;
        int16_t eof = 0;
        check(cFileSeek(handle, pick(512), pick(3), &position), "seek");
        check(cFileGetPosition(handle, &position), "position");
        check(cFileIsEof(handle, &eof), "end of file");
    }
    void flush() { check(cFileFlush(someHandle()), "flush"); }
};

}  // namespace

TEST(ThreadStress, EightThreadsOnSharedFilesAnswerWellFormedStatuses) {
    qtest::TempDir dir;
    Shared shared;
    shared.directory = dir.root();
    for (const char* name : {"a.dat", "b.dat", "c.log"}) {
        shared.files.push_back(dir.path(name));
        qtest::writeFile(shared.files.back(), std::string(300, 'x'));
    }
    ASSERT_EQ(cFileOpen(shared.files[0].c_str(), 0x0044, &shared.common), 0u);

    const long count = operationsPerThread();
    std::random_device seeds;
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&shared, count, seed = seeds()] { Worker(shared, seed).run(count); });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(cFileClose(shared.common), 0u);
    std::printf("[ threads  ] %d threads, %ld operations, %ld grants\n", kThreads,
                shared.operations.load(), shared.grants.load());

    // Every handle is closed: each file opens exclusively again.
    for (const std::string& file : shared.files) {
        cFileHandle handle;
        ASSERT_EQ(cFileOpen(file.c_str(), 0x0004, &handle), 0u) << file;
        EXPECT_EQ(cFileLock(handle, 0, 0xFFFFFFFF), 0u);
        EXPECT_EQ(cFileClose(handle), 0u);
    }
}

// Threads lock through one handle they share: a range each of their own,
// which is always granted and reads through, and one range all of them want,
// which is granted to one thread at a time. Each handle's record is changed
// only between system calls, so the threads never hold each other up.
TEST(ThreadStress, ThreadsSharingAHandleAreGrantedExactlyTheirLocks) {
    qtest::TempDir dir;
    std::string file = dir.path("shared.bin");
    qtest::writeFile(file, std::string(1000, 's'));
    cFileHandle handle;
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0044, &handle), 0u);
    constexpr int kSharers = 4;
    const long rounds = operationsPerThread() / 10;
    std::atomic<int> holders{0};
    std::atomic<long> overlaps{0}, refusedOwn{0}, contested{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kSharers; ++t) {
        threads.emplace_back([&, t] {
            auto own = static_cast<uint32_t>(100 + 100 * t);
            for (long i = 0; i < rounds; ++i) {
                if (cFileLock(handle, own, 50) != 0 || cFileUnlock(handle, own, 50) != 0) {
                    ++refusedOwn;
                }
                if (cFileLock(handle, 0, 10) != 0) continue;
                ++contested;
                if (holders.fetch_add(1) != 0) ++overlaps;
                holders.fetch_sub(1);
                if (cFileUnlock(handle, 0, 10) != 0) ++overlaps;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(refusedOwn.load(), 0);
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_GT(contested.load(), 0);
    // Nothing is left locked.
    EXPECT_EQ(cFileLock(handle, 0, 1000), 0u);
    EXPECT_EQ(cFileClose(handle), 0u);
}

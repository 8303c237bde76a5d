// Locks belong to the process that took them: a child that inherits a handle
// (forked, or started through fork + exec) is not granted the regions its
// parent locked through it and cannot unlock them; fork never hangs, however
// busy the parent's threads are; and a lock holder is never refused its own
// bytes because another handle failed to lock them.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "process.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

extern char** environ;

namespace {

using Statuses = std::vector<cFileStatus>;
using qtest::words::kLockViolation;
using qtest::words::kNotLocked;

// A child's statuses travel back through a pipe.
Statuses inForkedChild(const std::function<Statuses()>& body) {
    int reply[2];
    if (pipe(reply) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        ::close(reply[0]);
        Statuses statuses = body();
        auto size = ssize_t(statuses.size() * sizeof(cFileStatus));
        _exit(write(reply[1], statuses.data(), size_t(size)) == size ? 0 : 1);
    }
    ::close(reply[1]);
    Statuses statuses;
    cFileStatus status;
    while (read(reply[0], &status, sizeof status) == sizeof status) statuses.push_back(status);
    ::close(reply[0]);
    EXPECT_EQ(qtest::waitForExit(pid), 0);
    return statuses;
}

cFileStatus transfer(cFileHandle handle, bool write, uint32_t start, uint32_t count) {
    cFileStatus status = cFileSeek(handle, start, CFILE_SEEK_BEGIN, nullptr);
    if (status != 0) return status;
    std::vector<char> buffer(count, 'w');
    uint32_t moved = 0;
    return write ? cFileWrite(handle, buffer.data(), count, &moved)
                 : cFileRead(handle, buffer.data(), count, &moved);
}

cFileStatus readAt(cFileHandle handle, uint32_t start, uint32_t count) {
    return transfer(handle, false, start, count);
}

// Starts the helper program with every handle of this process inherited and
// answers the statuses it printed.
std::string runHandleUser(cFileHandle handle, const std::vector<std::string>& calls) {
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0) return "no pipe";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    std::vector<std::string> args{QORVEL_HANDLE_USER, std::to_string(handle)};
    args.insert(args.end(), calls.begin(), calls.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, QORVEL_HANDLE_USER, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    std::string text;
    qtest::readToEndUntil(output[0], std::chrono::steady_clock::now() + std::chrono::seconds(20),
                          &text);
    ::close(output[0]);
    if (spawned != 0) return "not started";
    EXPECT_EQ(qtest::waitForExit(pid), 0);
    return text;
}

// A program started without a fork handler (posix_spawn; system(), in the
// background of a shell that ends at once) keeps the share mode of a handle
// it inherited when its parent closes the handle, as a forked child does;
// the parent's lock goes with the parent's close.
class StartedProgramTest : public ::testing::TestWithParam<qtest::InheritingProgram::Start> {};

TEST_P(StartedProgramTest, KeepsTheShareModeButNotItsParentsLock) {
    qtest::TempDir dir;
    std::string file = dir.path("held.bin");
    qtest::writeFile(file, std::string(100, 'd'));
    cFileHandle handle = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileOpen(file.c_str(), CFILE_ACCESS_READ | CFILE_SHARE_READ, &handle), 0u);
    ASSERT_EQ(cFileLock(handle, 0, 10), 0u);
    qtest::InheritingProgram program(QORVEL_HANDLE_USER, handle, GetParam());
    ASSERT_TRUE(program.started());
    ASSERT_EQ(cFileClose(handle), 0u);

    qtest::HandleInOtherProcess reader(file, CFILE_ACCESS_READ | CFILE_SHARE_READWRITE);
    ASSERT_EQ(reader.opened(), 0u);
    EXPECT_EQ(reader.lock(0, 10), 0u);
    EXPECT_EQ(reader.close(), 0u);
    qtest::HandleInOtherProcess writer(file, CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE);
    EXPECT_EQ(writer.opened(), qtest::words::kSharingViolation);
    program.release();
    if (GetParam() == qtest::InheritingProgram::Start::kSpawn) {
        EXPECT_EQ(qtest::HandleInOtherProcess(file, CFILE_ACCESS_WRITE).opened(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(BySpawnAndSystem, StartedProgramTest,
                         ::testing::Values(qtest::InheritingProgram::Start::kSpawn,
                                           qtest::InheritingProgram::Start::kSystem));

class InheritedHandleTest : public ::testing::TestWithParam<cFileMode> {
protected:
    qtest::TempDir dir;
    std::string file = dir.path("data.bin");
    cFileHandle handle = CFILE_INVALID_HANDLE;

    void SetUp() override {
        qtest::writeFile(file, std::string(100, 'd'));
        ASSERT_EQ(cFileOpen(file.c_str(), GetParam(), &handle), 0u);
        ASSERT_EQ(cFileLock(handle, 0, 10), 0u);
    }
    void TearDown() override { cFileClose(handle); }

    bool writable() const { return (GetParam() & 0x0006) != 0; }

    // The parent's lock still holds: the kernel shows it to any other
    // description, and every other handle is refused.
    void expectParentStillHolds() {
        int look = open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(look, 0);
        struct flock probe = {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        probe.l_start = 0;
        probe.l_len = 10;
        ASSERT_EQ(fcntl(look, F_OFD_GETLK, &probe), 0);
        ::close(look);
        EXPECT_NE(probe.l_type, F_UNLCK);
        if (!(GetParam() & 0x0060)) return;  // it shares nothing
        cFileHandle other;
        ASSERT_EQ(cFileOpen(file.c_str(), 0x0041, &other), 0u);
        EXPECT_EQ(cFileLock(other, 0, 10), kLockViolation);
        EXPECT_EQ(readAt(other, 0, 10), kLockViolation);
        EXPECT_EQ(cFileClose(other), 0u);
    }
};

// Read-only and read/write handles, sharing everything or nothing.
INSTANTIATE_TEST_SUITE_P(Modes, InheritedHandleTest, ::testing::Values(0x0044, 0x0004, 0x0041));

TEST_P(InheritedHandleTest, AForkedChildIsNotGrantedItsParentsRegionAndCannotUnlockIt) {
    bool canWrite = writable();
    Statuses child = inForkedChild([&] {
        Statuses statuses{readAt(handle, 0, 10),
                          readAt(handle, 5, 20),
                          canWrite ? transfer(handle, true, 9, 1) : kLockViolation,
                          cFileUnlock(handle, 0, 10),
                          cFileLock(handle, 0, 10),
                          cFileLock(handle, 5, 0)};
        // Bytes the parent did not lock are the child's to lock and use.
        statuses.push_back(cFileLock(handle, 20, 10));
        statuses.push_back(readAt(handle, 20, 10));
        statuses.push_back(cFileUnlock(handle, 20, 10));
        return statuses;
    });
    Statuses expected{kLockViolation,
                      kLockViolation,
                      kLockViolation,
                      kNotLocked,
                      kLockViolation,
                      kLockViolation,
                      0,
                      0,
                      0};
    EXPECT_EQ(child, expected);
    expectParentStillHolds();
    EXPECT_EQ(cFileUnlock(handle, 0, 10), 0u);
}

TEST_P(InheritedHandleTest, AStartedProgramIsNotGrantedItsParentsRegionAndCannotUnlockIt) {
    std::string calls = runHandleUser(handle, {"read:0:10", "read:8:4", "unlock:0:10", "lock:0:10",
                                               "lock:20:10", "read:20:10", "unlock:20:10"});
    EXPECT_EQ(calls, "00210307 00210307 009e0307 00210307 00000000 00000000 00000000\n");
    expectParentStillHolds();
}

TEST_P(InheritedHandleTest, OnceTheParentUnlocksTheChildMayLock) {
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    int reply[2];
    ASSERT_EQ(pipe(reply), 0);
    pid_t pid = fork();
    if (pid == 0) {
        char byte;
        bool told = read(go[0], &byte, 1) == 1;
        Statuses statuses{told ? 0u : 1u, cFileLock(handle, 0, 10), readAt(handle, 0, 10),
                          cFileUnlock(handle, 0, 10)};
        auto size = ssize_t(statuses.size() * sizeof(cFileStatus));
        _exit(write(reply[1], statuses.data(), size_t(size)) == size ? 0 : 1);
    }
    ::close(reply[1]);
    EXPECT_EQ(cFileUnlock(handle, 0, 10), 0u);
    ASSERT_EQ(write(go[1], "g", 1), 1);
    Statuses child(4, 0xFFFFFFFFu);
    EXPECT_EQ(read(reply[0], child.data(), child.size() * sizeof(cFileStatus)),
              ssize_t(child.size() * sizeof(cFileStatus)));
    EXPECT_EQ(qtest::waitForExit(pid), 0);
    for (int end : {go[0], go[1], reply[0]}) ::close(end);
    EXPECT_EQ(child, (Statuses{0, 0, 0, 0}));
    ASSERT_EQ(cFileLock(handle, 0, 10), 0u);
}

// A forked child that closes the inherited handle itself gives up only its
// own locks: the parent's stay.
TEST_P(InheritedHandleTest, AChildsCloseLeavesItsParentsLocks) {
    Statuses child = inForkedChild([&] {
        cFileStatus locked = cFileLock(handle, 30, 10);
        return Statuses{locked, cFileClose(handle)};
    });
    EXPECT_EQ(child, (Statuses{0, 0}));
    expectParentStillHolds();
}

// ---- Fork while threads work --------------------------------------------------------

// Threads open, lock, read, unlock and close their own files, and lock
// through one handle they share, while the main thread starts children:
// each forked child uses the library at once, the others exec.
class ForkWhileThreadsWork : public ::testing::Test {
protected:
    static constexpr int kThreads = 2;
    qtest::TempDir dir;
    std::atomic<bool> stop{false};
    std::atomic<long> rounds{0};
    std::vector<std::thread> threads;
    cFileHandle common = CFILE_INVALID_HANDLE;

    void SetUp() override {
        qtest::writeFile(dir.path("common.bin"), std::string(4096, 'c'));
        ASSERT_EQ(cFileOpen(dir.path("common.bin").c_str(), 0x0044, &common), 0u);
        for (int t = 0; t < kThreads; ++t) {
            std::string own = dir.path("thread" + std::to_string(t) + ".bin");
            qtest::writeFile(own, std::string(100, 't'));
            threads.emplace_back([this, own, t] { work(own, uint32_t(t)); });
        }
    }
    void TearDown() override {
        stop = true;
        for (std::thread& thread : threads) thread.join();
        cFileClose(common);
    }

    void work(const std::string& own, uint32_t t) {
        while (!stop) {
            cFileHandle handle;
            if (cFileOpen(own.c_str(), 0x0044, &handle) != 0) continue;
            if (cFileLock(handle, 0, 10) == 0) {
                readAt(handle, 0, 10);
                cFileUnlock(handle, 0, 10);
            }
            cFileClose(handle);
            if (cFileLock(common, 100 * t, 10) == 0) cFileUnlock(common, 100 * t, 10);
            ++rounds;
        }
    }

    // Waits for the child with a limit far beyond what it needs (a hung one
    // is ended and reported).
    static int waitBounded(pid_t pid) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // What a forked child does: its own handle, and the inherited one.
    int childUsesTheLibrary(int round) {
        std::string mine = dir.path("child" + std::to_string(round % 4) + ".bin");
        cFileHandle handle;
        if (cFileCreate(mine.c_str(), 0x0042, 0, &handle) != 0) return 10;
        bool ok = cFileLock(handle, 0, 10) == 0 && cFileUnlock(handle, 0, 10) == 0;
        ok = cFileClose(handle) == 0 && ok;
        ok = ok && cFileLock(common, 3000, 10) == 0 && cFileUnlock(common, 3000, 10) == 0;
        return ok ? 0 : 11;
    }
};

TEST_F(ForkWhileThreadsWork, HundredsOfForksNeverHang) {
    for (int round = 0; round < 300; ++round) {
        pid_t pid = fork();
        if (pid == 0) _exit(childUsesTheLibrary(round));
        ASSERT_GT(pid, 0);
        ASSERT_EQ(waitBounded(pid), 0) << "round " << round;
    }
    EXPECT_GT(rounds.load(), 0);
}

TEST_F(ForkWhileThreadsWork, SpawnVforkAndSystemNeverHang) {
    char truePath[] = "/bin/true";
    char* argv[] = {truePath, nullptr};
    for (int round = 0; round < 50; ++round) {
        pid_t spawned = -1;
        ASSERT_EQ(posix_spawn(&spawned, truePath, nullptr, nullptr, argv, environ), 0);
        ASSERT_EQ(waitBounded(spawned), 0);
        pid_t forked = vfork();
        if (forked == 0) {
            execv(truePath, argv);
            _exit(127);
        }
        ASSERT_EQ(waitBounded(forked), 0);
        ASSERT_EQ(std::system("true"), 0);
    }
}

// ---- Contention ---------------------------------------------------------------------------

// A holder reads its own locked range while a read-only handle of another
// process keeps trying to lock it: every read is granted.
TEST(LockContention, AHolderIsNeverRefusedItsOwnRangeByAFailingLocker) {
    qtest::TempDir dir;
    std::string file = dir.path("held.bin");
    qtest::writeFile(file, std::string(100, 'h'));
    cFileHandle holder;
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0041, &holder), 0u);
    ASSERT_EQ(cFileLock(holder, 0, 100), 0u);
    int stop[2];
    ASSERT_EQ(pipe(stop), 0);
    pid_t locker = fork();
    if (locker == 0) {
        ::close(stop[1]);
        fcntl(stop[0], F_SETFL, O_NONBLOCK);
        cFileHandle contender;
        if (cFileOpen(file.c_str(), 0x0041, &contender) != 0) _exit(2);
        char byte;
        while (read(stop[0], &byte, 1) < 0) {
            if (cFileLock(contender, 0, 100) != kLockViolation) _exit(3);
        }
        _exit(0);
    }
    ::close(stop[0]);
    int refused = 0;
    for (int i = 0; i < 20000; ++i) refused += readAt(holder, 0, 100) != 0;
    ASSERT_EQ(write(stop[1], "s", 1), 1);
    ::close(stop[1]);
    EXPECT_EQ(qtest::waitForExit(locker), 0);
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(cFileClose(holder), 0u);
}

// Another program's read lock met first does not hide a handle's write lock
// beside it: a transfer is refused exactly when another handle's lock covers
// its bytes.
TEST(LockContention, AReadLockMetFirstHidesNoHandlesLock) {
    qtest::TempDir dir;
    std::string file = dir.path("mixed.bin");
    qtest::writeFile(file, std::string(100, 'm'));
    int program = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(program, 0);
    struct flock readLock = {};
    readLock.l_type = F_RDLCK;
    readLock.l_whence = SEEK_SET;
    readLock.l_start = 0;
    readLock.l_len = 10;
    ASSERT_EQ(fcntl(program, F_OFD_SETLK, &readLock), 0);
    cFileHandle locker, reader;
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0044, &locker), 0u);
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0044, &reader), 0u);
    ASSERT_EQ(cFileLock(locker, 50, 10), 0u);
    EXPECT_EQ(readAt(reader, 0, 100), kLockViolation);
    EXPECT_EQ(readAt(reader, 0, 50), 0u);
    EXPECT_EQ(readAt(reader, 60, 40), 0u);
    EXPECT_EQ(cFileClose(locker), 0u);
    EXPECT_EQ(readAt(reader, 0, 100), 0u);
    EXPECT_EQ(cFileClose(reader), 0u);
    ::close(program);
}

}  // namespace

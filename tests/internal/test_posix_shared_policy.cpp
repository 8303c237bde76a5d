// The policy for files on a file system that several machines share, run on
// a local file: the file lies on tmpfs (no block device, as FUSE and NFS),
// and the mount's type is answered as FUSE's (sys.statmount, sys.fstatfs).
// The calls the policy makes are traced, and chosen ones fail or are held up.
// The cluster programs (tests/cluster) prove the same on real file servers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "faults.h"
#include "platform/posix/lock_space.h"
#include "platform/posix/registry.h"
#include "platform/posix/syscalls.h"
#include "process.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

using namespace qtest::words;
using namespace qtest::faults;
namespace posix = qorvel::platform::posix;
using posix::kDefaultSystemCalls;
using posix::sys;

namespace {

constexpr cFileMode kReadWriteSharing = CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE;
constexpr cFileMode kReadWriteAlone = CFILE_ACCESS_READWRITE;

// ---- The traced calls -------------------------------------------------------

uint64_t gMountType = FUSE_SUPER_MAGIC;
std::vector<std::string> gTrace;
std::string gFailing;        // the traced event the plan (faults.h) fails
std::string gWatched;        // the file whose append gate a write looks at
int gKeptOpen = -1;          // the descriptor whose close keeps its description
std::atomic<int> gKept{-1};  // ... in this duplicate, until releaseKept()

void note(const std::string& event) { gTrace.push_back(event); }
bool fails(const std::string& event) {
    note(event);
    return event == gFailing && failNow();
}

std::string lockEvent(int command, const struct flock& lock) {
    const char* type = lock.l_type == F_WRLCK ? "W" : lock.l_type == F_RDLCK ? "R" : "U";
    const char* how = command == F_OFD_GETLK ? " ask" : "";
    if (lock.l_start == posix::kShareAreaEnd && lock.l_len == 1) {
        return std::string("gate ") + type + how;
    }
    return std::string("lock ") + type + how + " " + std::to_string(lock.l_start) + "+" +
           std::to_string(lock.l_len);
}

// Whether another description finds the file's append gate held.
bool gateHeld(const std::string& path) {
    int probe = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct flock gate = {};
    gate.l_type = F_WRLCK;
    gate.l_whence = SEEK_SET;
    gate.l_start = posix::kShareAreaEnd;
    gate.l_len = 1;
    bool held = probe >= 0 && fcntl(probe, F_OFD_GETLK, &gate) == 0 && gate.l_type != F_UNLCK;
    if (probe >= 0) ::close(probe);
    return held;
}

void releaseKept() {
    int kept = gKept.exchange(-1);
    if (kept >= 0) ::close(kept);
}

void installTracedCalls() {
    sys.statmount = [](uint64_t, uint64_t* type) {
        note("statmount");
        *type = gMountType;
        return 0;
    };
    sys.fstatfs = [](int fd, struct statfs* status) {
        note("fstatfs");
        int result = kDefaultSystemCalls.fstatfs(fd, status);
        status->f_type = static_cast<decltype(status->f_type)>(gMountType);
        return result;
    };
    sys.statx = [](int dir, const char* path, int flags, unsigned mask, struct statx* status) {
        if (fails((flags & AT_STATX_FORCE_SYNC) ? "statx sync" : "statx")) return -1;
        return kDefaultSystemCalls.statx(dir, path, flags, mask, status);
    };
    sys.fcntlLock = [](int fd, int command, struct flock* lock) {
        if (fails(lockEvent(command, *lock))) return -1;
        return kDefaultSystemCalls.fcntlLock(fd, command, lock);
    };
    sys.fcntlInt = [](int fd, int command, int argument) {
        if (command == F_SETFL && (argument & O_DIRECT)) note("direct");
        return kDefaultSystemCalls.fcntlInt(fd, command, argument);
    };
    sys.fadvise = [](int fd, off_t offset, off_t length, int advice) {
        if (advice == POSIX_FADV_DONTNEED) {
            note("drop " + std::to_string(offset) + "+" + std::to_string(length));
        }
        return kDefaultSystemCalls.fadvise(fd, offset, length, advice);
    };
    sys.write = [](int fd, const void* buffer, size_t count) -> ssize_t {
        note(!gWatched.empty() && gateHeld(gWatched) ? "write in turn" : "write");
        return kDefaultSystemCalls.write(fd, buffer, count);
    };
    sys.fsync = [](int fd) {
        if (fails("fsync")) return -1;
        return kDefaultSystemCalls.fsync(fd);
    };
    // A close whose description lives on a moment (as a FUSE client's
    // release of its locks, sent after close returned).
    sys.close = [](int fd) {
        note("close");
        if (fd == gKeptOpen) {
            gKept = dup(fd);
            gKeptOpen = -1;
        }
        return kDefaultSystemCalls.close(fd);
    };
}

// Where `first` comes in the trace before `second`, both present.
::testing::AssertionResult inOrder(const std::string& first, const std::string& second) {
    auto a = std::find(gTrace.begin(), gTrace.end(), first);
    auto b = std::find(a == gTrace.end() ? gTrace.begin() : a, gTrace.end(), second);
    if (a != gTrace.end() && b != gTrace.end()) return ::testing::AssertionSuccess();
    std::string trace;
    for (const std::string& event : gTrace) trace += "[" + event + "] ";
    return ::testing::AssertionFailure() << "no " << first << " then " << second << " in " << trace;
}
bool traced(const std::string& event) {
    return std::find(gTrace.begin(), gTrace.end(), event) != gTrace.end();
}

bool onBlockDevice(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && major(status.st_dev) != 0;
}

bool kernelNamesMounts(const std::string& path) {
    constexpr unsigned kUniqueMountId = 0x4000;  // STATX_MNT_ID_UNIQUE, Linux 6.8
    struct statx status;
    return statx(AT_FDCWD, path.c_str(), 0, kUniqueMountId, &status) == 0 &&
           (status.stx_mask & kUniqueMountId);
}

class SharedPolicyTest : public SystemCallFaultTest {
protected:
    std::unique_ptr<qtest::TempDir> sharedDir;
    std::string file, local;

    void SetUp() override {
        if (access("/dev/shm", W_OK) != 0 || onBlockDevice("/dev/shm")) {
            GTEST_SKIP() << "no tmpfs at /dev/shm to stand in for a shared file system";
        }
        sharedDir = std::make_unique<qtest::TempDir>("/dev/shm");
        file = sharedDir->path("shared.dat");
        local = dir.path("local.dat");
        qtest::writeFile(file, "0123456789abcdefghij");
        qtest::writeFile(local, "0123456789abcdefghij");
        gMountType = FUSE_SUPER_MAGIC;
        gTrace.clear();
        gFailing.clear();
        gWatched.clear();
        gKeptOpen = -1;
        SystemCallFaultTest::SetUp();
        installTracedCalls();
    }
    void TearDown() override {
        releaseKept();
        SystemCallFaultTest::TearDown();
    }

    cFileHandle open(const std::string& path, cFileMode mode = kReadWriteSharing) {
        cFileHandle handle = CFILE_INVALID_HANDLE;
        EXPECT_EQ(cFileOpen(path.c_str(), mode, &handle), 0u) << path;
        return handle;
    }
    static void failTraced(const std::string& event, int error, int times = 1) {
        gFailing = event;
        failAfter(0, error, times);
    }
    static bool sharedPolicyOf(cFileHandle handle) {
        return (posix::factsOf(handle) & posix::kOnSharedFileSystem) != 0;
    }
};

}  // namespace

// ---- Which policy -------------------------------------------------------------

TEST_F(SharedPolicyTest, ThePolicyIsChosenAtOpenFromTheMountsType) {
    cFileHandle handle = open(file);
    EXPECT_TRUE(sharedPolicyOf(handle));
    cFileClose(handle);

    gMountType = TMPFS_MAGIC;
    handle = open(file);
    EXPECT_FALSE(sharedPolicyOf(handle)) << "tmpfs is local";
    cFileClose(handle);

    // A file on a block device is never asked its mount's type.
    if (onBlockDevice(local)) {
        gMountType = FUSE_SUPER_MAGIC;
        gTrace.clear();
        handle = open(local);
        EXPECT_FALSE(sharedPolicyOf(handle));
        EXPECT_FALSE(traced("statmount") || traced("fstatfs"));
        cFileClose(handle);
    }
}

// ---- The append's turn ------------------------------------------------------

TEST_F(SharedPolicyTest, AnAppendTakesTheGateRefreshesTheSizeWritesInTurnAndSyncs) {
    gWatched = file;
    ASSERT_EQ(cFileWriteToFile(file.c_str(), "line\r\n"), 0u);
    EXPECT_EQ(qtest::readFile(file), "0123456789abcdefghijline\r\n");
    EXPECT_TRUE(inOrder("gate W", "statx sync"));
    EXPECT_TRUE(inOrder("statx sync", "write in turn"));
    EXPECT_TRUE(inOrder("write in turn", "fsync"));
    EXPECT_FALSE(traced("write")) << "a write outside the turn";
    EXPECT_FALSE(gateHeld(file)) << "the gate outlived the handle";
    // On FUSE the text goes in one request.
    EXPECT_EQ(traced("direct"), kernelNamesMounts(file));

    gTrace.clear();
    gMountType = NFS_SUPER_MAGIC;
    ASSERT_EQ(cFileWriteToFile(file.c_str(), "next\r\n"), 0u);
    EXPECT_TRUE(inOrder("statx sync", "write in turn"));
    EXPECT_FALSE(traced("direct")) << "an NFS client sends its writes whole";

    gTrace.clear();
    gWatched = local;
    ASSERT_EQ(cFileWriteToFile(local.c_str(), "line\r\n"), 0u);
    EXPECT_FALSE(traced("gate W") || traced("statx sync") || traced("fsync"))
        << "a local append costs one write";
}

TEST_F(SharedPolicyTest, AnAppendWhoseTurnFailsAnswersTheFailureAndWritesNothing) {
    struct Case {
        const char* event;
        int error;
        cFileStatus status;
    };
    for (Case c : {Case{"gate W", ENOLCK, kSharingBufferExceeded}, Case{"gate W", EIO, kIoError},
                   Case{"statx sync", EIO, kIoError}}) {
        // A gate refused for another reason than that it is busy is waited
        // for once.
        failTraced(c.event, c.error, 2);
        EXPECT_EQ(cFileWriteToFile(file.c_str(), "lost\r\n"), c.status) << c.event;
        EXPECT_EQ(qtest::readFile(file), "0123456789abcdefghij") << c.event;
    }
    // A sync that fails: the text was written, and the append says it may
    // not have reached the server.
    failTraced("fsync", EIO);
    EXPECT_EQ(cFileWriteToFile(file.c_str(), "kept\r\n"), kIoError);
    failNever();
    EXPECT_EQ(cFileWriteToFile(file.c_str(), "next\r\n"), 0u) << "something was left behind";
    EXPECT_EQ(qtest::readFile(file), "0123456789abcdefghijkept\r\nnext\r\n");
}

// ---- Data under a lock ------------------------------------------------------

TEST_F(SharedPolicyTest, ALockAsksTheServerForTheSizeAndDropsTheRangesPages) {
    cFileHandle handle = open(file);
    gTrace.clear();
    ASSERT_EQ(cFileLock(handle, 4, 8), 0u);
    EXPECT_TRUE(inOrder("lock W 4+8", "statx sync"));
    EXPECT_TRUE(inOrder("statx sync", "drop 4+8"));
    cFileClose(handle);

    handle = open(local);
    gTrace.clear();
    ASSERT_EQ(cFileLock(handle, 4, 8), 0u);
    EXPECT_FALSE(traced("statx sync") || traced("drop 4+8"));
    cFileClose(handle);
}

TEST_F(SharedPolicyTest, ALockWhoseRefreshFailsIsNotTaken) {
    cFileHandle handle = open(file);
    cFileHandle other = open(file);
    failTraced("statx sync", EIO);
    EXPECT_EQ(cFileLock(handle, 4, 8), kIoError);
    EXPECT_EQ(cFileUnlock(handle, 4, 8), kNotLocked);
    EXPECT_EQ(cFileLock(other, 4, 8), 0u) << "the range stayed locked";
    cFileClose(other);
    cFileClose(handle);
}

TEST_F(SharedPolicyTest, AnUnlockSyncsWhatTheHandleWroteAndKeepsTheLockWhenItCannot) {
    cFileHandle handle = open(file);
    cFileHandle other = open(file);
    ASSERT_EQ(cFileLock(handle, 0, 10), 0u);
    uint32_t written = 0;
    ASSERT_EQ(cFileWrite(handle, "XYZ", 3, &written), 0u);

    failTraced("fsync", EIO);
    EXPECT_EQ(cFileUnlock(handle, 0, 10), kIoError);
    EXPECT_EQ(cFileLock(other, 0, 10), kLockViolation) << "the lock went with its writes unsynced";
    gTrace.clear();
    EXPECT_EQ(cFileUnlock(handle, 0, 10), 0u);
    EXPECT_TRUE(inOrder("fsync", "lock U 0+10")) << "the writes count as unsynced still";
    EXPECT_EQ(cFileLock(other, 0, 10), 0u);
    EXPECT_EQ(cFileUnlock(other, 0, 10), 0u);

    // Nothing written since: nothing to sync.
    ASSERT_EQ(cFileLock(handle, 0, 10), 0u);
    gTrace.clear();
    EXPECT_EQ(cFileUnlock(handle, 0, 10), 0u);
    EXPECT_FALSE(traced("fsync"));
    cFileClose(other);
    cFileClose(handle);
}

// ---- Closing ----------------------------------------------------------------

TEST_F(SharedPolicyTest, ACloseWhoseSyncFailsReportsItAndStillCloses) {
    cFileHandle handle = open(file, kReadWriteAlone);
    ASSERT_EQ(cFileSetSize(handle, 5), 0u);
    failTraced("fsync", EIO);
    EXPECT_EQ(cFileClose(handle), kIoError);
    // The descriptor is gone (the fixture counts them) and so is its share mode.
    cFileHandle again = CFILE_INVALID_HANDLE;
    EXPECT_EQ(cFileOpen(file.c_str(), kReadWriteAlone, &again), 0u);
    cFileClose(again);
}

// Only a close-on-exec descriptor is one no started program can hold: an
// inheritable one leaves the share mode to the description's last close.
TEST_F(SharedPolicyTest, ACloseOnExecHandleGivesUpEveryLockOfTheDescriptionBeforeItCloses) {
    cFileHandle handle = open(file, kReadWriteAlone);
    ASSERT_EQ(fcntl(handle, F_SETFD, FD_CLOEXEC), 0);
    ASSERT_EQ(cFileLock(handle, 0, 10), 0u);
    gKeptOpen = handle;
    gTrace.clear();
    ASSERT_EQ(cFileClose(handle), 0u);
    EXPECT_TRUE(inOrder("lock U 0+0", "close"));
    // The description lives on in gKept: its locks must not.
    cFileHandle next = CFILE_INVALID_HANDLE;
    EXPECT_EQ(cFileOpen(file.c_str(), kReadWriteAlone, &next), 0u) << "the share mode stayed";
    EXPECT_EQ(cFileLock(next, 0, 10), 0u) << "the range lock stayed";
    cFileClose(next);
}

// A handle this process forked since opening may be held by the child too:
// its close gives up this process's range locks and leaves the share mode to
// the description's last close, which may land a moment after.
TEST_F(SharedPolicyTest, AnOpenRefusedRightAfterACloseIsTriedAgainUntilTheReleaseLands) {
    cFileHandle handle = open(file, kReadWriteAlone);
    ASSERT_EQ(cFileLock(handle, 0, 10), 0u);
    ASSERT_EQ(qtest::inForkedProcess([] { return 0; }), 0);
    gKeptOpen = handle;
    gTrace.clear();
    ASSERT_EQ(cFileClose(handle), 0u);
    EXPECT_TRUE(inOrder("lock U 0+10", "close")) << "this process's lock outlived its close";
    EXPECT_FALSE(traced("lock U 0+0")) << "a child's locks went too";

    // The retries last about half a second.
    std::thread lateRelease([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        releaseKept();
    });
    cFileHandle next = CFILE_INVALID_HANDLE;
    EXPECT_EQ(cFileOpen(file.c_str(), kReadWriteAlone, &next), 0u);
    lateRelease.join();
    // Another handle's share mode is no late release: still refused.
    cFileHandle refused = CFILE_INVALID_HANDLE;
    EXPECT_EQ(cFileOpen(file.c_str(), kReadWriteAlone, &refused), kSharingViolation);
    cFileClose(next);
}

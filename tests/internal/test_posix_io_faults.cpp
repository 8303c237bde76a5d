// Failing and interrupted system calls beneath reading, writing, positioning,
// size changes and locks. (What each call costs: test_posix_costs.)
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "faults.h"
#include "platform/posix/lock_space.h"
#include "platform/posix/syscalls.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

using namespace qtest::words;

using qorvel::platform::posix::kDefaultSystemCalls;
using qorvel::platform::posix::sys;

namespace {

constexpr cFileMode kReadWrite = CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE;

using namespace qtest::faults;

// A cap on the bytes one write takes.
size_t gWriteCap = SIZE_MAX;

// How many calls asked the plan since it was last set.
int calls() { return qtest::faults::gPlan.calls; }

class IoFaultTest : public SystemCallFaultTest {
protected:
    std::string file = dir.path("data.bin");
    cFileHandle handle = CFILE_INVALID_HANDLE;

    void SetUp() override {
        qtest::writeFile(file, std::string(100, 'a'));
        SystemCallFaultTest::SetUp();
        ASSERT_EQ(cFileOpen(file.c_str(), kReadWrite, &handle), 0u);
        gWriteCap = SIZE_MAX;
    }
    void TearDown() override {
        sys = kDefaultSystemCalls;
        cFileClose(handle);
        SystemCallFaultTest::TearDown();
    }
    // The next call of a replaced entry after `goodCalls` good ones fails.
    static void failWith(int error, int goodCalls = 0) { failAfter(goodCalls, error); }
    uint32_t position() {
        uint32_t where = 0;
        EXPECT_EQ(cFileGetPosition(handle, &where), 0u);
        return where;
    }
};

ssize_t scriptedWrite(int fd, const void* buffer, size_t count) {
    if (failNow()) return -1;
    return kDefaultSystemCalls.write(fd, buffer, std::min(count, gWriteCap));
}

}  // namespace

// ---- Writes ---------------------------------------------------------------------

TEST_F(IoFaultTest, AShortWriteIsContinuedUntilEverythingIsWritten) {
    sys.write = scriptedWrite;
    gWriteCap = 1000;
    std::string data(4096, 'w');
    for (size_t i = 0; i < data.size(); ++i) data[i] = char('a' + i % 26);
    uint32_t count = 0;
    EXPECT_EQ(cFileWrite(handle, data.data(), uint32_t(data.size()), &count), 0u);
    EXPECT_EQ(count, 4096u);
    EXPECT_EQ(calls(), 5);
    EXPECT_EQ(qtest::readFile(file), data);
}

TEST_F(IoFaultTest, InterruptedCallsAreRepeated) {
    sys.write = scriptedWrite;
    failWith(EINTR);
    uint32_t count = 0;
    EXPECT_EQ(cFileWrite(handle, "xyz", 3, &count), 0u);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(calls(), 2);

    failByPlan<&Calls::read>();
    failWith(EINTR);
    char buffer[8];
    EXPECT_EQ(cFileRead(handle, buffer, 8, &count), 0u);
    EXPECT_EQ(count, 8u);

    failByPlan<&Calls::lseek>();
    failWith(EINTR);
    EXPECT_EQ(position(), 11u);
}

TEST_F(IoFaultTest, AVolumeThatFillsUpMidWriteCountsWhatWasWritten) {
    sys.write = scriptedWrite;
    for (int error : {ENOSPC, EDQUOT}) {
        ASSERT_EQ(cFileSetSize(handle, 0), 0u);
        gWriteCap = 1000;
        failWith(error, 2);
        std::string data(4096, 'q');
        uint32_t count = 0;
        EXPECT_EQ(cFileWrite(handle, data.data(), 4096, &count), kDiskFull) << error;
        EXPECT_EQ(count, 2000u);
        EXPECT_EQ(qtest::fileSize(file), 2000u);
        EXPECT_EQ(position(), 2000u);
    }
}

TEST_F(IoFaultTest, WriteFailuresComeBackTranslated) {
    sys.write = scriptedWrite;
    struct Case {
        int error;
        cFileStatus status;
    };
    for (Case c : {Case{EIO, kIoError}, Case{EFBIG, kFileTooLarge}, Case{EPERM, kAccessDenied},
                   Case{EBADF, kAccessDenied}}) {
        failWith(c.error);
        uint32_t count = 99;
        EXPECT_EQ(cFileWrite(handle, "abc", 3, &count), c.status) << c.error;
        EXPECT_EQ(count, 0u);
    }
    EXPECT_EQ(qtest::readFile(file), std::string(100, 'a'));
}

TEST_F(IoFaultTest, AWriteThatMakesNoProgressIsAWriteFault) {
    sys.write = [](int, const void*, size_t) -> ssize_t { return 0; };
    uint32_t count = 99;
    EXPECT_EQ(cFileWrite(handle, "abc", 3, &count), 0x001D0301u);
    EXPECT_EQ(count, 0u);
}

// ---- Reads, moves and size changes ----------------------------------------------

TEST_F(IoFaultTest, AFailedReadReportsNothingRead) {
    failByPlan<&Calls::read>();
    failWith(EIO);
    char buffer[8];
    uint32_t count = 99;
    EXPECT_EQ(cFileRead(handle, buffer, 8, &count), kIoError);
    EXPECT_EQ(count, 0u);
}

TEST_F(IoFaultTest, AFailedMoveLeavesTheCallersPosition) {
    failByPlan<&Calls::lseek>();
    failWith(EIO);
    uint32_t where = 0x5A5A5A5Au;
    EXPECT_EQ(cFileSeek(handle, 10, CFILE_SEEK_BEGIN, &where), kIoError);
    EXPECT_EQ(where, 0x5A5A5A5Au);
    failWith(EIO);
    EXPECT_EQ(cFileGetPosition(handle, &where), kIoError);
    EXPECT_EQ(where, 0u);
    failWith(EIO, 1);  // the end-of-file test's move to the end
    int16_t flag = 7;
    EXPECT_EQ(cFileIsEof(handle, &flag), kIoError);
    EXPECT_EQ(flag, 0);
}

TEST_F(IoFaultTest, AFailedSizeChangeStillRestoresAPositionBelowTheNewSize) {
    ASSERT_EQ(cFileSeek(handle, 50, CFILE_SEEK_BEGIN, nullptr), 0u);
    failByPlan<&Calls::ftruncate>();
    failWith(EFBIG);
    EXPECT_EQ(cFileSetSize(handle, 200), kFileTooLarge);
    sys = kDefaultSystemCalls;
    EXPECT_EQ(position(), 50u);
    EXPECT_EQ(qtest::fileSize(file), 100u);
}

// A size the filesystem refuses (EINVAL) through a handle that may write is
// Windows' invalid parameter, not a lack of access.
TEST_F(IoFaultTest, ASizeRefusedThroughAWritableHandleIsAnInvalidParameter) {
    ASSERT_EQ(cFileSeek(handle, 50, CFILE_SEEK_BEGIN, nullptr), 0u);
    failByPlan<&Calls::ftruncate>();
    failWith(EINVAL);
    EXPECT_EQ(cFileSetSize(handle, 200), kInvalidParameter);
    sys = kDefaultSystemCalls;
    EXPECT_EQ(position(), 50u);
    EXPECT_EQ(qtest::fileSize(file), 100u);
}

// ---- Locks ----------------------------------------------------------------------

TEST_F(IoFaultTest, LockFailuresComeBackTranslatedAndRecordNothing) {
    sys.fcntlLock = [](int fd, int command, struct flock* lock) -> int {
        if (command == F_OFD_SETLK && lock->l_type != F_UNLCK && failNow()) return -1;
        return kDefaultSystemCalls.fcntlLock(fd, command, lock);
    };
    struct Case {
        int error;
        cFileStatus status;
    };
    for (Case c : {Case{EAGAIN, kLockViolation}, Case{EACCES, kLockViolation},
                   Case{ENOLCK, kSharingBufferExceeded}, Case{ENOMEM, kNotEnoughMemory}}) {
        failWith(c.error);
        EXPECT_EQ(cFileLock(handle, 0, 10), c.status) << c.error;
        EXPECT_EQ(cFileUnlock(handle, 0, 10), kNotLocked) << c.error;
    }
    failWith(EINTR);
    EXPECT_EQ(cFileLock(handle, 0, 10), 0u);
    EXPECT_EQ(cFileUnlock(handle, 0, 10), 0u);
}

// A write-only handle marks a zero-length lock on a lane of its own; a lane
// it finds taken is looked at, and a look that fails answers its own error,
// not a lane taken by another handle (36 once all of them were tried).
TEST_F(IoFaultTest, AFailedLookAtATakenLaneAnswersItsOwnError) {
    cFileHandle writer = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileOpen(file.c_str(), CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE, &writer), 0u);
    sys.fcntlLock = [](int fd, int command, struct flock* lock) -> int {
        using qorvel::platform::posix::kZeroLengthRegion;
        bool onLane = lock->l_start >= kZeroLengthRegion && lock->l_type == F_WRLCK;
        if (command == F_OFD_SETLK && onLane) {
            errno = EAGAIN;  // every lane taken
            return -1;
        }
        if (command == F_OFD_GETLK && onLane && failNow()) return -1;
        return kDefaultSystemCalls.fcntlLock(fd, command, lock);
    };
    failAfter(0, ENOMEM, 1 << 20);  // every look fails
    EXPECT_EQ(cFileLock(writer, 7, 0), kNotEnoughMemory);
    EXPECT_EQ(calls(), 1);
    sys = kDefaultSystemCalls;
    EXPECT_EQ(cFileUnlock(writer, 7, 0), kNotLocked);
    EXPECT_EQ(cFileLock(writer, 7, 0), 0u);
    EXPECT_EQ(cFileClose(writer), 0u);
}

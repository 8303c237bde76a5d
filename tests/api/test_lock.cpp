// Byte-range locks: per handle, exclusive, never waiting, with the same
// answers on every platform, between handles of one process and between two
// processes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

using namespace qtest::words;

namespace {

constexpr cFileMode kReadWrite = CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE;
constexpr cFileHandle kNeverOpened = 0x12345;

// Windows answers ERROR_NOT_LOCKED (158) for an unlock of a range that is not
// locked; Wine answers ERROR_LOCK_VIOLATION (33).
cFileStatus notLocked() { return qtest::runningUnderWine() ? kLockViolation : kNotLocked; }

class LockTest : public qtest::HandlesOnAFileTest {
protected:
    LockTest() : HandlesOnAFileTest("locked.bin", std::string(1000, 'x')) {}
};

// The other process's handle of the same file, and its lock calls.
class OtherProcess : public qtest::HandleInOtherProcess {
public:
    explicit OtherProcess(const std::string& path) : HandleInOtherProcess(path, kReadWrite) {
        EXPECT_EQ(opened(), 0u);
    }
};

}  // namespace

// ---- Bad handles ----------------------------------------------------------------

TEST_F(LockTest, BadHandles) {
    EXPECT_EQ(cFileLock(CFILE_INVALID_HANDLE, 0, 10), 0x00000303u);
    EXPECT_EQ(cFileUnlock(CFILE_INVALID_HANDLE, 0, 10), 0x00000303u);
    cFileHandle closed = open();
    ASSERT_EQ(cFileLock(closed, 0, 10), 0u);
    close(closed);
    for (cFileHandle handle : {closed, kNeverOpened}) {
        EXPECT_EQ(cFileLock(handle, 0, 10), kInvalidHandle);
        EXPECT_EQ(cFileLock(handle, 20, 0), kInvalidHandle);
        EXPECT_EQ(cFileUnlock(handle, 0, 10), kInvalidHandle);
    }
}

// ---- Conflicts ------------------------------------------------------------------

TEST_F(LockTest, AnOverlappingLockIsRefusedThroughEveryHandleTheSameOneIncluded) {
    cFileHandle first = open(), second = open();
    ASSERT_EQ(cFileLock(first, 0, 100), 0u);
    EXPECT_EQ(cFileLock(first, 50, 100), kLockViolation);
    EXPECT_EQ(cFileLock(first, 0, 100), kLockViolation);
    EXPECT_EQ(cFileLock(first, 10, 10), kLockViolation);
    EXPECT_EQ(cFileLock(second, 50, 100), kLockViolation);
    EXPECT_EQ(cFileLock(second, 99, 1), kLockViolation);
    EXPECT_EQ(cFileLock(first, 100, 100), 0u);  // adjacent
    EXPECT_EQ(cFileLock(second, 200, 10), 0u);
    EXPECT_EQ(cFileLock(first, 199, 2), kLockViolation);
    ASSERT_EQ(cFileLock(first, 300, 10), 0u);
    EXPECT_EQ(cFileLock(first, 290, 11), kLockViolation);  // only its last byte is held
}

TEST_F(LockTest, AnotherProcessIsRefusedAtOnceAndGetsTheRangeWhenReleased) {
    cFileHandle handle = open();
    OtherProcess other(file);
    ASSERT_EQ(cFileLock(handle, 0, 100), 0u);
    EXPECT_EQ(other.lock(50, 100), kLockViolation);
    EXPECT_EQ(other.lock(100, 100), 0u);
    EXPECT_EQ(cFileLock(handle, 150, 1), kLockViolation);
    EXPECT_EQ(cFileUnlock(handle, 0, 100), 0u);
    EXPECT_EQ(other.lock(0, 100), 0u);
    EXPECT_EQ(cFileLock(handle, 0, 1), kLockViolation);
}

TEST_F(LockTest, ARangeCoversExactlyItsBytes) {
    cFileHandle handle = open();
    OtherProcess other(file);
    ASSERT_EQ(cFileLock(handle, 70000, 70000), 0u);  // bytes 70000 to 139999, beyond the end
    EXPECT_EQ(other.lock(0, 70000), 0u);
    EXPECT_EQ(other.lock(140000, 0xFFFF0000u), 0u);
    EXPECT_EQ(other.lock(100000, 1), kLockViolation);
    EXPECT_EQ(other.lock(69999, 2), kLockViolation);
    EXPECT_EQ(other.lock(139999, 1), kLockViolation);
}

TEST_F(LockTest, RangesBeyondFourGiBAreNeverWrapped) {
    cFileHandle handle = open();
    OtherProcess other(file);
    ASSERT_EQ(cFileLock(handle, 0xFFFFFFF0u, 0x100), 0u);  // [0xFFFFFFF0, 0x1000000F0)
    EXPECT_EQ(other.lock(0xFFFFFFFFu, 1), kLockViolation);
    EXPECT_EQ(other.lock(0xFFFFFFFFu, 0xF1), kLockViolation);  // its last byte
    EXPECT_EQ(other.lock(0xFFFFFFFFu, 0xF2), kLockViolation);
    // Where a 32-bit wrap would have put the end.
    EXPECT_EQ(other.lock(0xF0, 1), 0u);
    EXPECT_EQ(other.lock(0, 0x10), 0u);
    EXPECT_EQ(cFileUnlock(handle, 0xFFFFFFF0u, 0x100), 0u);
    EXPECT_EQ(other.lock(0xFFFFFFFFu, 1), 0u);
}

TEST_F(LockTest, TheLargestRange) {
    cFileHandle handle = open(), second = open();
    ASSERT_EQ(cFileLock(handle, 0xFFFFFFFFu, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(cFileLock(second, 0xFFFFFFFFu, 1), kLockViolation);
    EXPECT_EQ(cFileLock(second, 0xFFFFFFFEu, 1), 0u);
    EXPECT_EQ(cFileUnlock(handle, 0xFFFFFFFFu, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(cFileLock(second, 0xFFFFFFFFu, 0xFFFFFFFFu), 0u);
}

TEST_F(LockTest, EveryHandleWithDataAccessCanLock) {
    const cFileMode modes[] = {CFILE_ACCESS_READ | CFILE_SHARE_READWRITE,
                               CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE,
                               CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE};
    OtherProcess other(file);
    uint32_t start = 0;
    for (cFileMode mode : modes) {
        cFileHandle handle = open(mode);
        EXPECT_EQ(cFileLock(handle, start, 10), 0u) << mode;
        EXPECT_EQ(other.lock(start + 5, 1), kLockViolation) << mode;
        EXPECT_EQ(cFileUnlock(handle, start, 10), 0u) << mode;
        start += 10;
    }
}

// Windows' lock services need read or write data access on the handle.
TEST_F(LockTest, AHandleWithoutDataAccessTakesNoLock) {
    if (qtest::runningUnderWine()) GTEST_SKIP() << "Wine grants locks through access 0";
    cFileHandle handle = open(CFILE_ACCESS_READ | CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE);
    EXPECT_EQ(cFileLock(handle, 0, 10), 0x00050301u);
    EXPECT_EQ(cFileLock(handle, 5, 0), 0x00050301u);
    EXPECT_EQ(cFileUnlock(handle, 0, 10), 0x00050301u);
    OtherProcess other(file);
    EXPECT_EQ(other.lock(0, 10), 0u);
}

// ---- Release --------------------------------------------------------------------

TEST_F(LockTest, ClosingAHandleReleasesItsLocks) {
    OtherProcess other(file);
    cFileHandle handle = open();
    ASSERT_EQ(cFileLock(handle, 0, 100), 0u);
    ASSERT_EQ(cFileLock(handle, 500, 0), 0u);
    ASSERT_EQ(other.lock(0, 100), kLockViolation);
    close(handle);
    EXPECT_EQ(other.lock(0, 100), 0u);
    EXPECT_EQ(other.lock(490, 20), 0u);

    // The handle value comes back with the next open: it holds nothing.
    cFileHandle again = open();
    EXPECT_EQ(cFileUnlock(again, 500, 0), notLocked());
    EXPECT_EQ(cFileLock(again, 600, 100), 0u);
    EXPECT_EQ(other.close(), 0u);
    EXPECT_EQ(cFileLock(again, 0, 100), 0u);
}

TEST_F(LockTest, TheEndOfAnotherProcessReleasesItsLocks) {
    cFileHandle handle = open();
    {
        OtherProcess other(file);
        ASSERT_EQ(other.lock(0, 100), 0u);
        EXPECT_EQ(cFileLock(handle, 0, 100), kLockViolation);
    }
    EXPECT_EQ(cFileLock(handle, 0, 100), 0u);
}

// ---- Unlock ---------------------------------------------------------------------

TEST_F(LockTest, AnUnlockMustNameExactlyALockOfThatHandle) {
    cFileHandle handle = open(), second = open();
    OtherProcess other(file);
    ASSERT_EQ(cFileLock(handle, 0, 100), 0u);
    ASSERT_EQ(cFileLock(handle, 100, 100), 0u);
    EXPECT_EQ(cFileUnlock(handle, 10, 50), notLocked());  // inside
    EXPECT_EQ(cFileUnlock(handle, 0, 50), notLocked());   // prefix
    EXPECT_EQ(cFileUnlock(handle, 0, 101), notLocked());  // longer
    EXPECT_EQ(cFileUnlock(handle, 0, 200), notLocked());  // two locks at once
    EXPECT_EQ(cFileUnlock(second, 0, 100), notLocked());  // another handle's
    EXPECT_EQ(other.unlock(0, 100), notLocked());
    EXPECT_EQ(cFileUnlock(handle, 800, 10), notLocked());  // never locked
    EXPECT_EQ(cFileUnlock(handle, 0, 0), notLocked());
    // Every refused unlock left the locks in place.
    EXPECT_EQ(other.lock(0, 1), kLockViolation);
    EXPECT_EQ(other.lock(199, 1), kLockViolation);
    EXPECT_EQ(cFileUnlock(handle, 0, 100), 0u);
    EXPECT_EQ(cFileUnlock(handle, 0, 100), notLocked());
    EXPECT_EQ(other.lock(0, 100), 0u);
    EXPECT_EQ(other.lock(100, 1), kLockViolation);
    EXPECT_EQ(cFileUnlock(handle, 100, 100), 0u);
    EXPECT_EQ(other.lock(100, 100), 0u);
}

// ---- Zero-length locks ----------------------------------------------------------

TEST_F(LockTest, AZeroLengthLockIsRefusedInsideAHeldRange) {
    cFileHandle first = open(), second = open();
    OtherProcess other(file);
    ASSERT_EQ(cFileLock(first, 0, 100), 0u);
    EXPECT_EQ(cFileLock(first, 50, 0), kLockViolation);
    EXPECT_EQ(cFileLock(second, 50, 0), kLockViolation);
    EXPECT_EQ(cFileLock(second, 0, 0), kLockViolation);
    EXPECT_EQ(other.lock(99, 0), kLockViolation);
    EXPECT_EQ(other.lock(100, 0), 0u);  // just past the end of the range
    EXPECT_EQ(cFileLock(second, 100, 0), 0u);
}

TEST_F(LockTest, AHeldZeroLengthLockRefusesOnlyRangesStrictlyAroundIt) {
    cFileHandle first = open(), second = open();
    OtherProcess other(file);
    ASSERT_EQ(cFileLock(first, 500, 0), 0u);
    EXPECT_EQ(cFileLock(first, 500, 0), 0u);   // they stack
    EXPECT_EQ(cFileLock(second, 500, 0), 0u);  // and never conflict
    EXPECT_EQ(other.lock(500, 0), 0u);
    EXPECT_EQ(other.lock(490, 20), kLockViolation);
    EXPECT_EQ(cFileLock(second, 499, 2), kLockViolation);
    EXPECT_EQ(cFileLock(first, 480, 40), kLockViolation);  // the same handle too
    EXPECT_EQ(other.lock(500, 10), 0u);                    // starting at it
    EXPECT_EQ(other.lock(490, 10), 0u);                    // ending at it
}

TEST_F(LockTest, EachStackedZeroLengthLockNeedsItsOwnUnlock) {
    cFileHandle first = open(), second = open();
    ASSERT_EQ(cFileLock(first, 500, 0), 0u);
    ASSERT_EQ(cFileLock(first, 500, 0), 0u);
    EXPECT_EQ(cFileUnlock(first, 500, 1), notLocked());
    EXPECT_EQ(cFileUnlock(first, 500, 0), 0u);
    EXPECT_EQ(cFileLock(second, 490, 20), kLockViolation);  // one is still held
    EXPECT_EQ(cFileUnlock(first, 500, 0), 0u);
    EXPECT_EQ(cFileUnlock(first, 500, 0), notLocked());
    EXPECT_EQ(cFileLock(second, 490, 20), 0u);
    EXPECT_EQ(cFileUnlock(first, 700, 0), notLocked());  // never locked
}

TEST_F(LockTest, AZeroLengthLockAtTheStartOfTheFile) {
    // Wine stores a lock's end as start + length and reads an end of 0 as
    // "to the end of all files": its zero-length lock at 0 locks everything.
    if (qtest::runningUnderWine()) GTEST_SKIP() << "Wine locks everything for (0, 0)";
    cFileHandle first = open(), second = open();
    ASSERT_EQ(cFileLock(first, 0, 0), 0u);
    EXPECT_EQ(cFileLock(second, 0, 10), 0u);
    EXPECT_EQ(cFileUnlock(first, 0, 0), 0u);
    EXPECT_EQ(cFileLock(first, 0, 0), kLockViolation);  // inside the second's range now
}

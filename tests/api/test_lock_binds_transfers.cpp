// A byte-range lock binds every other handle's reads and writes of the
// locked bytes, in this process and in others, as Windows' locks do: the
// transfer is refused whole with ERROR_LOCK_VIOLATION, nothing moves, and the
// holder itself reads and writes freely.
#include <gtest/gtest.h>

#include <string>

#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

using namespace qtest::words;

namespace {

constexpr cFileMode kShareAll = CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE;
constexpr cFileMode kReaderSharingAll = CFILE_ACCESS_READ | CFILE_SHARE_READWRITE;
constexpr uint32_t kUntouched = 0xDEADu;

class LockBindsTransfersTest : public ::testing::Test {
protected:
    qtest::TempDir dir;
    std::string file = dir.path("records.dat");

    void SetUp() override {
        if (qtest::runningUnderWine()) GTEST_SKIP() << "Wine does not bind transfers to locks";
        qtest::writeFile(file, std::string(300, '.'));
    }

    cFileHandle open(cFileMode mode = kShareAll) {
        cFileHandle handle = CFILE_INVALID_HANDLE;
        EXPECT_EQ(cFileOpen(file.c_str(), mode, &handle), 0u);
        return handle;
    }

    // Reads `count` bytes at `at`: the status, with the count and the
    // position afterwards checked to be untouched on refusal.
    static cFileStatus readAt(cFileHandle handle, uint32_t at, uint32_t count) {
        return transferAt(handle, at, count, false);
    }
    static cFileStatus writeAt(cFileHandle handle, uint32_t at, uint32_t count) {
        return transferAt(handle, at, count, true);
    }

private:
    static cFileStatus transferAt(cFileHandle handle, uint32_t at, uint32_t count, bool write) {
        EXPECT_EQ(cFileSeek(handle, at, CFILE_SEEK_BEGIN, nullptr), 0u);
        std::string buffer(count, 'w');
        uint32_t moved = kUntouched;
        cFileStatus status = write ? cFileWrite(handle, buffer.data(), count, &moved)
                                   : cFileRead(handle, &buffer[0], count, &moved);
        uint32_t position = kUntouched;
        EXPECT_EQ(cFileGetPosition(handle, &position), 0u);
        if (status != 0) {
            EXPECT_EQ(moved, 0u) << "a refused transfer moves nothing";
            EXPECT_EQ(position, at) << "a refused transfer leaves the position";
        } else {
            EXPECT_EQ(moved, count);
        }
        return status;
    }
};

// The holder in a second process, which ends with the object.
class Holder : public qtest::HandleInOtherProcess {
public:
    Holder(const std::string& path, cFileMode mode) : HandleInOtherProcess(path, mode) {
        EXPECT_EQ(opened(), 0u);
    }
};

}  // namespace

TEST_F(LockBindsTransfersTest, AtAcrossAndBesideALockInOneProcess) {
    cFileHandle holder = open(), other = open();
    ASSERT_EQ(cFileLock(holder, 100, 100), 0u);
    for (bool write : {false, true}) {
        auto transfer = write ? writeAt : readAt;
        SCOPED_TRACE(write ? "write" : "read");
        EXPECT_EQ(transfer(other, 150, 10), kLockViolation);  // inside
        EXPECT_EQ(transfer(other, 90, 20), kLockViolation);   // across the start
        EXPECT_EQ(transfer(other, 190, 20), kLockViolation);  // across the end
        EXPECT_EQ(transfer(other, 50, 200), kLockViolation);  // around it
        EXPECT_EQ(transfer(other, 100, 1), kLockViolation);   // its first byte
        EXPECT_EQ(transfer(other, 199, 1), kLockViolation);   // its last byte
        EXPECT_EQ(transfer(other, 90, 10), 0u);               // ends just before
        EXPECT_EQ(transfer(other, 200, 10), 0u);              // starts just after
        EXPECT_EQ(transfer(other, 150, 0), 0u);               // no bytes, nothing to bind
        EXPECT_EQ(transfer(holder, 120, 50), 0u);             // the holder itself
    }
    ASSERT_EQ(cFileUnlock(holder, 100, 100), 0u);
    EXPECT_EQ(readAt(other, 150, 10), 0u);
    EXPECT_EQ(writeAt(other, 150, 10), 0u);
    cFileClose(holder);
    cFileClose(other);
}

TEST_F(LockBindsTransfersTest, ARefusedWriteChangesNoByte) {
    cFileHandle holder = open(), other = open();
    ASSERT_EQ(cFileLock(holder, 0, 10), 0u);
    EXPECT_EQ(writeAt(other, 5, 100), kLockViolation);
    cFileClose(holder);
    cFileClose(other);
    EXPECT_EQ(qtest::readFile(file), std::string(300, '.'));
}

TEST_F(LockBindsTransfersTest, EveryKindOfHolderBindsEveryKindOfHandle) {
    const cFileMode modes[] = {kReaderSharingAll, CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE,
                               kShareAll};
    for (cFileMode holderMode : modes) {
        cFileHandle holder = open(holderMode);
        ASSERT_EQ(cFileLock(holder, 10, 10), 0u) << holderMode;
        cFileHandle reader = open(kReaderSharingAll);
        cFileHandle writer = open(CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE);
        EXPECT_EQ(readAt(reader, 15, 1), kLockViolation) << holderMode;
        EXPECT_EQ(writeAt(writer, 15, 1), kLockViolation) << holderMode;
        cFileClose(reader);
        cFileClose(writer);
        cFileClose(holder);
    }
}

TEST_F(LockBindsTransfersTest, AZeroLengthLockHoldsNoByte) {
    cFileHandle holder = open(), other = open();
    ASSERT_EQ(cFileLock(holder, 150, 0), 0u);
    EXPECT_EQ(readAt(other, 140, 20), 0u);
    EXPECT_EQ(writeAt(other, 150, 1), 0u);
    // A range next to it still binds.
    ASSERT_EQ(cFileLock(holder, 151, 10), 0u);
    EXPECT_EQ(readAt(other, 140, 20), kLockViolation);
    EXPECT_EQ(readAt(other, 140, 11), 0u);
    cFileClose(holder);
    cFileClose(other);
}

TEST_F(LockBindsTransfersTest, AHolderInAnotherProcessBindsUntilItUnlocksOrEnds) {
    cFileHandle mine = open();
    {
        Holder holder(file, kShareAll);
        ASSERT_EQ(holder.lock(100, 50), 0u);
        EXPECT_EQ(readAt(mine, 120, 10), kLockViolation);
        EXPECT_EQ(writeAt(mine, 140, 20), kLockViolation);
        EXPECT_EQ(writeAt(mine, 150, 20), 0u);
        ASSERT_EQ(holder.unlock(100, 50), 0u);
        EXPECT_EQ(readAt(mine, 120, 10), 0u);
        ASSERT_EQ(holder.lock(0, 10), 0u);
        EXPECT_EQ(readAt(mine, 0, 1), kLockViolation);
    }
    // The holder's process has ended: its locks went with it.
    EXPECT_EQ(readAt(mine, 0, 1), 0u);
    cFileClose(mine);
}

TEST_F(LockBindsTransfersTest, AReadHandleInAnotherProcessBindsWriters) {
    Holder holder(file, kReaderSharingAll);
    ASSERT_EQ(holder.lock(0, 100), 0u);
    cFileHandle writer = open(CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE);
    EXPECT_EQ(writeAt(writer, 50, 10), kLockViolation);
    cFileClose(writer);
    EXPECT_EQ(qtest::readFile(file), std::string(300, '.'));
}

TEST_F(LockBindsTransfersTest, AnAppendIntoALockedRangeIsRefused) {
    cFileHandle holder = open();
    ASSERT_EQ(cFileLock(holder, 300, 1000), 0u);  // the bytes an append would take
    EXPECT_EQ(cFileWriteToFile(file.c_str(), "line\r\n"), kLockViolation);
    EXPECT_EQ(qtest::fileSize(file), 300u);
    ASSERT_EQ(cFileUnlock(holder, 300, 1000), 0u);
    // A lock before the end binds nothing an append writes.
    ASSERT_EQ(cFileLock(holder, 0, 300), 0u);
    EXPECT_EQ(cFileWriteToFile(file.c_str(), "line\r\n"), 0u);
    EXPECT_EQ(qtest::fileSize(file), 306u);
    cFileClose(holder);
}

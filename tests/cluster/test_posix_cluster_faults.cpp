// What a lock, an unlock and a close on a shared file system add (making the
// locked bytes current, syncing what was written) fails cleanly: the status
// says why, and no lock or handle is left in between.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "faults.h"
#include "gluster.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

namespace {

using namespace qtest::faults;
using namespace qtest::words;

class SharedFileSystemFaults : public qcluster::OnTwoClients {
protected:
    std::string file;
    cFileHandle handle = CFILE_INVALID_HANDLE;

    void SetUp() override {
        OnTwoClients::SetUp();
        if (IsSkipped()) return;
        file = onA(::testing::UnitTest::GetInstance()->current_test_info()->name());
        qtest::writeFile(file, "0123456789");
        ASSERT_EQ(cFileOpen(file.c_str(), CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE, &handle),
                  0u);
        failNever();
    }
    void TearDown() override {
        liveCalls() = defaultCalls();
        if (IsSkipped()) return;
        cFileClose(handle);
        cFileRemove(file.c_str());
    }
    // Whether another handle, through the other client, may lock the bytes.
    bool lockableFromB() {
        std::string other = onB(::testing::UnitTest::GetInstance()->current_test_info()->name());
        qtest::HandleInOtherProcess lockerOnB(other, CFILE_ACCESS_READ | CFILE_SHARE_READWRITE);
        return lockerOnB.opened() == 0 && lockerOnB.lock(2, 4) == 0;
    }
};

TEST_F(SharedFileSystemFaults, ALockThatCannotMakeItsBytesCurrentIsNotTaken) {
    failByPlan<&Calls::statx>();
    failAfter(0, EIO);
    EXPECT_EQ(cFileLock(handle, 2, 4), kIoError);
    EXPECT_TRUE(lockableFromB());
    EXPECT_EQ(cFileUnlock(handle, 2, 4), kNotLocked);
}

TEST_F(SharedFileSystemFaults, AnUnlockThatCannotSyncKeepsTheLockAndSaysWhy) {
    uint32_t count = 0;
    ASSERT_EQ(cFileLock(handle, 2, 4), 0u);
    ASSERT_EQ(cFileWrite(handle, "ab", 2, &count), 0u);
    failByPlan<&Calls::fsync>();
    failAfter(0, EIO);
    EXPECT_EQ(cFileUnlock(handle, 2, 4), kIoError);
    EXPECT_FALSE(lockableFromB());
    EXPECT_EQ(cFileUnlock(handle, 2, 4), 0u);  // synced now
    EXPECT_TRUE(lockableFromB());
    EXPECT_EQ(qtest::readFile(onB("AnUnlockThatCannotSyncKeepsTheLockAndSaysWhy")), "ab23456789");
}

TEST_F(SharedFileSystemFaults, ACloseThatCannotSyncClosesAndSaysWhy) {
    uint32_t count = 0;
    ASSERT_EQ(cFileLock(handle, 2, 4), 0u);
    ASSERT_EQ(cFileWrite(handle, "ab", 2, &count), 0u);
    failByPlan<&Calls::fsync>();
    failAfter(0, EIO);
    EXPECT_EQ(cFileClose(handle), kIoError);
    EXPECT_EQ(cFileClose(handle), kInvalidHandle);
    handle = CFILE_INVALID_HANDLE;
    EXPECT_TRUE(lockableFromB());
}

}  // namespace

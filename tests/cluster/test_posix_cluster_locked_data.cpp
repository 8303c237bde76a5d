// The bytes a lock protects, between two clients of a shared file system
// (a GlusterFS volume with its own client caches off; CephFS, whose clients
// keep their caches coherent through the metadata server but let the
// kernel's page cache lag behind): what one client wrote under its lock, the
// other reads under its own; and the steps that make it so (making the locked bytes
// current, syncing what was written) fail cleanly: the status says why, and
// no lock or handle is left in between.
#define QORVEL_CLUSTER_CLIENT_CACHES_OFF
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "cluster.h"
#include "faults.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

namespace {

using namespace qtest::faults;
using namespace qtest::words;

class LockedData : public qcluster::OnTwoClients {
protected:
    std::string name;
    cFileHandle handle = CFILE_INVALID_HANDLE;  // through mount A

    void SetUp() override {
        OnTwoClients::SetUp();
        if (IsSkipped()) return;
        name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        qtest::writeFile(onA(name), "0123456789");
        ASSERT_EQ(
            cFileOpen(onA(name).c_str(), CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE, &handle),
            0u);
        failNever();
    }
    void TearDown() override {
        liveCalls() = defaultCalls();
        if (IsSkipped()) return;
        cFileClose(handle);
        cFileRemove(onA(name).c_str());
    }
    // A lock of bytes 2..5 and a write through A; then the next sync fails.
    void writeUnderALockWithTheNextSyncFailing() {
        uint32_t count = 0;
        ASSERT_EQ(cFileLock(handle, 2, 4), 0u);
        ASSERT_EQ(cFileWrite(handle, "ab", 2, &count), 0u);
        failByPlan<&Calls::fsync>();
        failAfter(0, EIO);
    }
    // Whether another handle, through the other client, may lock the bytes.
    bool lockableFromB() {
        qtest::HandleInOtherProcess lockerOnB(onB(name), CFILE_ACCESS_READ | CFILE_SHARE_READWRITE);
        return lockerOnB.opened() == 0 && lockerOnB.lock(2, 4) == 0;
    }
};

// Lock, change, unlock on B; lock and read on A, whose client has the old
// bytes and the old size cached: A reads what B wrote, the growth included.
TEST_F(LockedData, WhatOneClientWroteUnderALockTheOtherReadsUnderIt) {
    qtest::HandleInOtherProcess writerOnB(onB(name),
                                          CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE);
    ASSERT_EQ(writerOnB.opened(), 0u);
    char buffer[64];
    uint32_t count = 0;
    for (int round = 0; round < 10; ++round) {
        std::string record =
            "round" + std::to_string(round) + "-" + std::string(size_t(round), '+');
        ASSERT_EQ(cFileSeek(handle, 0, CFILE_SEEK_BEGIN, nullptr), 0u);
        ASSERT_EQ(cFileRead(handle, buffer, sizeof buffer, &count), 0u);  // cached on A
        ASSERT_EQ(writerOnB.lock(0, 64), 0u);
        ASSERT_EQ(writerOnB.writeAt(6, record), 0u);
        ASSERT_EQ(writerOnB.unlock(0, 64), 0u);
        ASSERT_EQ(cFileLock(handle, 0, 64), 0u);
        ASSERT_EQ(cFileSeek(handle, 6, CFILE_SEEK_BEGIN, nullptr), 0u);
        ASSERT_EQ(cFileRead(handle, buffer, sizeof buffer, &count), 0u);
        EXPECT_EQ(std::string(buffer, count), record) << "round " << round;
        ASSERT_EQ(cFileUnlock(handle, 0, 64), 0u);
    }
}

TEST_F(LockedData, ALockThatCannotMakeItsBytesCurrentIsNotTaken) {
    failByPlan<&Calls::statx>();
    failAfter(0, EIO);
    EXPECT_EQ(cFileLock(handle, 2, 4), kIoError);
    EXPECT_TRUE(lockableFromB());
    EXPECT_EQ(cFileUnlock(handle, 2, 4), kNotLocked);
}

TEST_F(LockedData, AnUnlockThatCannotSyncKeepsTheLockAndSaysWhy) {
    writeUnderALockWithTheNextSyncFailing();
    EXPECT_EQ(cFileUnlock(handle, 2, 4), kIoError);
    EXPECT_FALSE(lockableFromB());
    EXPECT_EQ(cFileUnlock(handle, 2, 4), 0u);  // synced now
    EXPECT_TRUE(lockableFromB());
    EXPECT_EQ(qtest::readFile(onB(name)), "ab23456789");
}

TEST_F(LockedData, ACloseThatCannotSyncClosesAndSaysWhy) {
    writeUnderALockWithTheNextSyncFailing();
    EXPECT_EQ(cFileClose(handle), kIoError);
    EXPECT_EQ(cFileClose(handle), kInvalidHandle);
    handle = CFILE_INVALID_HANDLE;
    EXPECT_TRUE(lockableFromB());
}

}  // namespace

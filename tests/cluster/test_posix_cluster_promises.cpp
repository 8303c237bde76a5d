// The library's promises between two machines sharing a file system (a
// GlusterFS volume, a CephFS file system): a helper process works through
// mount A, this process through mount B, and what one holds the other must
// meet.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "cluster.h"
#ifndef QORVEL_CLUSTER_CEPH
#include "gluster_brick.h"
#endif
#include "process.h"
#include "qorvel.h"
#include "status_words.h"
#include "stress.h"
#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

using namespace qtest::words;

class AcrossClients : public qcluster::OnTwoClients {
protected:
    std::string name;
    void SetUp() override {
        OnTwoClients::SetUp();
        if (IsSkipped()) return;
        name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');  // a parameterised test's
        qtest::writeFile(onA(name), "0123456789abcdefghij");
    }
    void TearDown() override {
        if (!IsSkipped()) {
            cFileSetAttribute(onB(name).c_str(), CFILE_ATTR_WRITABLE, 1);
            cFileRemove(onB(name).c_str());
        }
    }

    // Opens the file through mount B in this process; answers the status and
    // closes what it opened.
    cFileStatus openOnB(cFileMode mode) {
        cFileHandle handle = CFILE_INVALID_HANDLE;
        cFileStatus status = cFileOpen(onB(name).c_str(), mode, &handle);
        if (status == 0) cFileClose(handle);
        return status;
    }

    // How long until an open through B that a holder refused is let through.
    double secondsUntilOpenOnB(cFileMode mode, double limit) {
        auto start = Clock::now();
        while (openOnB(mode) != 0) {
            if (std::chrono::duration<double>(Clock::now() - start).count() > limit) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return std::chrono::duration<double>(Clock::now() - start).count();
    }
};

// Every access (read, write, both) with every sharing (none, write, read,
// both), held on A, against every one of them opened on B.
TEST_F(AcrossClients, ShareModesHoldBetweenClients) {
    const unsigned accesses[] = {CFILE_ACCESS_READ, CFILE_ACCESS_WRITE, CFILE_ACCESS_READWRITE};
    const unsigned shares[] = {0, CFILE_SHARE_WRITE, CFILE_SHARE_READ, CFILE_SHARE_READWRITE};
    qtest::Child holderOnA;
    int pairs = 0, refused = 0;
    for (unsigned heldAccess : accesses) {
        for (unsigned heldShare : shares) {
            unsigned held = heldAccess | heldShare;
            int32_t handle = -1;
            ASSERT_EQ(holderOnA.open("open", onA(name), held, &handle), 0u)
                << std::hex << "0x" << held;
            for (unsigned access : accesses) {
                for (unsigned share : shares) {
                    unsigned asked = access | share;
                    bool fits = qstress::compatible(held, asked);
                    EXPECT_EQ(openOnB(static_cast<cFileMode>(asked)), fits ? 0u : kSharingViolation)
                        << std::hex << "held 0x" << held << " on A, asked 0x" << asked << " on B";
                    ++pairs;
                    refused += fits ? 0 : 1;
                }
            }
            ASSERT_EQ(holderOnA.status("close " + std::to_string(handle)), 0u);
        }
    }
    std::printf("[ cluster  ] %d mode pairs across clients, %d refused as sharing violations\n",
                pairs, refused);
}

TEST_F(AcrossClients, ByteRangeLocksBindTheOtherClient) {
    qtest::HandleInOtherProcess lockerOnA(onA(name),
                                          CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE);
    ASSERT_EQ(lockerOnA.opened(), 0u);
    ASSERT_EQ(lockerOnA.lock(10, 5), 0u);

    cFileHandle handle = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileOpen(onB(name).c_str(), CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE, &handle),
              0u);
    EXPECT_EQ(cFileLock(handle, 12, 1), kLockViolation);
    char buffer[8];
    uint32_t count = 0;
    EXPECT_EQ(cFileSeek(handle, 8, CFILE_SEEK_BEGIN, nullptr), 0u);
    EXPECT_EQ(cFileRead(handle, buffer, 4, &count), kLockViolation);  // bytes 8..11
    EXPECT_EQ(cFileWrite(handle, "xxxx", 4, &count), kLockViolation);
    EXPECT_EQ(cFileSeek(handle, 0, CFILE_SEEK_BEGIN, nullptr), 0u);
    EXPECT_EQ(cFileRead(handle, buffer, 8, &count), 0u);  // bytes 0..7 are free
    EXPECT_EQ(cFileLock(handle, 0, 10), 0u);
    EXPECT_EQ(lockerOnA.lock(9, 1), kLockViolation);

    EXPECT_EQ(lockerOnA.unlock(10, 5), 0u);
    EXPECT_EQ(cFileSeek(handle, 10, CFILE_SEEK_BEGIN, nullptr), 0u);
    EXPECT_EQ(cFileWrite(handle, "ABCDE", 5, &count), 0u);
    cFileClose(handle);
    EXPECT_EQ(qtest::readFile(onA(name)), "0123456789ABCDEfghij");
}

// A transfer inside the handle's own lock asks the server nothing; one that
// reaches past it, or comes after the unlock, must still meet A's lock.
TEST_F(AcrossClients, TransfersInsideTheirOwnLockStillMeetTheOtherClientsLocks) {
    qtest::HandleInOtherProcess lockerOnA(onA(name),
                                          CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE);
    ASSERT_EQ(lockerOnA.opened(), 0u);
    ASSERT_EQ(lockerOnA.lock(10, 5), 0u);
    for (unsigned access : {CFILE_ACCESS_READWRITE, CFILE_ACCESS_READ}) {
        SCOPED_TRACE(access);
        cFileHandle handle = CFILE_INVALID_HANDLE;
        ASSERT_EQ(cFileOpen(onB(name).c_str(),
                            static_cast<cFileMode>(access | CFILE_SHARE_READWRITE), &handle),
                  0u);
        ASSERT_EQ(cFileLock(handle, 2, 8), 0u);
        char buffer[16];
        uint32_t count = 0;
        EXPECT_EQ(cFileSeek(handle, 2, CFILE_SEEK_BEGIN, nullptr), 0u);
        EXPECT_EQ(cFileRead(handle, buffer, 8, &count), 0u);  // bytes 2..9: its own
        EXPECT_EQ(std::string(buffer, count), "23456789");
        EXPECT_EQ(cFileSeek(handle, 2, CFILE_SEEK_BEGIN, nullptr), 0u);
        EXPECT_EQ(cFileRead(handle, buffer, 9, &count), kLockViolation);  // and byte 10
        EXPECT_EQ(cFileSeek(handle, 1, CFILE_SEEK_BEGIN, nullptr), 0u);
        EXPECT_EQ(cFileRead(handle, buffer, 2, &count), 0u);  // byte 1 is nobody's
        ASSERT_EQ(cFileUnlock(handle, 2, 8), 0u);
        ASSERT_EQ(lockerOnA.lock(4, 2), 0u);
        EXPECT_EQ(cFileSeek(handle, 2, CFILE_SEEK_BEGIN, nullptr), 0u);
        EXPECT_EQ(cFileRead(handle, buffer, 4, &count), kLockViolation);
        ASSERT_EQ(lockerOnA.unlock(4, 2), 0u);
        cFileClose(handle);
    }
    EXPECT_EQ(qtest::readFile(onA(name)), "0123456789abcdefghij");
}

TEST_F(AcrossClients, AHeldFileIsNeitherRemovedNorRenamedFromTheOtherClient) {
    qtest::HandleInOtherProcess readerOnA(onA(name), CFILE_ACCESS_READ | CFILE_SHARE_READWRITE);
    ASSERT_EQ(readerOnA.opened(), 0u);
    std::string moved = onB(name + ".moved");
    EXPECT_EQ(cFileRemove(onB(name).c_str()), kSharingViolation);
    EXPECT_EQ(cFileRename(onB(name).c_str(), moved.c_str()), kSharingViolation);
    EXPECT_TRUE(qtest::exists(onB(name)));

    ASSERT_EQ(readerOnA.close(), 0u);
    EXPECT_EQ(cFileRename(onB(name).c_str(), moved.c_str()), 0u);
    EXPECT_EQ(cFileRemove(moved.c_str()), 0u);
    EXPECT_FALSE(qtest::exists(onA(name + ".moved")));
}

TEST_F(AcrossClients, TheReadOnlyAttributeHoldsOnTheOtherClient) {
    ASSERT_EQ(cFileSetAttribute(onB(name).c_str(), CFILE_ATTR_READONLY, 1), 0);
    qtest::Child onClientA;
    int32_t handle = -1;
    EXPECT_EQ(
        onClientA.open("open", onA(name), CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE, &handle),
        kAccessDenied);
    EXPECT_EQ(onClientA.status("remove " + onA(name)), kAccessDenied);
    EXPECT_EQ(onClientA.status("append " + onA(name) + " more"), kAccessDenied);
    EXPECT_EQ(qtest::readFile(onB(name)), "0123456789abcdefghij");
}

// A forked child keeps what it holds through a handle it inherited when its
// parent closes the handle: the share mode and its own lock. The parent's
// lock goes with the parent's close.
TEST_F(AcrossClients, AParentsCloseLeavesWhatAnInheritingChildHolds) {
    cFileHandle handle = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileOpen(onB(name).c_str(), CFILE_ACCESS_READWRITE | CFILE_SHARE_READ, &handle), 0u);
    ASSERT_EQ(cFileLock(handle, 0, 5), 0u);
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    pid_t child = fork();
    if (child == 0) {
        cFileStatus locked = cFileLock(handle, 10, 5);
        char byte;
        bool told = write(ready[1], &locked, sizeof locked) == sizeof locked &&
                    read(done[0], &byte, 1) == 1;
        _exit(told ? 0 : 1);
    }
    cFileStatus childLocked = 1;
    ASSERT_EQ(read(ready[0], &childLocked, sizeof childLocked), ssize_t(sizeof childLocked));
    EXPECT_EQ(childLocked, 0u);
    EXPECT_EQ(cFileClose(handle), 0u);

    qtest::Child machineA;
    int32_t other = -1;
    EXPECT_EQ(machineA.open("open", onA(name), CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE, &other),
              kSharingViolation);
    ASSERT_EQ(machineA.open("open", onA(name), CFILE_ACCESS_READ | CFILE_SHARE_READWRITE, &other),
              0u);
    EXPECT_EQ(machineA.status("lock " + std::to_string(other) + " 10 5"), kLockViolation);
    EXPECT_EQ(machineA.status("lock " + std::to_string(other) + " 0 5"), 0u);
    EXPECT_EQ(machineA.status("close " + std::to_string(other)), 0u);

    ASSERT_EQ(write(done[1], "d", 1), 1);
    EXPECT_EQ(qtest::waitForExit(child), 0);
    for (int end : {ready[0], ready[1], done[0], done[1]}) ::close(end);
}

// A handle a forked child held too is closed, after the child ended, and the
// file opened again at once, exclusively: granted every time, although the
// client gives up the closed description's share mode only after the close.
TEST_F(AcrossClients, AnOpenRightAfterTheLastCloseIsGranted) {
    cFileHandle handle = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileOpen(onB(name).c_str(), CFILE_ACCESS_READWRITE, &handle), 0u);
    int granted = 0;
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(qtest::inForkedProcess([] { return 0; }), 0);
        ASSERT_EQ(cFileClose(handle), 0u);
        cFileStatus reopened = cFileOpen(onB(name).c_str(), CFILE_ACCESS_READWRITE, &handle);
        EXPECT_EQ(reopened, 0u) << "round " << round;
        if (reopened != 0) break;
        ++granted;
    }
    EXPECT_EQ(granted, 20);
    cFileClose(handle);
}

// A program started without a fork handler (posix_spawn; system(), whose
// shell leaves it running in the background) keeps the share mode of the
// handle it inherited when its parent closes the handle, until it ends; the
// parent's own lock goes with the parent's close.
class StartedProgram : public AcrossClients,
                       public ::testing::WithParamInterface<qtest::InheritingProgram::Start> {
protected:
    // Whether machine A's write-open is granted within `limit` seconds.
    bool writeOpenOnAGrantedWithin(qtest::Child& machineA, double limit) {
        auto start = Clock::now();
        int32_t other = -1;
        while (machineA.open("open", onA(name), kWriteSharingAll, &other) != 0) {
            if (std::chrono::duration<double>(Clock::now() - start).count() > limit) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return machineA.status("close " + std::to_string(other)) == 0;
    }
    static constexpr unsigned kWriteSharingAll = CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE;
};

TEST_P(StartedProgram, KeepsTheShareModeOfAHandleItInheritedWhenItsParentCloses) {
    cFileHandle handle = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileOpen(onB(name).c_str(), CFILE_ACCESS_READ | CFILE_SHARE_READ, &handle), 0u);
    ASSERT_EQ(cFileLock(handle, 0, 5), 0u);
    qtest::InheritingProgram program(QORVEL_HANDLE_USER, handle, GetParam());
    ASSERT_TRUE(program.started());
    ASSERT_EQ(cFileClose(handle), 0u);

    qtest::Child machineA;
    int32_t other = -1;
    ASSERT_EQ(machineA.open("open", onA(name), CFILE_ACCESS_READ | CFILE_SHARE_READWRITE, &other),
              0u);
    EXPECT_EQ(machineA.status("lock " + std::to_string(other) + " 0 5"), 0u);
    EXPECT_EQ(machineA.status("close " + std::to_string(other)), 0u);
    // Well past the moment in which a client sends a closed description's
    // release (milliseconds), every write-open is still refused.
    for (int round = 0; round < 10; ++round) {
        EXPECT_EQ(machineA.open("open", onA(name), kWriteSharingAll, &other), kSharingViolation)
            << "round " << round;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    program.release();
    EXPECT_TRUE(writeOpenOnAGrantedWithin(machineA, 20)) << "still refused after its holder ended";
}

INSTANTIATE_TEST_SUITE_P(BySpawnAndSystem, StartedProgram,
                         ::testing::Values(qtest::InheritingProgram::Start::kSpawn,
                                           qtest::InheritingProgram::Start::kSystem));

// How long the share mode of a closed handle that no other process holds is
// still met, by another client, another process of this client and this
// process, when the close leaves it to the client's release (a handle
// without close-on-exec) and when the close gives it up itself (with
// close-on-exec): printed, for docs/distributed.md.
TEST_F(AcrossClients, HowLongAClosedHandlesShareModeIsMet) {
    qtest::Child machineA;
    qtest::Child sameMachine;
    // 0: another client, 1: another process of this client, 2: this process.
    auto reopen = [&](int who) {
        if (who == 2) {
            cFileHandle again = CFILE_INVALID_HANDLE;
            cFileStatus status = cFileOpen(onB(name).c_str(), CFILE_ACCESS_WRITE, &again);
            if (status == 0) cFileClose(again);
            return status;
        }
        qtest::Child& other = who == 0 ? machineA : sameMachine;
        int32_t again = -1;
        cFileStatus status =
            other.open("open", who == 0 ? onA(name) : onB(name), CFILE_ACCESS_WRITE, &again);
        if (status == 0) other.status("close " + std::to_string(again));
        return status;
    };
    // Each opener's first look at the file (a lookup through its client) is
    // not what is measured.
    for (int who = 0; who < 3; ++who) ASSERT_EQ(reopen(who), 0u);
    for (bool closeOnExec : {false, true}) {
        int refused[3] = {};
        std::vector<double> took[3];
        constexpr int kRounds = 60;
        for (int round = 0; round < kRounds; ++round) {
            int who = round % 3;
            cFileHandle handle = CFILE_INVALID_HANDLE;
            ASSERT_EQ(cFileOpen(onB(name).c_str(), CFILE_ACCESS_READ, &handle), 0u);
            if (closeOnExec) {
                ASSERT_EQ(fcntl(int(handle), F_SETFD, FD_CLOEXEC), 0);
            }
            ASSERT_EQ(cFileClose(handle), 0u);
            auto closed = Clock::now();
            cFileStatus status;
            bool wasRefused = false;
            while ((status = reopen(who)) == kSharingViolation) {
                wasRefused = true;
                ASSERT_LT(std::chrono::duration<double>(Clock::now() - closed).count(), 20);
            }
            EXPECT_EQ(status, 0u);
            took[who].push_back(std::chrono::duration<double>(Clock::now() - closed).count());
            refused[who] += wasRefused;
        }
        std::printf(
            "[ cluster  ] close-on-exec %s, %d closes each: refused at first; granted "
            "after (median, longest):\n",
            closeOnExec ? "set" : "not set", kRounds / 3);
        const char* const openers[] = {"another client", "another process of this client",
                                       "this process (tries again itself)"};
        for (int who = 0; who < 3; ++who) {
            std::sort(took[who].begin(), took[who].end());
            std::printf("[ cluster  ]   %s: %d; %.1f ms, %.1f ms\n", openers[who], refused[who],
                        took[who][took[who].size() / 2] * 1000, took[who].back() * 1000);
        }
        if (closeOnExec) {
            EXPECT_EQ(refused[0] + refused[1] + refused[2], 0);
        }
    }
}

// A holder killed with SIGKILL: its client releases its locks at once.
TEST_F(AcrossClients, AKilledHolderReleasesTheFile) {
    qtest::Child holderOnA;
    int32_t handle = -1;
    ASSERT_EQ(holderOnA.open("open", onA(name), CFILE_ACCESS_READWRITE, &handle), 0u);
    ASSERT_EQ(openOnB(CFILE_ACCESS_READ | CFILE_SHARE_READWRITE), kSharingViolation);
    holderOnA.kill();
    double waited = secondsUntilOpenOnB(CFILE_ACCESS_READ | CFILE_SHARE_READWRITE, 60);
    std::printf("[ cluster  ] holder killed: the other client opened the file after %.3f s\n",
                waited);
    EXPECT_GE(waited, 0) << "still held a minute after its holder was killed";
}

// The holder's whole client (its machine) lost: the server releases what
// that client held once it notices (GlusterFS's brick: when the connection
// drops; Ceph's metadata server: when it evicts the client whose session
// went unrenewed, after the file system's session_autoclose).
TEST_F(AcrossClients, ALostClientReleasesTheFile) {
    qtest::Child holderOnA;
    int32_t handle = -1;
    ASSERT_EQ(holderOnA.open("open", onA(name), CFILE_ACCESS_READWRITE, &handle), 0u);
    ASSERT_EQ(qtest::HandleInOtherProcess(onA(name), CFILE_ACCESS_READ).opened(),
              kSharingViolation);
    ASSERT_GT(volume.clientA(), 0);
    ::kill(volume.clientA(), SIGKILL);
    double waited = secondsUntilOpenOnB(CFILE_ACCESS_READ | CFILE_SHARE_READWRITE, 120);
    std::printf("[ cluster  ] client lost: the other client opened the file after %.3f s\n",
                waited);
    EXPECT_GE(waited, 0) << "still held two minutes after its client was lost";
    holderOnA.kill();
    EXPECT_TRUE(volume.remountA());
}

#ifndef QORVEL_CLUSTER_CEPH
// A host that works in the brick directory itself meets none of the mounts'
// share modes and locks: the directory is told from the mounts.
TEST_F(AcrossClients, TheBrickDirectoryIsToldFromTheMounts) {
    using qorvel_cli::insideGlusterBrick;
    std::string root;
    EXPECT_TRUE(insideGlusterBrick(volume.brick() + "/" + name, &root));
    EXPECT_EQ(root, volume.brick());
    EXPECT_TRUE(insideGlusterBrick(volume.brick() + "/not/made/yet"));
    EXPECT_TRUE(insideGlusterBrick(volume.brick()));
    EXPECT_FALSE(insideGlusterBrick(onA(name)));
    EXPECT_FALSE(insideGlusterBrick(volume.mountB()));
    EXPECT_FALSE(insideGlusterBrick(volume.brick() + "/../a"));
    EXPECT_FALSE(insideGlusterBrick("/tmp"));
}
#endif

}  // namespace

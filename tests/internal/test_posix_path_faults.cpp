// Failing system calls under the path operations and queries: each comes
// back as its status, and a move that fails half-way loses nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "faults.h"
#include "platform/posix/syscalls.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

namespace fs = std::filesystem;
using qorvel::platform::posix::kDefaultSystemCalls;
using qorvel::platform::posix::sys;

using namespace qtest::words;

namespace {

using namespace qtest::faults;

// Renames always report another filesystem, so moves take the copying path.
int renameAcrossDevices(int, const char*, int, const char*, unsigned int) {
    errno = EXDEV;
    return -1;
}

// The kernel's copy is unavailable: reads and writes do the work.
ssize_t noKernelCopy(int, off_t*, int, off_t*, size_t, unsigned int) {
    errno = EXDEV;
    return -1;
}

// The kernel's copy in pieces of 64 KiB, so that a failure can come half-way.
ssize_t copyInPieces(int in, off_t* inOffset, int out, off_t* outOffset, size_t count,
                     unsigned int flags) {
    if (failNow()) return -1;
    return kDefaultSystemCalls.copyFileRange(in, inOffset, out, outOffset,
                                             std::min<size_t>(count, 64 * 1024), flags);
}

class PathFaultTest : public SystemCallFaultTest {
protected:
    std::string source = dir.path("source.bin");
    std::string target = dir.path("sub/target.bin");
    std::string content;

    void SetUp() override {
        for (int i = 0; i < 300000; ++i) content += char('A' + i % 26);
        qtest::writeFile(source, content);
        fs::create_directory(dir.path("sub"));
        SystemCallFaultTest::SetUp();
    }

    // A move across file systems in which the planned call fails: it answers
    // `expected`, and nothing moved.
    void expectMoveFailsAndKeepsSource(int goodCalls, int error, cFileStatus expected) {
        sys.renameat2 = renameAcrossDevices;
        failAfter(goodCalls, error);
        EXPECT_EQ(cFileRename(source.c_str(), target.c_str()), expected);
        sys = kDefaultSystemCalls;
        expectNothingMoved();
    }

    // The source is whole and nothing else is in the target's directory.
    void expectNothingMoved() {
        EXPECT_EQ(qtest::readFile(source), content);
        EXPECT_TRUE(fs::is_empty(dir.path("sub"))) << "a target or a hidden copy is left";
    }
};

// ---- Moves across filesystems -------------------------------------------------

TEST_F(PathFaultTest, ACopyingMoveMovesEverything) {
    sys.renameat2 = renameAcrossDevices;
    EXPECT_EQ(cFileRename(source.c_str(), target.c_str()), 0u);
    sys = kDefaultSystemCalls;
    EXPECT_FALSE(qtest::exists(source));
    EXPECT_EQ(qtest::readFile(target), content);
    EXPECT_EQ(fs::directory_iterator(dir.path("sub"))->path().filename(), "target.bin");
}

TEST_F(PathFaultTest, AMoveThatRunsOutOfSpaceHalfWayLeavesTheSource) {
    sys.copyFileRange = noKernelCopy;
    failByPlan<&Calls::write>();
    expectMoveFailsAndKeepsSource(2, ENOSPC, kDiskFull);
}

TEST_F(PathFaultTest, AKernelCopyThatFailsHalfWayLeavesTheSource) {
    sys.copyFileRange = copyInPieces;
    expectMoveFailsAndKeepsSource(2, EIO, kIoError);
}

TEST_F(PathFaultTest, ACopyThatCannotBeMadeDurableIsNotPublished) {
    failByPlan<&Calls::fsync>();
    expectMoveFailsAndKeepsSource(0, EIO, kIoError);
}

TEST_F(PathFaultTest, ACopyWhosePermissionsCannotBeSetIsNotPublished) {
    failByPlan<&Calls::fchmod>();
    expectMoveFailsAndKeepsSource(0, EPERM, kAccessDenied);
}

TEST_F(PathFaultTest, ATargetThatAppearsDuringTheCopyIsKept) {
    failByPlan<&Calls::link>();
    expectMoveFailsAndKeepsSource(0, EEXIST, kAlreadyExists);
}

TEST_F(PathFaultTest, ASourceThatCannotBeRemovedTakesTheNewTargetBack) {
    failByPlan<&Calls::unlink>();
    expectMoveFailsAndKeepsSource(
        1, EACCES, kAccessDenied);  // the hidden copy's name goes first, then the source
}

// ---- Filesystems that cannot rename without replacing ------------------------------

int renameWithoutNoReplace(int, const char*, int, const char*, unsigned int) {
    errno = EINVAL;
    return -1;
}

TEST_F(PathFaultTest, WithoutAtomicNoReplaceAFileIsMovedByLinking) {
    sys.renameat2 = renameWithoutNoReplace;
    EXPECT_EQ(cFileRename(source.c_str(), target.c_str()), 0u);
    EXPECT_FALSE(qtest::exists(source));
    EXPECT_EQ(qtest::readFile(target), content);
    std::string other = dir.path("other.txt");
    qtest::writeFile(other, "other");
    EXPECT_EQ(cFileRename(target.c_str(), other.c_str()), kAlreadyExists);
    EXPECT_EQ(qtest::readFile(other), "other");
    EXPECT_EQ(qtest::readFile(target), content);
}

// ---- Removal -----------------------------------------------------------------------

TEST_F(PathFaultTest, AFailedUnlinkIsReportedAndKeepsTheFile) {
    failByPlan<&Calls::unlink>();
    failAfter(0, EBUSY);
    EXPECT_EQ(cFileRemove(source.c_str()), kBusy);  // ERROR_BUSY
    sys = kDefaultSystemCalls;
    EXPECT_EQ(qtest::readFile(source), content);
}

// ---- Attributes and times -------------------------------------------------------------

TEST_F(PathFaultTest, AFailedStatusQueryFailsAttributeAndTime) {
    failByPlan<&Calls::statx>();
    int16_t flag = 7;
    int32_t time = 7;
    failAfter(0, EACCES);
    EXPECT_EQ(cFileGetAttribute(source.c_str(), CFILE_ATTR_READONLY, &flag), 1);
    failAfter(0, EIO);
    EXPECT_EQ(cFileGetTime(source.c_str(), CFILE_ATTR_READONLY, &time), 1);
    EXPECT_EQ(time, 7);
}

TEST_F(PathFaultTest, AFailedPermissionChangeFails) {
    failByPlan<&Calls::chmod>();
    failAfter(0, EPERM);
    EXPECT_EQ(cFileSetAttribute(source.c_str(), CFILE_ATTR_READONLY, 1), 1);
    sys = kDefaultSystemCalls;
    int16_t flag = 7;
    EXPECT_EQ(cFileGetAttribute(source.c_str(), CFILE_ATTR_WRITABLE, &flag), 0);
    EXPECT_EQ(flag, 1);
}

// ---- Read-only directories ------------------------------------------------------------

class DirectoryFaultTest : public PathFaultTest {
protected:
    std::string sub = dir.path("sub");
    int16_t readOnly() {
        int16_t flag = 7;
        EXPECT_EQ(cFileGetAttribute(sub.c_str(), CFILE_ATTR_READONLY, &flag), 0);
        return flag;
    }
};

TEST_F(DirectoryFaultTest, ARefusedMarkFailsAndChangesNothing) {
    failByPlan<&Calls::setxattr>();
    failAfter(0, EACCES);
    EXPECT_EQ(cFileSetAttribute(sub.c_str(), CFILE_ATTR_READONLY, 1), 1);
    sys = kDefaultSystemCalls;
    EXPECT_EQ(readOnly(), 0);
    EXPECT_EQ(cFileRemoveDir(sub.c_str()), 0u);
}

TEST_F(DirectoryFaultTest, WithoutMarksTheOwnerWriteBitStandsIn) {
    failByPlan<&Calls::setxattr>();
    failByPlan<&Calls::getxattr>();
    failByPlan<&Calls::removexattr>();
    failAfter(0, EOPNOTSUPP);
    chmod(sub.c_str(), 0777);
    ASSERT_EQ(cFileSetAttribute(sub.c_str(), CFILE_ATTR_READONLY, 1), 0);
    EXPECT_EQ(fs::status(sub).permissions(), fs::perms(0577));
    failAfter(0, EOPNOTSUPP);
    EXPECT_EQ(readOnly(), 1);
    EXPECT_EQ(cFileRemoveDir(sub.c_str()), kAccessDenied);
    failAfter(0, EOPNOTSUPP);
    ASSERT_EQ(cFileSetAttribute(sub.c_str(), CFILE_ATTR_WRITABLE, 1), 0);
    EXPECT_EQ(fs::status(sub).permissions(), fs::perms(0777));
}

// A mark that cannot be read counts as none: the query still answers.
TEST_F(DirectoryFaultTest, AnUnreadableMarkCountsAsNone) {
    ASSERT_EQ(cFileSetAttribute(sub.c_str(), CFILE_ATTR_READONLY, 1), 0);
    failByPlan<&Calls::getxattr>();
    failAfter(0, EACCES);
    EXPECT_EQ(readOnly(), 0);
    sys = kDefaultSystemCalls;
    EXPECT_EQ(readOnly(), 1);
}

TEST_F(DirectoryFaultTest, AMarkThatCannotBeRemovedFailsAndStays) {
    ASSERT_EQ(cFileSetAttribute(sub.c_str(), CFILE_ATTR_READONLY, 1), 0);
    failByPlan<&Calls::removexattr>();
    failAfter(0, EPERM);
    EXPECT_EQ(cFileSetAttribute(sub.c_str(), CFILE_ATTR_WRITABLE, 1), 1);
    sys = kDefaultSystemCalls;
    EXPECT_EQ(readOnly(), 1);
    EXPECT_EQ(cFileRemoveDir(sub.c_str()), kAccessDenied);
    ASSERT_EQ(cFileSetAttribute(sub.c_str(), CFILE_ATTR_WRITABLE, 1), 0);
}

// ---- Volumes --------------------------------------------------------------------------

struct statvfs gVolume;
std::string gMeasured;

int fixedVolume(const char* path, struct statvfs* out) {
    gMeasured = path;
    *out = gVolume;
    return 0;
}

uint32_t freeSpaceFor(unsigned long blockSize, fsblkcnt_t available) {
    std::memset(&gVolume, 0, sizeof gVolume);
    gVolume.f_frsize = blockSize;
    gVolume.f_bsize = blockSize;
    gVolume.f_bavail = available;
    gVolume.f_bfree = available * 2;  // blocks kept for root are not the caller's
    gVolume.f_blocks = available * 4;
    sys.statvfs = fixedVolume;
    uint32_t freeBytes = 0xAAAA;
    EXPECT_EQ(cFileGetDiskFree("/", &freeBytes), 0u);
    return freeBytes;
}

TEST_F(PathFaultTest, FreeSpaceIsTheSpaceAvailableToTheCaller) {
    EXPECT_EQ(freeSpaceFor(4096, 1000), 4096000u);
    EXPECT_EQ(freeSpaceFor(1000, 7), 7000u);  // a block that is no whole number of sectors
    EXPECT_EQ(freeSpaceFor(4096, 0), 0u);
}

TEST_F(PathFaultTest, FreeSpaceSaturatesInsteadOfWrapping) {
    EXPECT_EQ(freeSpaceFor(4096, (1ull << 20) - 1), 0xFFFFF000u);
    EXPECT_EQ(freeSpaceFor(4096, 1ull << 20), 0xFFFFFFFFu);  // exactly 4 GiB, not 0
    EXPECT_EQ(freeSpaceFor(4096, (1ull << 20) + 1), 0xFFFFFFFFu);
    EXPECT_EQ(freeSpaceFor(65536, 1ull << 40), 0xFFFFFFFFu);
}

TEST_F(PathFaultTest, APathIsMeasuredOnItselfOrItsNearestExistingAncestor) {
    freeSpaceFor(4096, 1);
    uint32_t freeBytes = 0;
    EXPECT_EQ(cFileGetDiskFree(source.c_str(), &freeBytes), 0u);
    EXPECT_EQ(gMeasured, source);
    EXPECT_EQ(cFileGetDiskFree(dir.path("sub/a/b/c").c_str(), &freeBytes), kFileNotFound);
    EXPECT_EQ(gMeasured, dir.path("sub"));
    EXPECT_EQ(freeBytes, 4096u);

    fs::path previous = fs::current_path();
    fs::current_path(dir.root());
    cFileStatus inSub = cFileGetDiskFree("sub/missing/x", &freeBytes);
    std::string measuredInSub = gMeasured;
    cFileStatus bare = cFileGetDiskFree("missing", &freeBytes);
    std::string measuredBare = gMeasured;
    fs::current_path(previous);
    EXPECT_EQ(inSub, kFileNotFound);
    EXPECT_EQ(measuredInSub, "sub");
    EXPECT_EQ(bare, kFileNotFound);
    EXPECT_EQ(measuredBare, ".");
}

TEST_F(PathFaultTest, AFailedFreeSpaceQueryAnswersItsErrorAndZero) {
    failByPlan<&Calls::statvfs>();
    failAfter(0, EIO);
    uint32_t freeBytes = 0xAAAA;
    EXPECT_EQ(cFileGetDiskFree(source.c_str(), &freeBytes), kIoError);
    EXPECT_EQ(freeBytes, 0u);
}

TEST_F(PathFaultTest, ARefusedStatusQueryStillMeasures) {
    failByPlan<&Calls::statx>();
    failAfter(0, EACCES);
    uint32_t freeBytes = 0;
    // Whatever the reason, the refused query reads as "not found", as on Windows.
    EXPECT_EQ(cFileGetDiskFree(source.c_str(), &freeBytes), kFileNotFound);
    EXPECT_NE(freeBytes, 0u);
}

// ---- The current directory -----------------------------------------------------------

TEST_F(PathFaultTest, AFailedCurrentDirectoryQueryWritesNothing) {
    failByPlan<&Calls::getcwd>();
    char buffer[CFILE_DIR_BUFFER_SIZE];
    std::memset(buffer, 'X', sizeof buffer);
    failAfter(0, EACCES);
    EXPECT_EQ(cFileGetCurrentDir(buffer), kAccessDenied);
    for (char c : buffer) ASSERT_EQ(c, 'X');
}

}  // namespace

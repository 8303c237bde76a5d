// What only a POSIX system can show about handles: they are inheritable file
// descriptors, and a process that may not write a file still opens it to read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "process.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

using namespace qtest::words;

namespace {

class PosixHandleTest : public ::testing::Test {
protected:
    qtest::TempDir dir;
    std::string file = dir.path("file.txt");
    void SetUp() override { qtest::writeFile(file, "content"); }
};

}  // namespace

TEST_F(PosixHandleTest, HandlesAreInheritedByChildProcesses) {
    cFileHandle handle;
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0041, &handle), 0u);
    EXPECT_EQ(fcntl(handle, F_GETFD) & FD_CLOEXEC, 0);
    std::string probe = "test -e /proc/self/fd/" + std::to_string(handle);
    EXPECT_EQ(std::system(probe.c_str()), 0);
    EXPECT_EQ(cFileClose(handle), 0u);
}

TEST_F(PosixHandleTest, AReaderWithoutWritePermissionStillOpens) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to switch users";
    chmod(file.c_str(), 0644);
    int code = qtest::asNobody([&] {
        cFileHandle handle;
        if (cFileOpen(file.c_str(), 0x0021, &handle) != 0) return 1;
        if (cFileClose(handle) != 0) return 2;
        if (cFileOpen(file.c_str(), 0x0022, &handle) != kAccessDenied) return 3;
        if (cFileCreate(file.c_str(), 0x0042, 0, &handle) != kAccessDenied) return 4;
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(qtest::readFile(file), "content");
}

// A reader that denies reading needs no write permission to keep others
// out: its share mode lives on its own read-only descriptor.
TEST_F(PosixHandleTest, AnExclusiveReaderThatMayNotWriteKeepsOthersOut) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to switch users";
    chmod(file.c_str(), 0644);
    int code = qtest::asNobody([&] {
        cFileHandle reader, exclusive, later;
        if (cFileOpen(file.c_str(), 0x0021, &reader) != 0) return 1;
        if (cFileOpen(file.c_str(), 0x0001, &exclusive) != kSharingViolation) return 2;
        if (cFileClose(reader) != 0) return 3;
        if (cFileOpen(file.c_str(), 0x0011, &exclusive) != 0) return 4;
        if (cFileOpen(file.c_str(), 0x0041, &later) != kSharingViolation) return 5;
        if (cFileOpen(file.c_str(), 0x0011, &later) != kSharingViolation) return 6;
        if (cFileClose(exclusive) != 0) return 7;
        if (cFileOpen(file.c_str(), 0x0041, &later) != 0) return 8;
        return cFileClose(later) == 0 ? 0 : 9;
    });
    EXPECT_EQ(code, 0);
}

TEST_F(PosixHandleTest, ReadOnlyAttributeHoldsForRootToo) {
    // Owner write clear, group and others writable: still read-only.
    chmod(file.c_str(), 0466);
    cFileHandle handle;
    EXPECT_EQ(cFileOpen(file.c_str(), 0x0042, &handle), kAccessDenied);
    EXPECT_EQ(cFileCreate(file.c_str(), 0x0042, 0, &handle), kAccessDenied);
    EXPECT_EQ(qtest::readFile(file), "content");
    chmod(file.c_str(), 0644);
}

TEST_F(PosixHandleTest, SymbolicLinksAreFollowedAsWindowsFollowsReparsePoints) {
    std::string link = dir.path("link.txt");
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
    cFileHandle handle;
    ASSERT_EQ(cFileOpen(link.c_str(), 0x0001, &handle), 0u);
    cFileHandle other;
    // The share mode belongs to the file, whatever name opened it.
    EXPECT_EQ(cFileOpen(file.c_str(), 0x0041, &other), kSharingViolation);
    EXPECT_EQ(cFileClose(handle), 0u);
}

TEST_F(PosixHandleTest, HandleZeroIsTheNullHandleNotStandardInput) {
    // Descriptor 0 is this process's standard input, which the library did
    // not open: every call refuses it as Windows refuses the null handle.
    char buffer[4];
    uint32_t count = 99;
    EXPECT_EQ(cFileClose(0), kInvalidHandle);
    EXPECT_EQ(cFileFlush(0), kInvalidHandle);
    EXPECT_EQ(cFileRead(0, buffer, sizeof buffer, &count), kInvalidHandle);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(cFileWrite(0, "x", 1, &count), kInvalidHandle);
    EXPECT_EQ(cFileSeek(0, 0, CFILE_SEEK_END, nullptr), kInvalidHandle);
    EXPECT_EQ(cFileSetSize(0, 0), kInvalidHandle);
    EXPECT_EQ(cFileLock(0, 0, 1), kInvalidHandle);
    EXPECT_EQ(cFileUnlock(0, 0, 1), kInvalidHandle);
    EXPECT_NE(fcntl(0, F_GETFD), -1) << "standard input was closed";
}

TEST_F(PosixHandleTest, CreatingThroughALinkToAMissingFileMakesTheTarget) {
    std::string target = dir.path("rotated.log");
    std::string link = dir.path("current.log");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    EXPECT_EQ(cFileWriteToFile(link.c_str(), "first\r\n"), 0u);
    EXPECT_EQ(qtest::readFile(target), "first\r\n");
    ASSERT_EQ(unlink(target.c_str()), 0);
    cFileHandle handle;
    ASSERT_EQ(cFileCreate(link.c_str(), 0x0042, 0, &handle), 0u);
    EXPECT_EQ(cFileClose(handle), 0u);
    EXPECT_TRUE(qtest::exists(target));
}

// Windows keeps a directory's read-only attribute; on Linux the owner-write
// bit means it for directories as for files.
TEST_F(PosixHandleTest, ADirectoryWithoutItsOwnerWriteBitIsReadOnly) {
    std::string sub = dir.path("sub");
    ASSERT_EQ(mkdir(sub.c_str(), 0555), 0);
    int16_t flag = -1;
    EXPECT_EQ(cFileGetAttribute(sub.c_str(), CFILE_ATTR_READONLY, &flag), 0);
    EXPECT_EQ(flag, 1);
    chmod(sub.c_str(), 0755);
}

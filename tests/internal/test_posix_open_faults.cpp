// Every failing system call of opening, creating, closing and flushing comes
// back as its status and leaks no descriptor.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "faults.h"
#include "platform/posix/syscalls.h"
#include "qorvel.h"
#include "test_support.h"

using qorvel::platform::posix::kDefaultSystemCalls;
using qorvel::platform::posix::sys;

namespace {

using qtest::faults::failNow;

class OpenFaultTest : public qtest::faults::SystemCallFaultTest {
protected:
    qtest::TempDir dir;
    std::string file = dir.path("file.txt");

    void SetUp() override {
        qtest::writeFile(file, "content");
        SystemCallFaultTest::SetUp();
    }
    void TearDown() override {
        SystemCallFaultTest::TearDown();
        EXPECT_EQ(qtest::readFile(file).size() <= 7, true);
    }
    static void failWith(int error, int goodCallsFirst = 0) {
        qtest::faults::failAfter(goodCallsFirst, error);
    }
};

}  // namespace

TEST_F(OpenFaultTest, OpenFailures) {
    sys.open = [](const char* path, int flags, mode_t mode) {
        return failNow() ? -1 : kDefaultSystemCalls.open(path, flags, mode);
    };
    struct Case {
        int error;
        cFileStatus status;
    };
    const Case cases[] = {
        {EMFILE, 0x00040307}, {ENFILE, 0x00040307}, {ENOMEM, 0x00080307},
        {EACCES, 0x00050301}, {ELOOP, 0x07810307},  {EIO, 0x045D0307},
        {ENOSPC, 0x00700308}, {EDQUOT, 0x00700308}, {EROFS, 0x00130307},
    };
    for (const Case& c : cases) {
        failWith(c.error);
        cFileHandle handle = 99;
        EXPECT_EQ(cFileOpen(file.c_str(), 0x0042, &handle), c.status) << c.error;
        EXPECT_EQ(handle, CFILE_INVALID_HANDLE);
        failWith(c.error);
        EXPECT_EQ(cFileCreate(file.c_str(), 0x0042, 0, &handle), c.status) << c.error;
    }
    EXPECT_EQ(qtest::readFile(file), "content");
}

TEST_F(OpenFaultTest, AShareLockFailureClosesTheDescriptor) {
    sys.fcntlLock = [](int fd, int command, struct flock* lock) {
        return failNow() ? -1 : kDefaultSystemCalls.fcntlLock(fd, command, lock);
    };
    failWith(ENOLCK);
    cFileHandle handle = 99;
    EXPECT_EQ(cFileOpen(file.c_str(), 0x0021, &handle), 0x00240305u);
    EXPECT_EQ(handle, CFILE_INVALID_HANDLE);
    // A later lock of the same open, after the first went through.
    failWith(ENOLCK, 1);
    EXPECT_EQ(cFileOpen(file.c_str(), 0x0044, &handle), 0x00240305u);
    failWith(ENOLCK, 1);
    EXPECT_EQ(cFileOpen(file.c_str(), 0x0024, &handle), 0x00240305u);
    failWith(ENOLCK);
    EXPECT_EQ(cFileCreate(file.c_str(), 0x0002, 0, &handle), 0x00240305u);
    EXPECT_EQ(qtest::readFile(file), "content");
}

TEST_F(OpenFaultTest, AFailedAttributeCheckNeitherOpensNorEmpties) {
    sys.fstat = [](int fd, struct stat* status) {
        return failNow() ? -1 : kDefaultSystemCalls.fstat(fd, status);
    };
    failWith(EIO);
    cFileHandle handle = 99;
    EXPECT_EQ(cFileOpen(file.c_str(), 0x0042, &handle), 0x045D0307u);
    failWith(EIO);
    EXPECT_EQ(cFileCreate(file.c_str(), 0x0042, 0, &handle), 0x045D0307u);
    EXPECT_EQ(qtest::readFile(file), "content");
}

TEST_F(OpenFaultTest, AFailedTruncationReportsAndCloses) {
    sys.ftruncate = [](int fd, off_t length) {
        return failNow() ? -1 : kDefaultSystemCalls.ftruncate(fd, length);
    };
    failWith(EIO);
    cFileHandle handle = 99;
    EXPECT_EQ(cFileCreate(file.c_str(), 0x0002, 0, &handle), 0x045D0307u);
    EXPECT_EQ(handle, CFILE_INVALID_HANDLE);
    EXPECT_EQ(qtest::readFile(file), "content");
}

TEST_F(OpenFaultTest, CloseFailures) {
    sys.close = [](int fd) {
        int result = kDefaultSystemCalls.close(fd);  // the descriptor is gone either way
        return failNow() ? -1 : result;
    };
    cFileHandle handle;
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0041, &handle), 0u);
    failWith(EIO);
    EXPECT_EQ(cFileClose(handle), 0x045D0307u);
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0041, &handle), 0u);
    failWith(EINTR);
    EXPECT_EQ(cFileClose(handle), 0u);
}

TEST_F(OpenFaultTest, FlushFailuresAreReported) {
    sys.fsync = [](int fd) { return failNow() ? -1 : kDefaultSystemCalls.fsync(fd); };
    cFileHandle handle;
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0042, &handle), 0u);
    failWith(EIO);
    EXPECT_EQ(cFileFlush(handle), 0x045D0307u);
    failWith(ENOSPC);
    EXPECT_EQ(cFileFlush(handle), 0x00700308u);
    failWith(EDQUOT);
    EXPECT_EQ(cFileFlush(handle), 0x00700308u);
    failWith(EINVAL);  // a descriptor with nothing to write out
    EXPECT_EQ(cFileFlush(handle), 0u);
    EXPECT_EQ(cFileFlush(handle), 0u);
    EXPECT_EQ(cFileClose(handle), 0u);
}

TEST_F(OpenFaultTest, CreateOfAVanishingFileRetries) {
    // The file is there for O_EXCL and gone for the plain open: the create
    // tries again and makes it.
    sys.open = [](const char* path, int flags, mode_t mode) {
        if (failNow() && !(flags & O_CREAT)) {
            unlink(path);
            errno = ENOENT;
            return -1;
        }
        return kDefaultSystemCalls.open(path, flags, mode);
    };
    failWith(0, 1);
    cFileHandle handle;
    ASSERT_EQ(cFileCreate(file.c_str(), 0x0002, 0, &handle), 0u);
    EXPECT_EQ(cFileClose(handle), 0u);
    EXPECT_EQ(qtest::fileSize(file), 0u);
    qtest::writeFile(file, "content");
}

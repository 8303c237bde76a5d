// Every failing system call of opening, creating, closing and flushing comes
// back as its status and leaks no descriptor.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "faults.h"
#include "platform/posix/syscalls.h"
#include "process.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

using namespace qtest::words;

using qorvel::platform::posix::kDefaultSystemCalls;
using qorvel::platform::posix::sys;

namespace {

using namespace qtest::faults;

class OpenFaultTest : public SystemCallFaultTest {
protected:
    std::string file = dir.path("file.txt");

    void SetUp() override {
        qtest::writeFile(file, "content");
        SystemCallFaultTest::SetUp();
    }
    void TearDown() override {
        SystemCallFaultTest::TearDown();
        EXPECT_EQ(qtest::readFile(file).size() <= 7, true);
    }
    static void failWith(int error, int goodCallsFirst = 0) { failAfter(goodCallsFirst, error); }
};

}  // namespace

TEST_F(OpenFaultTest, OpenFailures) {
    failByPlan<&Calls::open>();
    struct Case {
        int error;
        cFileStatus status;
    };
    const Case cases[] = {
        {EMFILE, kTooManyOpenFiles}, {ENFILE, kTooManyOpenFiles}, {ENOMEM, kNotEnoughMemory},
        {EACCES, kAccessDenied},     {ELOOP, 0x07810307},         {EIO, kIoError},
        {ENOSPC, kDiskFull},         {EDQUOT, kDiskFull},         {EROFS, kWriteProtect},
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
    failByPlan<&Calls::fcntlLock>();
    failWith(ENOLCK);
    cFileHandle handle = 99;
    EXPECT_EQ(cFileOpen(file.c_str(), 0x0021, &handle), kSharingBufferExceeded);
    EXPECT_EQ(handle, CFILE_INVALID_HANDLE);
    // A later lock of the same open, after the first went through.
    failWith(ENOLCK, 1);
    EXPECT_EQ(cFileOpen(file.c_str(), 0x0044, &handle), kSharingBufferExceeded);
    failWith(ENOLCK, 1);
    EXPECT_EQ(cFileOpen(file.c_str(), 0x0024, &handle), kSharingBufferExceeded);
    failWith(ENOLCK);
    EXPECT_EQ(cFileCreate(file.c_str(), 0x0002, 0, &handle), kSharingBufferExceeded);
    EXPECT_EQ(qtest::readFile(file), "content");
}

// A reader that denies reading publishes its denial through its own
// descriptor: no open of the file for writing, and its denial stands against
// the handles before it and after it.
TEST_F(OpenFaultTest, AReaderThatDeniesReadingOpensNothingForWriting) {
    static int writableOpens;
    sys.open = [](const char* path, int flags, mode_t mode) {
        if ((flags & O_ACCMODE) != O_RDONLY) ++writableOpens;
        return kDefaultSystemCalls.open(path, flags, mode);
    };
    for (cFileMode held : {cFileMode{0x0041}, cFileMode{0x0042}, cFileMode{0x0044}}) {
        cFileHandle holder = CFILE_INVALID_HANDLE, reader = CFILE_INVALID_HANDLE;
        ASSERT_EQ(cFileOpen(file.c_str(), held, &holder), 0u);
        writableOpens = 0;
        EXPECT_EQ(cFileOpen(file.c_str(), 0x0001, &reader), kSharingViolation) << held;
        EXPECT_EQ(cFileClose(holder), 0u);
        ASSERT_EQ(cFileOpen(file.c_str(), 0x0001, &reader), 0u) << "alone, it opens";
        EXPECT_EQ(writableOpens, 0) << held;
        EXPECT_EQ(cFileOpen(file.c_str(), held, &holder), kSharingViolation) << held;
        EXPECT_EQ(cFileClose(reader), 0u);
    }
}

TEST_F(OpenFaultTest, AFailedAttributeCheckNeitherOpensNorEmpties) {
    failByPlan<&Calls::statx>();
    failWith(EIO);
    cFileHandle handle = 99;
    EXPECT_EQ(cFileOpen(file.c_str(), 0x0042, &handle), kIoError);
    failWith(EIO);
    EXPECT_EQ(cFileCreate(file.c_str(), 0x0042, 0, &handle), kIoError);
    EXPECT_EQ(qtest::readFile(file), "content");
}

// A file system without a block device of its own (here a tmpfs in a mount
// namespace of a child's own) is asked its type once per open: through its
// mount, which no file server hears of, or by fstatfs where the kernel cannot
// say; when neither answers, the open fails and leaves nothing open.
TEST_F(OpenFaultTest, AFileSystemWithoutABlockDeviceIsAskedItsTypeOnce) {
    std::string volume = dir.path("volume");
    ASSERT_EQ(mkdir(volume.c_str(), 0700), 0);
    constexpr int kNoMount = 100;
    int code = qtest::inForkedProcess([&] {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", volume.c_str(), "tmpfs", 0, "size=64k") != 0) {
            return kNoMount;
        }
        std::string inside = volume + "/file";
        qtest::writeFile(inside, "x");
        auto opens = [&] {
            cFileHandle handle = CFILE_INVALID_HANDLE;
            cFileStatus status = cFileOpen(inside.c_str(), 0x0041, &handle);
            if (status == 0) cFileClose(handle);
            return status;
        };
        struct statx mount;
        uint64_t type = 0;
        bool kernelSays = statx(AT_FDCWD, inside.c_str(), 0, 0x4000, &mount) == 0 &&
                          (mount.stx_mask & 0x4000) &&
                          kDefaultSystemCalls.statmount(mount.stx_mnt_id, &type) == 0;
        int descriptors = qtest::openDescriptorCount();
        failByPlan<&Calls::fstatfs>();
        failWith(EIO);
        if (kernelSays && opens() != 0) return 1;  // fstatfs never asked
        failByPlan<&Calls::statmount>();
        failAfter(0, ENOSYS, 1);
        if (kernelSays && opens() != 0) return 2;  // fstatfs answers
        failAfter(0, EIO, 2);
        if (opens() != kIoError) return 3;
        return qtest::openDescriptorCount() == descriptors ? 0 : 4;
    });
    if (code == kNoMount) GTEST_SKIP() << "no mount namespace for a tmpfs here";
    EXPECT_EQ(code, 0);
}

TEST_F(OpenFaultTest, AFailedTruncationReportsAndCloses) {
    failByPlan<&Calls::ftruncate>();
    failWith(EIO);
    cFileHandle handle = 99;
    EXPECT_EQ(cFileCreate(file.c_str(), 0x0002, 0, &handle), kIoError);
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
    EXPECT_EQ(cFileClose(handle), kIoError);
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0041, &handle), 0u);
    failWith(EINTR);
    EXPECT_EQ(cFileClose(handle), 0u);
}

TEST_F(OpenFaultTest, FlushFailuresAreReported) {
    failByPlan<&Calls::fsync>();
    cFileHandle handle;
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0042, &handle), 0u);
    failWith(EIO);
    EXPECT_EQ(cFileFlush(handle), kIoError);
    failWith(ENOSPC);
    EXPECT_EQ(cFileFlush(handle), kDiskFull);
    failWith(EDQUOT);
    EXPECT_EQ(cFileFlush(handle), kDiskFull);
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

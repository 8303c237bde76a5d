// What only a POSIX system can show about transfers and locks: a full disk,
// descriptors the library did not open, the size of the lock record, and the
// places where Linux and Windows differ.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "process.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

using namespace qtest::words;

namespace {

constexpr cFileMode kReadWrite = CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE;
constexpr cFileMode kWriteOnly = CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE;
constexpr cFileMode kReadOnly = CFILE_ACCESS_READ | CFILE_SHARE_READWRITE;

// A tmpfs of a few pages, mounted for one test when the process may mount.
class SmallVolume {
public:
    explicit SmallVolume(const std::string& where) : path_(where) {
        mkdir(path_.c_str(), 0700);
        mounted_ = mount("qorvel-test", path_.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallVolume() {
        if (mounted_) umount(path_.c_str());
    }
    bool mounted() const { return mounted_; }

private:
    std::string path_;
    bool mounted_ = false;
};

}  // namespace

TEST(PosixIo, AWriteToAFullDeviceIsDiskFull) {
    cFileHandle handle = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileOpen("/dev/full", kWriteOnly, &handle), 0u);
    std::vector<char> block(4096, 'z');
    uint32_t count = 0xA5A5A5A5u;
    EXPECT_EQ(cFileWrite(handle, block.data(), uint32_t(block.size()), &count), kDiskFull);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(cFileClose(handle), 0u);
}

TEST(PosixIo, AWriteThatFillsTheVolumeCountsWhatReachedTheFile) {
    qtest::TempDir dir;
    SmallVolume volume(dir.path("volume"));
    if (!volume.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    std::string file = dir.path("volume/log.bin");
    cFileHandle handle = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileCreate(file.c_str(), kWriteOnly, 0, &handle), 0u);
    std::vector<char> data(256 * 1024);
    for (size_t i = 0; i < data.size(); ++i) data[i] = char(i % 251);
    uint32_t count = 0;
    EXPECT_EQ(cFileWrite(handle, data.data(), uint32_t(data.size()), &count), kDiskFull);
    EXPECT_GT(count, 0u);
    EXPECT_LT(count, data.size());
    EXPECT_EQ(cFileClose(handle), 0u);
    std::string content = qtest::readFile(file);
    ASSERT_EQ(content.size(), count);
    EXPECT_TRUE(std::equal(content.begin(), content.end(), data.begin()));
}

// A descriptor the library did not open keeps the access it was opened with:
// the kernel refuses the rest, and the answer is still 5, not 6.
TEST(PosixIo, ADescriptorOpenedElsewhereIsRefusedWhatItsAccessDoesNotAllow) {
    qtest::TempDir dir;
    std::string file = dir.path("raw.txt");
    qtest::writeFile(file, "0123456789");
    int reader = ::open(file.c_str(), O_RDONLY);
    int writer = ::open(file.c_str(), O_WRONLY);
    ASSERT_GE(reader, 0);
    ASSERT_GE(writer, 0);
    char buffer[4] = "abc";
    uint32_t count = 0;
    EXPECT_EQ(cFileWrite(reader, buffer, 3, &count), kAccessDenied);
    EXPECT_EQ(cFileRead(writer, buffer, 3, &count), kAccessDenied);
    EXPECT_EQ(cFileSetSize(reader, 2), kAccessDenied);
    EXPECT_EQ(cFileRead(reader, buffer, 3, &count), 0u);
    EXPECT_EQ(count, 3u);
    ::close(reader);
    ::close(writer);
    EXPECT_EQ(qtest::readFile(file), "0123456789");
}

// ftruncate refuses a read-only descriptor and a directory with the same
// EINVAL; Windows answers 5 for the one and 87 for the other.
TEST(PosixIo, ASizeChangeTellsAReadOnlyFileFromADirectory) {
    qtest::TempDir dir;
    std::string file = dir.path("raw.txt");
    qtest::writeFile(file, "0123456789");
    int reader = ::open(file.c_str(), O_RDONLY);
    int directory = ::open(dir.root().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(reader, 0);
    ASSERT_GE(directory, 0);
    EXPECT_EQ(cFileSetSize(reader, 20), kAccessDenied);
    EXPECT_EQ(cFileSetSize(reader, 0), kAccessDenied);
    EXPECT_EQ(cFileSetSize(directory, 0), kInvalidParameter);
    ::close(reader);
    ::close(directory);
    EXPECT_EQ(qtest::readFile(file), "0123456789");
}

// A read handle cannot take a write lock, yet its locks are exclusive as
// on Windows: against another read handle too, also where the process may
// not write the file at all.
TEST(PosixIo, ReadHandlesTakeExclusiveLocks) {
    qtest::TempDir dir;
    std::string file = dir.path("readonly.txt");
    qtest::writeFile(file, "0123456789");
    chmod(dir.root().c_str(), 0755);
    qtest::makeReadOnly(file, true);
    int failures = qtest::asNobody([&] {
        cFileHandle first, second;
        if (cFileOpen(file.c_str(), kReadOnly, &first) != 0) return 1;
        if (cFileOpen(file.c_str(), kReadOnly, &second) != 0) return 2;
        int failed = 0;
        if (cFileLock(first, 0, 10) != 0) failed |= 4;
        if (cFileLock(first, 5, 1) != kLockViolation) failed |= 8;  // the same handle counts
        if (cFileLock(second, 0, 10) != kLockViolation) failed |= 16;
        if (cFileLock(second, 9, 0) != kLockViolation) failed |= 32;  // inside the range
        if (cFileLock(second, 10, 5) != 0) failed |= 64;
        if (cFileUnlock(first, 0, 10) != 0) failed |= 128;
        if (cFileLock(second, 0, 10) != 0) failed |= 256;
        cFileClose(first);
        cFileClose(second);
        return failed;
    });
    EXPECT_EQ(failures, 0);
}

// The record of locks has a fixed size; a full record refuses clearly and
// recovers as soon as locks are released.
TEST(PosixIo, AFullLockRecordRefusesWithSharingBufferExceeded) {
    qtest::TempDir dir;
    std::string file = dir.path("many.bin");
    qtest::writeFile(file, "x");
    cFileHandle handle;
    ASSERT_EQ(cFileOpen(file.c_str(), kReadWrite, &handle), 0u);
    uint32_t held = 0;
    cFileStatus status = 0;
    while ((status = cFileLock(handle, held * 2, 1)) == 0) {
        ++held;
        ASSERT_LT(held, 1000000u);
    }
    EXPECT_EQ(status, kSharingBufferExceeded);  // ERROR_SHARING_BUFFER_EXCEEDED
    EXPECT_GE(held, 1024u);
    EXPECT_EQ(cFileLock(handle, held * 2, 0), kSharingBufferExceeded);
    EXPECT_EQ(cFileUnlock(handle, 0, 1), 0u);
    EXPECT_EQ(cFileLock(handle, held * 2, 1), 0u);
    EXPECT_EQ(cFileClose(handle), 0u);
    ASSERT_EQ(cFileOpen(file.c_str(), kReadWrite, &handle), 0u);
    EXPECT_EQ(cFileLock(handle, 0, 1), 0u);
    EXPECT_EQ(cFileClose(handle), 0u);
}

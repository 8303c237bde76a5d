// The append where only POSIX systems can stage the case: a full disk, and
// paths longer than Windows' 260 characters.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "process.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

using namespace qtest::words;

namespace {

// Runs `body` in a child process with a mount namespace of its own and a
// 64 KiB tmpfs mounted at `where`; the mount vanishes with the child. Answers
// the child's exit code, or -1 when the system does not allow the set-up.
int withSmallVolume(const std::string& where, const std::function<int()>& body) {
    constexpr int kNoMount = 100;
    int code = qtest::inForkedProcess([&] {
        if (unshare(CLONE_NEWNS) != 0) return kNoMount;
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return kNoMount;
        if (mount("tmpfs", where.c_str(), "tmpfs", 0, "size=64k") != 0) return kNoMount;
        return body();
    });
    return code == kNoMount ? -1 : code;
}

}  // namespace

TEST(PosixAppend, ADeviceWithNoRoomAnswersDiskFull) {
    EXPECT_EQ(cFileWriteToFile("/dev/full", "text\r\n"), kDiskFull);
}

TEST(PosixAppend, AFullVolumeAnswersDiskFullAndKeepsEarlierContent) {
    qtest::TempDir dir;
    std::string volume = dir.path("volume");
    std::filesystem::create_directory(volume);
    int result = withSmallVolume(volume, [&] {
        std::string log = volume + "/app.log";
        std::string earlier = "earlier line\r\n";
        if (cFileWriteToFile(log.c_str(), earlier.c_str()) != 0) return 1;
        std::string line(1000, 'x');
        line += "\r\n";
        cFileStatus status = 0;
        for (int i = 0; i < 200 && status == 0; ++i) {
            status = cFileWriteToFile(log.c_str(), line.c_str());
        }
        if (status != kDiskFull) return 2;
        // The failed write may leave part of its text; what came before stays.
        std::string content = qtest::readFile(log);
        if (content.compare(0, earlier.size(), earlier) != 0) return 3;
        std::string appended;
        while (appended.size() < content.size() - earlier.size()) appended += line;
        if (content.compare(earlier.size(), std::string::npos, appended, 0,
                            content.size() - earlier.size()) != 0) {
            return 4;
        }
        return 0;
    });
    if (result == -1) GTEST_SKIP() << "no permission to mount a small volume";
    EXPECT_EQ(result, 0);
}

TEST(PosixAppend, PathsLongerThanWindowsAllowsAreHandedOn) {
    qtest::TempDir dir;
    std::string path = dir.root();
    while (path.size() < 400) {
        path += "/" + std::string(60, 'd');
        std::filesystem::create_directory(path);
    }
    path += "/app.log";
    ASSERT_GT(path.size(), 400u);
    EXPECT_EQ(cFileWriteToFile(path.c_str(), "a"), 0u);
    EXPECT_EQ(cFileWriteToFile(path.c_str(), "b"), 0u);
    EXPECT_EQ(qtest::readFile(path), "ab");
}

TEST(PosixAppend, APathBeyondTheSystemLimitIsRefusedCleanly) {
    std::string path = "/tmp/" + std::string(5000, 'n');
    EXPECT_EQ(cFileWriteToFile(path.c_str(), "a"), kNameTooLong);
}

TEST(PosixAppend, AFileBeyondFourGibibytesIsAppendedToNotOverwritten) {
    qtest::TempDir dir;
    std::string log = dir.path("big.log");
    const uint64_t length = (uint64_t(5) << 30) + 3;  // a hole, bar the first bytes
    qtest::writeFile(log, "head");
    std::filesystem::resize_file(log, length);
    ASSERT_EQ(cFileWriteToFile(log.c_str(), "tail"), 0u);
    EXPECT_EQ(qtest::fileSize(log), length + 4);
    std::ifstream in(log, std::ios::binary);
    char bytes[8] = {};
    in.seekg(std::streamoff(length - 4));
    in.read(bytes, 8);
    EXPECT_EQ(std::string(bytes, 8), std::string("\0\0\0\0tail", 8));
    in.seekg(0);
    in.read(bytes, 4);
    EXPECT_EQ(std::string(bytes, 4), "head");
}

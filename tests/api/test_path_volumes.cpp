// The current directory, the temporary directory and free space.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

namespace fs = std::filesystem;

using namespace qtest::words;

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

TEST(CurrentDir, FillsTheBufferWithTheDirectoryAndNulBytes) {
    char buffer[CFILE_DIR_BUFFER_SIZE + 16];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(cFileGetCurrentDir(buffer), 0u);
    EXPECT_EQ(std::string(buffer), fs::current_path().string());
    for (size_t i = std::strlen(buffer); i < CFILE_DIR_BUFFER_SIZE; ++i) {
        ASSERT_EQ(buffer[i], '\0') << "byte " << i;
    }
    for (size_t i = CFILE_DIR_BUFFER_SIZE; i < sizeof buffer; ++i) {
        ASSERT_EQ(buffer[i], 'X') << "byte " << i << " is beyond the buffer";
    }
}

TEST(CurrentDir, FollowsTheProcess) {
    qtest::TempDir dir;
    fs::path previous = fs::current_path();
    fs::current_path(dir.root());
    char buffer[CFILE_DIR_BUFFER_SIZE];
    cFileStatus status = cFileGetCurrentDir(buffer);
    std::string expected = fs::current_path().string();
    fs::current_path(previous);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(std::string(buffer), expected);
}

TEST(TempDir, EndsInOneSeparatorAndWritesNothingAfterItsNul) {
    char buffer[400];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(cFileGetTempDir(buffer), 0u);
    size_t length = std::strlen(buffer);
    ASSERT_GE(length, 2u);
    ASSERT_LT(length, size_t(CFILE_DIR_BUFFER_SIZE));
    EXPECT_TRUE(isSeparator(buffer[length - 1]));
    EXPECT_FALSE(isSeparator(buffer[length - 2]));
    EXPECT_TRUE(fs::is_directory(std::string(buffer, length - 1)));
    for (size_t i = length + 1; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 'X') << "byte " << i;
}

class DiskFreeTest : public ::testing::Test {
protected:
    qtest::TempDir dir;

    // What the library must answer for free space `available`: the figure
    // itself, or all ones from 4 GiB up. The volume is shared with other
    // programs, so a small figure may move between two looks at it.
    void expectFreeSpace(uint32_t answer) {
        uintmax_t available = fs::space(dir.root()).available;
        constexpr uintmax_t kSlack = uintmax_t(256) << 20;
        if (available >= 0xFFFFFFFFull + kSlack) {
            EXPECT_EQ(answer, 0xFFFFFFFFu);
        } else {
            EXPECT_NEAR(double(answer), double(available), double(kSlack));
        }
    }
};

TEST_F(DiskFreeTest, MeasuresTheVolumeOfADirectoryOrFile) {
    std::string file = dir.path("file.txt");
    qtest::writeFile(file, "x");
    for (const std::string& path : {dir.root(), file}) {
        uint32_t freeBytes = 0;
        EXPECT_EQ(cFileGetDiskFree(path.c_str(), &freeBytes), 0u) << path;
        expectFreeSpace(freeBytes);
    }
}

// Free space of 4 GiB or more is reported as all ones, never wrapped: a
// wrapped figure would make a volume with room look full.
TEST_F(DiskFreeTest, NeverWrapsAtFourGiB) {
    uint32_t freeBytes = 0;
    ASSERT_EQ(cFileGetDiskFree(dir.root().c_str(), &freeBytes), 0u);
    if (fs::space(dir.root()).available < (uintmax_t(5) << 30)) {
        GTEST_SKIP() << "the scratch volume has less than 5 GiB free";
    }
    EXPECT_EQ(freeBytes, 0xFFFFFFFFu);
}

TEST_F(DiskFreeTest, AMissingPathIsMeasuredButAnswersNotFound) {
    std::string missing = dir.path("missing.txt");
    uint32_t freeBytes = 0;
    EXPECT_EQ(cFileGetDiskFree(missing.c_str(), &freeBytes), kFileNotFound);
    expectFreeSpace(freeBytes);
    EXPECT_FALSE(qtest::exists(missing));
}

}  // namespace

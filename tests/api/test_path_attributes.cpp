// The read-only state and the time stamp of a path.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "fixtures.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

using namespace qtest::words;

namespace fs = std::filesystem;

namespace {

constexpr int32_t kSucceeded = 0;
constexpr int32_t kFailed = 1;

class AttributeTest : public qtest::FileAndDirectoryTest {
protected:
    // {read-only flag, writable flag}
    std::pair<int16_t, int16_t> flags(const std::string& path) {
        int16_t readOnly = 7, writable = 7;
        EXPECT_EQ(cFileGetAttribute(path.c_str(), CFILE_ATTR_READONLY, &readOnly), kSucceeded);
        EXPECT_EQ(cFileGetAttribute(path.c_str(), CFILE_ATTR_WRITABLE, &writable), kSucceeded);
        return {readOnly, writable};
    }
};

using Flags = std::pair<int16_t, int16_t>;
const Flags kReadOnly{1, 0};
const Flags kWritable{0, 1};

TEST_F(AttributeTest, ANewFileIsWritable) { EXPECT_EQ(flags(file), kWritable); }

TEST_F(AttributeTest, EitherSelectorSetsEitherState) {
    EXPECT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_READONLY, 1), kSucceeded);
    EXPECT_EQ(flags(file), kReadOnly);
    EXPECT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_READONLY, 0), kSucceeded);
    EXPECT_EQ(flags(file), kWritable);
    EXPECT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_WRITABLE, 0), kSucceeded);
    EXPECT_EQ(flags(file), kReadOnly);
    EXPECT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_WRITABLE, 1), kSucceeded);
    EXPECT_EQ(flags(file), kWritable);
}

TEST_F(AttributeTest, AnyNonZeroValueCountsAsOne) {
    EXPECT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_READONLY, -1), kSucceeded);
    EXPECT_EQ(flags(file), kReadOnly);
    EXPECT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_WRITABLE, 0x100), kSucceeded);
    EXPECT_EQ(flags(file), kWritable);
}

TEST_F(AttributeTest, SettingTheStateAFileHasSucceeds) {
    EXPECT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_WRITABLE, 1), kSucceeded);
    EXPECT_EQ(flags(file), kWritable);
    EXPECT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_READONLY, 1), kSucceeded);
    EXPECT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_READONLY, 1), kSucceeded);
    EXPECT_EQ(flags(file), kReadOnly);
}

TEST_F(AttributeTest, AReadOnlyFileCannotBeOpenedForWriting) {
    ASSERT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_READONLY, 1), kSucceeded);
    cFileHandle handle = CFILE_INVALID_HANDLE;
    EXPECT_EQ(cFileOpen(file.c_str(), CFILE_ACCESS_WRITE, &handle), kAccessDenied);
    EXPECT_EQ(qtest::readFile(file), "0123456789");
    ASSERT_EQ(cFileOpen(file.c_str(), CFILE_ACCESS_READ, &handle), 0u);
    EXPECT_EQ(cFileClose(handle), 0u);
}

// A read-only directory cannot be removed, but what lies inside it can be
// created and removed as before.
TEST_F(AttributeTest, ADirectoryKeepsItsReadOnlyAttribute) {
    if (qtest::runningUnderWine()) {
        GTEST_SKIP() << "Wine drops a directory's read-only attribute; Windows keeps it";
    }
    EXPECT_EQ(flags(sub), kWritable);
    ASSERT_EQ(cFileSetAttribute(sub.c_str(), CFILE_ATTR_READONLY, 1), kSucceeded);
    EXPECT_EQ(flags(sub), kReadOnly);
    EXPECT_EQ(cFileSetAttribute(sub.c_str(), CFILE_ATTR_WRITABLE, 0), kSucceeded);
    EXPECT_EQ(flags(sub), kReadOnly);
    EXPECT_EQ(cFileRemoveDir(sub.c_str()), kAccessDenied);
    EXPECT_TRUE(qtest::exists(sub));

    std::string inner = dir.path("sub/new.txt");
    cFileHandle handle = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileCreate(inner.c_str(), CFILE_ACCESS_READWRITE, 0, &handle), 0u);
    uint32_t count = 0;
    EXPECT_EQ(cFileWrite(handle, "x", 1, &count), 0u);
    EXPECT_EQ(cFileClose(handle), 0u);
    EXPECT_EQ(qtest::readFile(inner), "x");
    EXPECT_EQ(cFileRemove(inner.c_str()), 0u);
    std::string innerDirectory = dir.path("sub/inner");
    EXPECT_EQ(cFileCreateDir(innerDirectory.c_str()), 0u);
    EXPECT_EQ(cFileRemoveDir(innerDirectory.c_str()), 0u);

    ASSERT_EQ(cFileSetAttribute(sub.c_str(), CFILE_ATTR_READONLY, 0), kSucceeded);
    EXPECT_EQ(flags(sub), kWritable);
    EXPECT_EQ(cFileRemoveDir(sub.c_str()), 0u);
    EXPECT_FALSE(qtest::exists(sub));
}

TEST_F(AttributeTest, MissingPathsFail) {
    std::string missing = dir.path("missing.txt");
    int16_t flag = 7;
    EXPECT_EQ(cFileGetAttribute(missing.c_str(), CFILE_ATTR_READONLY, &flag), kFailed);
    EXPECT_EQ(cFileSetAttribute(missing.c_str(), CFILE_ATTR_READONLY, 1), kFailed);
    EXPECT_EQ(cFileSetAttribute(missing.c_str(), CFILE_ATTR_WRITABLE, 1), kFailed);
    int32_t time = 7;
    EXPECT_EQ(cFileGetTime(missing.c_str(), CFILE_ATTR_READONLY, &time), kFailed);
    EXPECT_EQ(time, 7);
    EXPECT_FALSE(qtest::exists(missing));
}

TEST_F(AttributeTest, TimeOfANewFileIsNowWhicheverSelector) {
    std::time_t before = std::time(nullptr);
    std::string fresh = dir.path("fresh.txt");
    qtest::writeFile(fresh, "x");
    std::time_t after = std::time(nullptr);
    int32_t byReadOnly = 0, byWritable = 0;
    EXPECT_EQ(cFileGetTime(fresh.c_str(), CFILE_ATTR_READONLY, &byReadOnly), kSucceeded);
    EXPECT_EQ(cFileGetTime(fresh.c_str(), CFILE_ATTR_WRITABLE, &byWritable), kSucceeded);
    EXPECT_EQ(byReadOnly, byWritable);
    // Whole seconds of a clock that may run a little apart from the file system's.
    EXPECT_GE(byReadOnly, int32_t(before) - 2);
    EXPECT_LE(byReadOnly, int32_t(after) + 2);
}

TEST_F(AttributeTest, ADirectoryHasATime) {
    int32_t time = 0;
    EXPECT_EQ(cFileGetTime(sub.c_str(), CFILE_ATTR_READONLY, &time), kSucceeded);
    EXPECT_GT(time, 0);
}

}  // namespace

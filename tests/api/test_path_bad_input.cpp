// Bad input to the path operations and queries: null and empty paths in
// every position, overlong paths, unknown selectors. None may crash; each
// answers its status and leaves the disk as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>

#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

namespace fs = std::filesystem;

using namespace qtest::words;

namespace {

constexpr int32_t kFailed = 1;

// An overlong new name for a rename: Wine answers 2 (Windows itself has not
// been measured); Linux names the overlong path.
#ifdef _WIN32
constexpr cFileStatus kRenameTargetTooLong = kFileNotFound;
#else
constexpr cFileStatus kRenameTargetTooLong = kNameTooLong;
#endif

// Every name under a directory with its size and permissions.
std::map<std::string, std::string> snapshot(const std::string& root) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string description =
            std::to_string(static_cast<unsigned>(entry.status().permissions()));
        if (entry.is_regular_file()) description += " " + std::to_string(entry.file_size());
        entries[entry.path().string()] = description;
    }
    return entries;
}

// Works in a scratch directory made current, so that relative names of any
// length mean the same on every platform.
class BadInputTest : public ::testing::Test {
protected:
    qtest::TempDir dir;
    fs::path previous;
    std::map<std::string, std::string> before;

    void SetUp() override {
        qtest::writeFile(dir.path("file.txt"), "0123456789");
        fs::create_directory(dir.path("sub"));
        previous = fs::current_path();
        fs::current_path(dir.root());
        before = snapshot(dir.root());
    }
    void TearDown() override {
        fs::current_path(previous);
        EXPECT_EQ(snapshot(dir.root()), before) << "the disk changed";
    }
};

// One name of `length` bytes: longer than any platform takes.
std::string overlongName(size_t length) { return std::string(length, 'n'); }

TEST_F(BadInputTest, NullPathsAndPointersAreInvalidArguments) {
    uint32_t size = 0xAAAA;
    int16_t flag = 7;
    EXPECT_EQ(cFileRemove(nullptr), kInvalidArg);
    EXPECT_EQ(cFileRename(nullptr, "x"), kInvalidArg);
    EXPECT_EQ(cFileRename("file.txt", nullptr), kInvalidArg);
    EXPECT_EQ(cFileRename(nullptr, nullptr), kInvalidArg);
    EXPECT_EQ(cFileCreateDir(nullptr), kInvalidArg);
    EXPECT_EQ(cFileRemoveDir(nullptr), kInvalidArg);
    EXPECT_EQ(cFileGetSize(nullptr, &size), kInvalidArg);
    EXPECT_EQ(cFileGetSize("file.txt", nullptr), kInvalidArg);
    EXPECT_EQ(cFileIsExist(nullptr, &flag), kInvalidArg);
    EXPECT_EQ(cFileIsExist("file.txt", nullptr), kInvalidArg);
    EXPECT_EQ(cFileGetDiskFree(nullptr, &size), kInvalidArg);
    EXPECT_EQ(cFileGetDiskFree("file.txt", nullptr), kInvalidArg);
    EXPECT_EQ(cFileGetCurrentDir(nullptr), kInvalidArg);
    EXPECT_EQ(cFileGetTempDir(nullptr), kInvalidArg);
    EXPECT_EQ(size, 0xAAAAu);
    EXPECT_EQ(flag, 7);
}

TEST_F(BadInputTest, NullsMakeTheAttributeAndTimeCallsFail) {
    int16_t flag = 7;
    int32_t time = 7;
    EXPECT_EQ(cFileGetAttribute(nullptr, CFILE_ATTR_READONLY, &flag), kFailed);
    EXPECT_EQ(cFileGetAttribute("file.txt", CFILE_ATTR_READONLY, nullptr), kFailed);
    EXPECT_EQ(cFileSetAttribute(nullptr, CFILE_ATTR_READONLY, 1), kFailed);
    EXPECT_EQ(cFileGetTime(nullptr, CFILE_ATTR_READONLY, &time), kFailed);
    EXPECT_EQ(cFileGetTime("file.txt", CFILE_ATTR_WRITABLE, nullptr), kFailed);
    EXPECT_EQ(flag, 7);
    EXPECT_EQ(time, 7);
}

TEST_F(BadInputTest, EmptyPathsInEveryPosition) {
    uint32_t size = 0xAAAA;
    EXPECT_EQ(cFileRemove(""), kInvalidArg);
    EXPECT_EQ(cFileGetSize("", &size), kInvalidArg);
    EXPECT_EQ(size, 0xAAAAu);
    EXPECT_EQ(cFileGetDiskFree("", &size), kInvalidArg);
    EXPECT_EQ(size, 0xAAAAu);
    // These hand the empty name to the platform, which refuses it.
    EXPECT_EQ(cFileRename("", "c.txt"), kPathNotFound);
    EXPECT_EQ(cFileRename("file.txt", ""), kPathNotFound);
    EXPECT_EQ(cFileRename("", ""), kPathNotFound);
    EXPECT_EQ(cFileCreateDir(""), kPathNotFound);
    EXPECT_EQ(cFileRemoveDir(""), kInvalidName);
    int16_t flag = 7;
    EXPECT_EQ(cFileIsExist("", &flag), 0u);
    EXPECT_EQ(flag, 0);
    int32_t time = 7;
    EXPECT_EQ(cFileGetAttribute("", CFILE_ATTR_READONLY, &flag), kFailed);
    EXPECT_EQ(cFileSetAttribute("", CFILE_ATTR_READONLY, 1), kFailed);
    EXPECT_EQ(cFileSetAttribute("", CFILE_ATTR_WRITABLE, 1), kFailed);
    EXPECT_EQ(cFileGetTime("", CFILE_ATTR_READONLY, &time), kFailed);
    EXPECT_EQ(time, 7);
}

TEST_F(BadInputTest, OverlongPathsAreRefusedAsTooLong) {
    for (size_t length : {size_t(261), size_t(4096), size_t(70000)}) {
        SCOPED_TRACE(length);
        std::string name = overlongName(length);
        const char* path = name.c_str();
        EXPECT_EQ(cFileRemove(path), kNameTooLong);
        EXPECT_EQ(cFileRename(path, "c.txt"), kNameTooLong);
        EXPECT_EQ(cFileRename("file.txt", path), kRenameTargetTooLong);
        EXPECT_EQ(cFileCreateDir(path), kNameTooLong);
        EXPECT_EQ(cFileRemoveDir(path), kNameTooLong);
        uint32_t size = 0xAAAA;
        EXPECT_EQ(cFileGetSize(path, &size), kNameTooLong);
        EXPECT_EQ(size, 0u);
        int16_t flag = 7;
        EXPECT_EQ(cFileIsExist(path, &flag), 0u);
        EXPECT_EQ(flag, 0);
        int32_t time = 7;
        EXPECT_EQ(cFileGetAttribute(path, CFILE_ATTR_READONLY, &flag), kFailed);
        EXPECT_EQ(cFileSetAttribute(path, CFILE_ATTR_READONLY, 1), kFailed);
        EXPECT_EQ(cFileGetTime(path, CFILE_ATTR_READONLY, &time), kFailed);
        EXPECT_EQ(time, 7);
        // A refused path may still be measured (on POSIX always, on the
        // current directory's volume); the free space is stored only then.
        uint32_t freeBytes = 0xAAAA;
        cFileStatus status = cFileGetDiskFree(path, &freeBytes);
        EXPECT_NE(status, 0u);
        if (status == kFileNotFound) {
            EXPECT_NE(freeBytes, 0u);
        } else {
            EXPECT_EQ(freeBytes, 0u);
        }
    }
}

TEST_F(BadInputTest, OverlongPathsUnderADirectoryAreRefusedToo) {
    for (size_t length : {size_t(4096), size_t(70000)}) {
        SCOPED_TRACE(length);
        std::string name = "sub/" + overlongName(length);
        uint32_t size = 0xAAAA;
        EXPECT_EQ(cFileGetSize(name.c_str(), &size), kNameTooLong);
        EXPECT_EQ(cFileRemove(name.c_str()), kNameTooLong);
        EXPECT_EQ(cFileCreateDir(name.c_str()), kNameTooLong);
        EXPECT_EQ(cFileRename("file.txt", name.c_str()), kRenameTargetTooLong);
    }
}

TEST_F(BadInputTest, UnknownSelectorsFailAndTouchNothing) {
    for (uint16_t selector : std::initializer_list<uint16_t>{0, 2, 3, 5, 0xFFFF}) {
        SCOPED_TRACE(selector);
        int16_t flag = 7;
        int32_t time = 7;
        EXPECT_EQ(cFileGetAttribute("file.txt", selector, &flag), kFailed);
        EXPECT_EQ(cFileSetAttribute("file.txt", selector, 1), kFailed);
        EXPECT_EQ(cFileSetAttribute("file.txt", selector, 0), kFailed);
        EXPECT_EQ(cFileGetTime("file.txt", selector, &time), kFailed);
        EXPECT_EQ(flag, 7);
        EXPECT_EQ(time, 7);
        // Not even a missing path is looked at.
        EXPECT_EQ(cFileGetAttribute("missing", selector, &flag), kFailed);
        EXPECT_EQ(flag, 7);
    }
}

// Hosts written in other languages may pass the 16-bit arguments in wider
// registers or stack slots; only the low 16 bits count. The calls go through
// pointers of the wider type on purpose.
using WideGetAttribute = int32_t(QORVEL_CALL*)(const char*, uint32_t, int16_t*);
using WideSetAttribute = int32_t(QORVEL_CALL*)(const char*, uint32_t, uint32_t);
using WideGetTime = int32_t(QORVEL_CALL*)(const char*, uint32_t, int32_t*);

// The same entry point under a wider type (through the generic function
// pointer type, which the compiler accepts as a bridge).
template <typename Wide, typename Narrow>
Wide widened(Narrow* function) {
    return reinterpret_cast<Wide>(reinterpret_cast<void (*)()>(function));
}

TEST_F(BadInputTest, OnlyTheLowSixteenBitsOfSelectorAndValueCount) {
    auto getAttribute = widened<WideGetAttribute>(&cFileGetAttribute);
    auto setAttribute = widened<WideSetAttribute>(&cFileSetAttribute);
    auto getTime = widened<WideGetTime>(&cFileGetTime);
    int16_t flag = 7;
    EXPECT_EQ(getAttribute("file.txt", 0x10001, &flag), 0);
    EXPECT_EQ(flag, 0);  // 0x10001 is selector 1: not read-only
    int32_t time = 7;
    EXPECT_EQ(getTime("file.txt", 0x10004, &time), 0);
    EXPECT_NE(time, 7);
    // Selector 1 with the value 0x10000, which counts as 0: writable.
    EXPECT_EQ(setAttribute("file.txt", 0x10001, 0x10000), 0);
    EXPECT_EQ(cFileGetAttribute("file.txt", CFILE_ATTR_READONLY, &flag), 0);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(getAttribute("file.txt", 0x10002, &flag), kFailed);
}

}  // namespace

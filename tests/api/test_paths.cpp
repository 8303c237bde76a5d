// Removing, renaming, making and removing directories, existence and size by
// name: the answers hosts get on every platform.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fixtures.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

namespace fs = std::filesystem;

using namespace qtest::words;

namespace {

constexpr unsigned kReadSharingAll = CFILE_ACCESS_READ | CFILE_SHARE_READWRITE;
constexpr unsigned kWriteSharingAll = CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE;
// Two access bits at once grant no data access at all.
constexpr unsigned kNoDataAccess = CFILE_ACCESS_READ | CFILE_ACCESS_WRITE;

class PathTest : public qtest::FileAndDirectoryTest {
protected:
    std::string at(const std::string& name) const { return dir.path(name); }
};

// ---- cFileRemove ------------------------------------------------------------

TEST_F(PathTest, RemoveDeletesAFile) {
    EXPECT_EQ(cFileRemove(file.c_str()), 0u);
    EXPECT_FALSE(qtest::exists(file));
}

TEST_F(PathTest, RemoveTellsAMissingFileFromAMissingDirectory) {
    EXPECT_EQ(cFileRemove(at("missing.txt").c_str()), kFileNotFound);
    EXPECT_EQ(cFileRemove(at("nodir/x.txt").c_str()), kPathNotFound);
}

TEST_F(PathTest, RemoveRefusesADirectory) {
    EXPECT_EQ(cFileRemove(sub.c_str()), kAccessDenied);
    EXPECT_TRUE(fs::is_directory(sub));
}

TEST_F(PathTest, RemoveRefusesAReadOnlyFileForEveryUser) {
    ASSERT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_READONLY, 1), 0);
    EXPECT_EQ(cFileRemove(file.c_str()), kAccessDenied);
    EXPECT_EQ(qtest::readFile(file), "0123456789");
    ASSERT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_READONLY, 0), 0);
    EXPECT_EQ(cFileRemove(file.c_str()), 0u);
}

TEST_F(PathTest, RemoveOfAFileOpenElsewhereIsASharingViolation) {
    for (unsigned mode : {kReadSharingAll, kWriteSharingAll}) {
        qtest::Child other;
        int32_t handle = -1;
        ASSERT_EQ(other.open("open", file, mode, &handle), 0u);
        EXPECT_EQ(cFileRemove(file.c_str()), kSharingViolation) << "mode " << mode;
        EXPECT_EQ(qtest::readFile(file), "0123456789");
        EXPECT_EQ(other.status("close " + std::to_string(handle)), 0u);
    }
    EXPECT_EQ(cFileRemove(file.c_str()), 0u);
    EXPECT_FALSE(qtest::exists(file));
}

TEST_F(PathTest, RemoveOfAFileOpenInThisProcessIsASharingViolation) {
    cFileHandle handle = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileOpen(file.c_str(), CFILE_ACCESS_READ | CFILE_SHARE_READWRITE, &handle), 0u);
    EXPECT_EQ(cFileRemove(file.c_str()), kSharingViolation);
    EXPECT_EQ(cFileClose(handle), 0u);
    EXPECT_EQ(cFileRemove(file.c_str()), 0u);
}

TEST_F(PathTest, AnOpenWithoutDataAccessDoesNotKeepAFile) {
    qtest::Child other;
    int32_t handle = -1;
    ASSERT_EQ(other.open("open", file, kNoDataAccess, &handle), 0u);
    EXPECT_EQ(cFileRemove(file.c_str()), 0u);
    EXPECT_EQ(other.status("close " + std::to_string(handle)), 0u);
    EXPECT_FALSE(qtest::exists(file));
}

// ---- cFileRename ------------------------------------------------------------

TEST_F(PathTest, RenameMovesAFile) {
    std::string target = at("sub/moved.txt");
    EXPECT_EQ(cFileRename(file.c_str(), target.c_str()), 0u);
    EXPECT_FALSE(qtest::exists(file));
    EXPECT_EQ(qtest::readFile(target), "0123456789");
}

TEST_F(PathTest, RenameNeverReplaces) {
    std::string other = at("other.txt");
    qtest::writeFile(other, "other");
    EXPECT_EQ(cFileRename(file.c_str(), other.c_str()), kAlreadyExists);
    EXPECT_EQ(cFileRename(file.c_str(), sub.c_str()), kAlreadyExists);
    EXPECT_EQ(cFileRename(sub.c_str(), other.c_str()), kAlreadyExists);
    EXPECT_EQ(qtest::readFile(file), "0123456789");
    EXPECT_EQ(qtest::readFile(other), "other");
    EXPECT_TRUE(fs::is_empty(sub));
}

TEST_F(PathTest, RenameRefusesAReadOnlyTargetLikeAnyOther) {
    std::string other = at("other.txt");
    qtest::writeFile(other, "other");
    ASSERT_EQ(cFileSetAttribute(other.c_str(), CFILE_ATTR_READONLY, 1), 0);
    EXPECT_EQ(cFileRename(file.c_str(), other.c_str()), kAlreadyExists);
    EXPECT_EQ(qtest::readFile(other), "other");
}

TEST_F(PathTest, RenameToTheSameNameSucceedsAndChangesNothing) {
    EXPECT_EQ(cFileRename(file.c_str(), file.c_str()), 0u);
    std::string sameThroughSub = at("sub/../file.txt");
    EXPECT_EQ(cFileRename(file.c_str(), sameThroughSub.c_str()), 0u);
    EXPECT_EQ(qtest::readFile(file), "0123456789");
}

TEST_F(PathTest, RenameOfAMissingSourceOrIntoAMissingDirectory) {
    EXPECT_EQ(cFileRename(at("missing.txt").c_str(), at("c.txt").c_str()), kFileNotFound);
    EXPECT_EQ(cFileRename(at("nodir/m.txt").c_str(), at("c.txt").c_str()), kPathNotFound);
    EXPECT_EQ(cFileRename(file.c_str(), at("nodir/c.txt").c_str()), kPathNotFound);
    EXPECT_EQ(qtest::readFile(file), "0123456789");
}

TEST_F(PathTest, RenameKeepsAReadOnlySourceReadOnly) {
    ASSERT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_READONLY, 1), 0);
    std::string target = at("ro2.txt");
    EXPECT_EQ(cFileRename(file.c_str(), target.c_str()), 0u);
    int16_t readOnly = 0;
    EXPECT_EQ(cFileGetAttribute(target.c_str(), CFILE_ATTR_READONLY, &readOnly), 0);
    EXPECT_EQ(readOnly, 1);
}

TEST_F(PathTest, RenameMovesDirectoriesButNotIntoThemselves) {
    std::string inner = at("sub/inner");
    fs::create_directory(inner);
    EXPECT_EQ(cFileRename(sub.c_str(), at("sub/inner/sub").c_str()), kInvalidParameter);
    EXPECT_EQ(cFileRename(sub.c_str(), at("renamed").c_str()), 0u);
    EXPECT_TRUE(fs::is_directory(at("renamed/inner")));
}

TEST_F(PathTest, RenameOfAFileOpenElsewhereIsASharingViolation) {
    qtest::Child other;
    int32_t handle = -1;
    ASSERT_EQ(other.open("open", file, kWriteSharingAll, &handle), 0u);
    std::string target = at("moved.txt");
    EXPECT_EQ(cFileRename(file.c_str(), target.c_str()), kSharingViolation);
    EXPECT_FALSE(qtest::exists(target));
    EXPECT_EQ(other.status("close " + std::to_string(handle)), 0u);
    EXPECT_EQ(cFileRename(file.c_str(), target.c_str()), 0u);
}

TEST_F(PathTest, ASecondProcessCannotRenameWhatThisOneHoldsOpen) {
    cFileHandle handle = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileOpen(file.c_str(), CFILE_ACCESS_READ | CFILE_SHARE_READWRITE, &handle), 0u);
    qtest::Child other;
    std::string target = at("moved.txt");
    EXPECT_EQ(other.status("rename " + file + " " + target), kSharingViolation);
    EXPECT_EQ(other.status("remove " + file), kSharingViolation);
    EXPECT_EQ(cFileClose(handle), 0u);
    EXPECT_EQ(other.status("rename " + file + " " + target), 0u);
    EXPECT_EQ(qtest::readFile(target), "0123456789");
}

// ---- cFileCreateDir, cFileRemoveDir --------------------------------------------

TEST_F(PathTest, CreateDirMakesADirectory) {
    std::string made = at("made");
    EXPECT_EQ(cFileCreateDir(made.c_str()), 0u);
    EXPECT_TRUE(fs::is_directory(made));
    std::string withSeparator = at("trailing") + static_cast<char>(fs::path::preferred_separator);
    EXPECT_EQ(cFileCreateDir(withSeparator.c_str()), 0u);
    EXPECT_TRUE(fs::is_directory(at("trailing")));
}

TEST_F(PathTest, CreateDirOfAnExistingNameOrUnderAMissingOne) {
    EXPECT_EQ(cFileCreateDir(sub.c_str()), kAlreadyExists);
    EXPECT_EQ(cFileCreateDir(file.c_str()), kAlreadyExists);
    EXPECT_EQ(cFileCreateDir(at("nodir/new").c_str()), kPathNotFound);
    EXPECT_EQ(cFileCreateDir(at("file.txt/sub").c_str()), kPathNotFound);
    EXPECT_EQ(qtest::readFile(file), "0123456789");
}

TEST_F(PathTest, RemoveDirRemovesAnEmptyDirectory) {
    EXPECT_EQ(cFileRemoveDir(sub.c_str()), 0u);
    EXPECT_FALSE(qtest::exists(sub));
}

TEST_F(PathTest, RemoveDirRefusesWhatItMustNotRemove) {
    qtest::writeFile(at("sub/inner.txt"), "x");
    EXPECT_EQ(cFileRemoveDir(sub.c_str()), kDirNotEmpty);
    EXPECT_EQ(cFileRemoveDir(file.c_str()), kIsDirectory);
    EXPECT_EQ(cFileRemoveDir(at("missing").c_str()), kFileNotFound);
    EXPECT_EQ(cFileRemoveDir(at("nodir/x").c_str()), kPathNotFound);
    EXPECT_EQ(qtest::readFile(at("sub/inner.txt")), "x");
    EXPECT_EQ(qtest::readFile(file), "0123456789");
}

TEST_F(PathTest, RemoveDirKeepsTheCurrentDirectory) {
    fs::path previous = fs::current_path();
    fs::current_path(sub);
    cFileStatus byDot = cFileRemoveDir(".");
    cFileStatus byName = cFileRemoveDir(sub.c_str());
    fs::current_path(previous);
    EXPECT_EQ(byDot, kSharingViolation);
    EXPECT_EQ(byName, kSharingViolation);
    EXPECT_TRUE(fs::is_directory(sub));
}

// ---- cFileIsExist -------------------------------------------------------------

TEST_F(PathTest, IsExistAnswersThroughTheFlagOnly) {
    int16_t flag = 7;
    EXPECT_EQ(cFileIsExist(file.c_str(), &flag), 0u);
    EXPECT_EQ(flag, 1);
    flag = 7;
    EXPECT_EQ(cFileIsExist(sub.c_str(), &flag), 0u);
    EXPECT_EQ(flag, 1);
    flag = 7;
    EXPECT_EQ(cFileIsExist(at("missing.txt").c_str(), &flag), 0u);
    EXPECT_EQ(flag, 0);
    flag = 7;
    EXPECT_EQ(cFileIsExist(at("nodir/x").c_str(), &flag), 0u);
    EXPECT_EQ(flag, 0);
    flag = 7;
    EXPECT_EQ(cFileIsExist("", &flag), 0u);
    EXPECT_EQ(flag, 0);
}

// ---- cFileGetSize ---------------------------------------------------------------

TEST_F(PathTest, GetSizeIsTheLength) {
    uint32_t size = 0xAAAA;
    EXPECT_EQ(cFileGetSize(file.c_str(), &size), 0u);
    EXPECT_EQ(size, 10u);
    std::string empty = at("empty.txt");
    qtest::writeFile(empty, "");
    size = 0xAAAA;
    EXPECT_EQ(cFileGetSize(empty.c_str(), &size), 0u);
    EXPECT_EQ(size, 0u);
    std::string big = at("big.txt");
    qtest::writeFile(big, std::string(5000, 'b'));
    EXPECT_EQ(cFileGetSize(big.c_str(), &size), 0u);
    EXPECT_EQ(size, 5000u);
}

TEST_F(PathTest, GetSizeOfADirectoryIsZero) {
    uint32_t size = 0xAAAA;
    EXPECT_EQ(cFileGetSize(sub.c_str(), &size), 0u);
    EXPECT_EQ(size, 0u);
}

TEST_F(PathTest, GetSizeOfAMissingFileLeavesZero) {
    uint32_t size = 0xAAAA;
    EXPECT_EQ(cFileGetSize(at("missing.txt").c_str(), &size), kFileNotFound);
    EXPECT_EQ(size, 0u);
    size = 0xAAAA;
    EXPECT_EQ(cFileGetSize(at("nodir/x").c_str(), &size), kPathNotFound);
    EXPECT_EQ(size, 0u);
}

// A size that does not fit 32 bits is refused, not reported as its low part:
// an append at that offset would overwrite the file's middle.
TEST_F(PathTest, GetSizeRefusesFilesOf4GiBOrMore) {
    std::string sparse = at("sparse.bin");
    qtest::writeFile(sparse, "");
    const uint64_t sizes[] = {0xFFFFFFFFull, 0x100000000ull, 0x100000000ull + 10, 5ull << 30};
    for (uint64_t length : sizes) {
        fs::resize_file(sparse, length);
        uint32_t size = 0xAAAA;
        EXPECT_EQ(cFileGetSize(sparse.c_str(), &size), kFileTooLarge) << length;
        EXPECT_EQ(size, 0u) << length;
    }
    fs::resize_file(sparse, 0xFFFFFFFEull);
    uint32_t size = 0;
    EXPECT_EQ(cFileGetSize(sparse.c_str(), &size), 0u);
    EXPECT_EQ(size, 0xFFFFFFFEu);
}

// ---- Names with bytes 0x80-0xFF ----------------------------------------------------

TEST_F(PathTest, NamesWithHighBytesWorkThroughEveryOperation) {
    std::string high;
    for (int c = 0x80; c <= 0xFF; ++c) high += static_cast<char>(c);
    std::string folder = at("d" + high.substr(0, 64));
    std::string name =
        folder + static_cast<char>(fs::path::preferred_separator) + "f" + high.substr(64);
    std::string renamed =
        folder + static_cast<char>(fs::path::preferred_separator) + "g" + high.substr(64);
    ASSERT_EQ(cFileCreateDir(folder.c_str()), 0u);
    cFileHandle handle = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileCreate(name.c_str(), CFILE_ACCESS_WRITE, 0, &handle), 0u);
    uint32_t written = 0;
    EXPECT_EQ(cFileWrite(handle, "abc", 3, &written), 0u);
    EXPECT_EQ(cFileClose(handle), 0u);
    int16_t flag = 0;
    EXPECT_EQ(cFileIsExist(name.c_str(), &flag), 0u);
    EXPECT_EQ(flag, 1);
    uint32_t size = 0;
    EXPECT_EQ(cFileGetSize(name.c_str(), &size), 0u);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(cFileRename(name.c_str(), renamed.c_str()), 0u);
    EXPECT_EQ(cFileGetAttribute(renamed.c_str(), CFILE_ATTR_WRITABLE, &flag), 0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(cFileRemove(renamed.c_str()), 0u);
    EXPECT_EQ(cFileRemoveDir(folder.c_str()), 0u);
    EXPECT_FALSE(qtest::exists(folder));
}

}  // namespace

// What the path operations do on POSIX systems where Windows has no
// counterpart to compare with: moves between filesystems, permission bits,
// birth times, time zones, TMPDIR, long paths and current directories.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

#include "process.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

namespace fs = std::filesystem;

using namespace qtest::words;

namespace {

mode_t modeOf(const std::string& path) {
    struct stat status;
    EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

dev_t deviceOf(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? status.st_dev : dev_t(-1);
}

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        hadValue_ = old != nullptr;
        if (hadValue_) old_ = old;
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (hadValue_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    bool hadValue_ = false;
    std::string old_;
};

// A directory path of exactly `length` bytes under `root`, made on disk.
std::string makeDirectoryOfLength(const std::string& root, size_t length) {
    std::string path = root;
    while (path.size() < length) {
        size_t room = length - path.size() - 1;  // for the separator
        path += "/" + std::string(std::min<size_t>(room, 200), 'd');
        if (path.size() + 1 == length) path += "e";  // no component of length 0
        fs::create_directory(path);
    }
    EXPECT_EQ(path.size(), length);
    return path;
}

// ---- Moves to another filesystem ---------------------------------------------

class CrossFilesystemTest : public ::testing::Test {
protected:
    qtest::TempDir dir;
    std::string other;

    void SetUp() override {
        if (!fs::is_directory("/dev/shm") || deviceOf("/dev/shm") == deviceOf(dir.root())) {
            GTEST_SKIP() << "no second filesystem at /dev/shm";
        }
        char name[] = "/dev/shm/qorvel-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        other = name;
    }
    void TearDown() override {
        if (!other.empty()) fs::remove_all(other);
    }
    bool hiddenCopiesLeft(const std::string& directory) {
        for (const auto& entry : fs::directory_iterator(directory)) {
            if (entry.path().filename().string().rfind(".qorvel", 0) == 0) return true;
        }
        return false;
    }
};

TEST_F(CrossFilesystemTest, AFileMovesWithContentPermissionsAndTimes) {
    std::string source = dir.path("data.bin");
    std::string content;
    for (int i = 0; i < 300000; ++i) content += char('a' + i % 26);
    qtest::writeFile(source, content);
    chmod(source.c_str(), 0640);
    struct timespec times[2] = {{1000000000, 0}, {1200000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);

    std::string target = other + "/data.bin";
    EXPECT_EQ(cFileRename(source.c_str(), target.c_str()), 0u);
    EXPECT_FALSE(qtest::exists(source));
    struct stat status;
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_atim.tv_sec, 1000000000);
    EXPECT_EQ(status.st_mtim.tv_sec, 1200000000);
    EXPECT_EQ(status.st_mode & 07777, mode_t(0640));
    EXPECT_EQ(qtest::readFile(target), content);
    EXPECT_FALSE(hiddenCopiesLeft(other));
}

TEST_F(CrossFilesystemTest, AnEmptyAndAReadOnlyFileMoveToo) {
    std::string empty = dir.path("empty.txt");
    qtest::writeFile(empty, "");
    std::string readOnly = dir.path("ro.txt");
    qtest::writeFile(readOnly, "ro");
    ASSERT_EQ(cFileSetAttribute(readOnly.c_str(), CFILE_ATTR_READONLY, 1), 0);
    EXPECT_EQ(cFileRename(empty.c_str(), (other + "/empty.txt").c_str()), 0u);
    EXPECT_EQ(cFileRename(readOnly.c_str(), (other + "/ro.txt").c_str()), 0u);
    EXPECT_EQ(qtest::readFile(other + "/empty.txt"), "");
    EXPECT_EQ(qtest::readFile(other + "/ro.txt"), "ro");
    int16_t flag = 0;
    EXPECT_EQ(cFileGetAttribute((other + "/ro.txt").c_str(), CFILE_ATTR_READONLY, &flag), 0);
    EXPECT_EQ(flag, 1);
}

TEST_F(CrossFilesystemTest, AnExistingTargetIsNeverReplaced) {
    std::string source = dir.path("a.txt");
    qtest::writeFile(source, "source");
    std::string target = other + "/a.txt";
    qtest::writeFile(target, "target");
    EXPECT_EQ(cFileRename(source.c_str(), target.c_str()), kAlreadyExists);
    EXPECT_EQ(qtest::readFile(source), "source");
    EXPECT_EQ(qtest::readFile(target), "target");
    EXPECT_FALSE(hiddenCopiesLeft(other));
}

TEST_F(CrossFilesystemTest, ADirectoryDoesNotCross) {
    std::string source = dir.path("folder");
    fs::create_directory(source);
    qtest::writeFile(source + "/inside.txt", "x");
    EXPECT_EQ(cFileRename(source.c_str(), (other + "/folder").c_str()), kNotSameDevice);
    EXPECT_EQ(qtest::readFile(source + "/inside.txt"), "x");
    EXPECT_FALSE(qtest::exists(other + "/folder"));
}

TEST_F(CrossFilesystemTest, AMissingTargetDirectoryLeavesTheSource) {
    std::string source = dir.path("a.txt");
    qtest::writeFile(source, "source");
    EXPECT_EQ(cFileRename(source.c_str(), (other + "/nodir/a.txt").c_str()), kPathNotFound);
    EXPECT_EQ(qtest::readFile(source), "source");
}

TEST_F(CrossFilesystemTest, AnOpenFileDoesNotMove) {
    std::string source = dir.path("a.txt");
    qtest::writeFile(source, "source");
    qtest::Child holder;
    int32_t handle = -1;
    ASSERT_EQ(holder.open("open", source, CFILE_ACCESS_READ | CFILE_SHARE_READWRITE, &handle), 0u);
    EXPECT_EQ(cFileRename(source.c_str(), (other + "/a.txt").c_str()), kSharingViolation);
    EXPECT_EQ(qtest::readFile(source), "source");
    EXPECT_FALSE(qtest::exists(other + "/a.txt"));
}

// ---- Permission bits ------------------------------------------------------------

class PermissionTest : public ::testing::Test {
protected:
    qtest::TempDir dir;
    std::string file = dir.path("file.txt");
    void SetUp() override { qtest::writeFile(file, "content"); }
};

TEST_F(PermissionTest, ReadOnlyClearsEveryWriteBitAndNothingElse) {
    chmod(file.c_str(), 0775);
    ASSERT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_READONLY, 1), 0);
    EXPECT_EQ(modeOf(file), mode_t(0555));
}

TEST_F(PermissionTest, WritableSetsTheOwnerWriteBitOnly) {
    chmod(file.c_str(), 0444);
    ASSERT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_WRITABLE, 1), 0);
    EXPECT_EQ(modeOf(file), mode_t(0644));
}

TEST_F(PermissionTest, ReadOnlyMeansTheOwnerWriteBitIsClear) {
    int16_t flag = 7;
    chmod(file.c_str(), 0466);  // others may write; the owner may not
    EXPECT_EQ(cFileGetAttribute(file.c_str(), CFILE_ATTR_READONLY, &flag), 0);
    EXPECT_EQ(flag, 1);
    chmod(file.c_str(), 0200);
    EXPECT_EQ(cFileGetAttribute(file.c_str(), CFILE_ATTR_WRITABLE, &flag), 0);
    EXPECT_EQ(flag, 1);
}

TEST_F(PermissionTest, ReadOnlyHoldsForRootToo) {
    ASSERT_EQ(cFileSetAttribute(file.c_str(), CFILE_ATTR_READONLY, 1), 0);
    // Root may write any file; the library still refuses, as Windows does.
    EXPECT_EQ(cFileRemove(file.c_str()), kAccessDenied);
    EXPECT_EQ(qtest::readFile(file), "content");
}

// ---- Read-only directories -----------------------------------------------------

constexpr const char* kReadOnlyMark = "user.qorvel.readonly";
constexpr uid_t kNobody = 65534;

bool hasMark(const std::string& path) {
    return getxattr(path.c_str(), kReadOnlyMark, nullptr, 0) >= 0;
}

// Whether the filesystem holding `directory` keeps user extended attributes.
bool keepsUserAttributes(const std::string& directory) {
    std::string probe = directory + "/.probe";
    mkdir(probe.c_str(), 0700);
    bool kept = setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
    rmdir(probe.c_str());
    return kept;
}

// A directory inside `parent` made read-only by the library: it reads back
// read-only and is not removed, while files and directories inside are made
// and removed as before; made writable again, it is removed.
int useAReadOnlyDirectory(const std::string& parent) {
    std::string sub = parent + "/ro", inner = sub + "/inner.txt", innerDir = sub + "/inner";
    int16_t flag = 7;
    cFileHandle handle = CFILE_INVALID_HANDLE;
    uint32_t count = 0;
    if (cFileCreateDir(sub.c_str()) != 0) return 1;
    if (cFileSetAttribute(sub.c_str(), CFILE_ATTR_READONLY, 1) != 0) return 2;
    if (cFileGetAttribute(sub.c_str(), CFILE_ATTR_READONLY, &flag) != 0 || flag != 1) return 3;
    if (cFileRemoveDir(sub.c_str()) != kAccessDenied) return 4;
    if (cFileCreate(inner.c_str(), CFILE_ACCESS_READWRITE, 0, &handle) != 0) return 5;
    if (cFileWrite(handle, "x", 1, &count) != 0 || cFileClose(handle) != 0) return 6;
    if (cFileRemove(inner.c_str()) != 0) return 7;
    if (cFileCreateDir(innerDir.c_str()) != 0 || cFileRemoveDir(innerDir.c_str()) != 0) return 8;
    if (cFileGetAttribute(sub.c_str(), CFILE_ATTR_WRITABLE, &flag) != 0 || flag != 0) return 9;
    if (cFileSetAttribute(sub.c_str(), CFILE_ATTR_WRITABLE, 1) != 0) return 10;
    if (cFileGetAttribute(sub.c_str(), CFILE_ATTR_READONLY, &flag) != 0 || flag != 0) return 11;
    if (cFileRemoveDir(sub.c_str()) != 0) return 12;
    return 0;
}

// Where the filesystem keeps no user extended attributes, the owner-write
// bit stands in: the directory still reads back read-only and is not
// removed, but its owner, unless root, can no longer make anything in it.
int useAReadOnlyDirectoryWithoutMarks(const std::string& parent) {
    std::string sub = parent + "/ro", inner = sub + "/inner.txt";
    int16_t flag = 7;
    cFileHandle handle = CFILE_INVALID_HANDLE;
    if (cFileCreateDir(sub.c_str()) != 0) return 1;
    if (chmod(sub.c_str(), 0775) != 0) return 2;
    if (cFileSetAttribute(sub.c_str(), CFILE_ATTR_READONLY, 1) != 0) return 3;
    if (modeOf(sub) != 0575) return 4;
    if (cFileGetAttribute(sub.c_str(), CFILE_ATTR_READONLY, &flag) != 0 || flag != 1) return 5;
    if (cFileRemoveDir(sub.c_str()) != kAccessDenied) return 6;
    cFileStatus created = cFileCreate(inner.c_str(), CFILE_ACCESS_READWRITE, 0, &handle);
    if (created != (geteuid() == 0 ? 0u : kAccessDenied)) return 7;
    if (created == 0 && (cFileClose(handle) != 0 || cFileRemove(inner.c_str()) != 0)) return 8;
    if (cFileSetAttribute(sub.c_str(), CFILE_ATTR_READONLY, 0) != 0) return 9;
    if (modeOf(sub) != 0775) return 10;
    if (cFileRemoveDir(sub.c_str()) != 0) return 11;
    return 0;
}

// The directory `uid` owns inside `where`, for the body to work in.
std::string ownedDirectory(const std::string& where, uid_t uid) {
    std::string owned = where + "/user-" + std::to_string(uid);
    mkdir(owned.c_str(), 0755);
    EXPECT_EQ(chown(owned.c_str(), uid, uid == 0 ? 0 : kNobody), 0);
    return owned;
}

// Runs the read-only directory bodies that suit the filesystem at `where`,
// as root and as an unprivileged owner.
void checkReadOnlyDirectoriesOn(const std::string& where) {
    chmod(where.c_str(), 0755);
    bool marks = keepsUserAttributes(where);
    for (uid_t uid : {uid_t(0), kNobody}) {
        if (uid != 0 && geteuid() != 0) continue;
        std::string owned = ownedDirectory(where, uid);
        auto body = [&] {
            return marks ? useAReadOnlyDirectory(owned) : useAReadOnlyDirectoryWithoutMarks(owned);
        };
        // Answers 0, or the number of the step that failed.
        int failedStep = uid == 0 ? body() : qtest::asNobody(body);
        EXPECT_EQ(failedStep, 0) << "uid " << uid << (marks ? ", marks" : ", no marks");
    }
}

// A filesystem of its own, mounted for one test when the process may mount.
class ScopedMount {
public:
    ScopedMount(const std::string& where, const char* type) : path_(where) {
        mkdir(path_.c_str(), 0755);
        mounted_ = mount("qorvel-test", path_.c_str(), type, 0, nullptr) == 0;
    }
    ~ScopedMount() {
        if (mounted_) umount(path_.c_str());
    }
    bool mounted() const { return mounted_; }

private:
    std::string path_;
    bool mounted_ = false;
};

TEST_F(PermissionTest, ADirectoryIsMadeReadOnlyByAMarkNotByItsMode) {
    std::string sub = dir.path("sub");
    fs::create_directory(sub);
    chmod(sub.c_str(), 0755);
    if (!keepsUserAttributes(dir.root())) GTEST_SKIP() << "no user extended attributes here";
    ASSERT_EQ(cFileSetAttribute(sub.c_str(), CFILE_ATTR_READONLY, 1), 0);
    EXPECT_EQ(modeOf(sub), mode_t(0755));
    EXPECT_TRUE(hasMark(sub));
    ASSERT_EQ(cFileSetAttribute(sub.c_str(), CFILE_ATTR_READONLY, 0), 0);
    EXPECT_EQ(modeOf(sub), mode_t(0755));
    EXPECT_FALSE(hasMark(sub));
}

// The owner-write bit keeps meaning read-only for directories as for files,
// whoever cleared it; making the directory writable sets it again.
TEST_F(PermissionTest, ADirectoryWithoutTheOwnerWriteBitIsReadOnly) {
    std::string sub = dir.path("sub");
    fs::create_directory(sub);
    chmod(sub.c_str(), 0555);
    int16_t flag = 7;
    EXPECT_EQ(cFileGetAttribute(sub.c_str(), CFILE_ATTR_READONLY, &flag), 0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(cFileRemoveDir(sub.c_str()), kAccessDenied);
    ASSERT_EQ(cFileSetAttribute(sub.c_str(), CFILE_ATTR_WRITABLE, 1), 0);
    EXPECT_EQ(modeOf(sub), mode_t(0755));
    EXPECT_EQ(cFileRemoveDir(sub.c_str()), 0u);
}

// Another program may set the mark; only its presence counts.
TEST_F(PermissionTest, AMarkSetElsewhereMakesADirectoryReadOnly) {
    std::string sub = dir.path("sub");
    fs::create_directory(sub);
    if (setxattr(sub.c_str(), kReadOnlyMark, "", 0, 0) != 0) {
        GTEST_SKIP() << "no user extended attributes here";
    }
    int16_t flag = 7;
    EXPECT_EQ(cFileGetAttribute(sub.c_str(), CFILE_ATTR_WRITABLE, &flag), 0);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(cFileRemoveDir(sub.c_str()), kAccessDenied);
    EXPECT_TRUE(fs::is_directory(sub));
}

TEST(PosixReadOnlyDirectory, OnThisDisk) {
    qtest::TempDir dir;
    checkReadOnlyDirectoriesOn(dir.root());
}

TEST(PosixReadOnlyDirectory, OnTmpfs) {
    qtest::TempDir dir;
    ScopedMount volume(dir.path("tmpfs"), "tmpfs");
    if (!volume.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    checkReadOnlyDirectoriesOn(dir.path("tmpfs"));
}

// ramfs keeps no extended attributes at all: the owner-write bit stands in.
TEST(PosixReadOnlyDirectory, OnRamfsTheOwnerWriteBitStandsIn) {
    qtest::TempDir dir;
    ScopedMount volume(dir.path("ramfs"), "ramfs");
    if (!volume.mounted()) GTEST_SKIP() << "cannot mount a ramfs here";
    ASSERT_FALSE(keepsUserAttributes(dir.path("ramfs")));
    checkReadOnlyDirectoriesOn(dir.path("ramfs"));
}

TEST_F(PermissionTest, WildcardCharactersAreOrdinary) {
    std::string odd = dir.path("a*b?c");
    qtest::writeFile(odd, "x");
    int16_t flag = 7;
    int32_t time = 0;
    EXPECT_EQ(cFileGetAttribute(odd.c_str(), CFILE_ATTR_READONLY, &flag), 0);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(cFileGetTime(odd.c_str(), CFILE_ATTR_READONLY, &time), 0);
    EXPECT_EQ(cFileIsExist(odd.c_str(), &flag), 0u);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(cFileRemove(odd.c_str()), 0u);
}

// ---- Times ------------------------------------------------------------------------

TEST_F(PermissionTest, TheTimeIsTheBirthTimeNotTheLastWrite) {
    struct statx record;
    ASSERT_EQ(statx(AT_FDCWD, file.c_str(), 0, STATX_BTIME, &record), 0);
    struct timespec times[2] = {{946684800, 0}, {946684800, 0}};  // 2000-01-01
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    int32_t time = 0;
    ASSERT_EQ(cFileGetTime(file.c_str(), CFILE_ATTR_READONLY, &time), 0);
    if (record.stx_mask & STATX_BTIME) {
        EXPECT_EQ(time, int32_t(record.stx_btime.tv_sec));
    } else {
        EXPECT_EQ(time, 946684800);  // no birth time recorded: the last write
    }
}

TEST_F(PermissionTest, TheTimeIsTheSameInstantInEveryTimeZone) {
    int32_t reference = 0;
    ASSERT_EQ(cFileGetTime(file.c_str(), CFILE_ATTR_READONLY, &reference), 0);
    for (const char* zone :
         {"UTC0", "EST5EDT,M3.2.0,M11.1.0", "JST-9", "NZST-12NZDT,M9.5.0,M4.1.0/3"}) {
        ScopedEnvironment tz("TZ", zone);
        tzset();
        int32_t time = 0;
        EXPECT_EQ(cFileGetTime(file.c_str(), CFILE_ATTR_WRITABLE, &time), 0);
        EXPECT_EQ(time, reference) << zone;
    }
    tzset();
}

// ---- The temporary directory ---------------------------------------------------------

std::string tempDir() {
    char buffer[CFILE_DIR_BUFFER_SIZE];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(cFileGetTempDir(buffer), 0u);
    return buffer;
}

TEST(PosixTempDir, IsTmpdirWhenItNamesADirectory) {
    qtest::TempDir dir;
    {
        ScopedEnvironment tmpdir("TMPDIR", dir.root().c_str());
        EXPECT_EQ(tempDir(), dir.root() + "/");
    }
    {
        std::string slashes = dir.root() + "///";
        ScopedEnvironment tmpdir("TMPDIR", slashes.c_str());
        EXPECT_EQ(tempDir(), dir.root() + "/");
    }
    {
        ScopedEnvironment tmpdir("TMPDIR", "/");
        EXPECT_EQ(tempDir(), "/");
    }
}

TEST(PosixTempDir, IsTmpOtherwise) {
    qtest::TempDir dir;
    std::string file = dir.path("file");
    qtest::writeFile(file, "");
    std::string missing = dir.path("missing");
    for (const char* value :
         {static_cast<const char*>(nullptr), "", file.c_str(), missing.c_str()}) {
        ScopedEnvironment tmpdir("TMPDIR", value);
        EXPECT_EQ(tempDir(), "/tmp/") << (value ? value : "(unset)");
    }
}

TEST(PosixTempDir, ATmpdirOf259BytesFitsWithItsSeparator) {
    qtest::TempDir dir;
    std::string longest = makeDirectoryOfLength(dir.root(), 259);
    ScopedEnvironment tmpdir("TMPDIR", longest.c_str());
    EXPECT_EQ(tempDir(), longest + "/");
}

TEST(PosixTempDir, ATmpdirThatDoesNotFitIsAFailureAndWritesNothing) {
    qtest::TempDir dir;
    for (size_t length : {size_t(260), size_t(300), size_t(3000)}) {
        std::string tooLong = makeDirectoryOfLength(dir.root(), length);
        ScopedEnvironment tmpdir("TMPDIR", tooLong.c_str());
        char buffer[CFILE_DIR_BUFFER_SIZE];
        std::memset(buffer, 'X', sizeof buffer);
        EXPECT_EQ(cFileGetTempDir(buffer), kNameTooLong) << length;
        for (char c : buffer) ASSERT_EQ(c, 'X');
    }
}

// ---- The current directory -------------------------------------------------------------

class CurrentDirTest : public ::testing::Test {
protected:
    qtest::TempDir dir;
    fs::path previous = fs::current_path();
    void TearDown() override { fs::current_path(previous); }
};

TEST_F(CurrentDirTest, ADirectoryOf260BytesFits) {
    std::string longest = makeDirectoryOfLength(dir.root(), 260);
    fs::current_path(longest);
    char buffer[CFILE_DIR_BUFFER_SIZE];
    EXPECT_EQ(cFileGetCurrentDir(buffer), 0u);
    EXPECT_EQ(std::string(buffer), longest);
}

// Descends from the current directory, making directories of 200 bytes, until
// the current directory is longer than `length`; the kernel takes any depth
// this way, also beyond the longest path a single call takes.
void descendBeyond(size_t length) {
    std::string component(200, 'd');
    while (fs::current_path().string().size() <= length) {
        fs::create_directory(component);
        fs::current_path(component);
    }
}

TEST_F(CurrentDirTest, ADirectoryThatDoesNotFitIsAFailureAndWritesNothing) {
    for (size_t length : {size_t(261), size_t(6000)}) {
        if (length == 261) {
            fs::current_path(makeDirectoryOfLength(dir.root(), length));
        } else {
            fs::current_path(dir.root());
            descendBeyond(length);
        }
        char buffer[CFILE_DIR_BUFFER_SIZE];
        std::memset(buffer, 'X', sizeof buffer);
        EXPECT_EQ(cFileGetCurrentDir(buffer), kNameTooLong) << length;
        for (char c : buffer) ASSERT_EQ(c, 'X');
        fs::current_path(previous);
    }
}

TEST_F(CurrentDirTest, ARemovedCurrentDirectoryIsNotFound) {
    std::string gone = dir.path("gone");
    fs::create_directory(gone);
    fs::current_path(gone);
    fs::remove(gone);
    char buffer[CFILE_DIR_BUFFER_SIZE];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(cFileGetCurrentDir(buffer), kFileNotFound);
    EXPECT_EQ(buffer[0], 'X');
}

// ---- Paths Linux takes and Windows does not ------------------------------------------------

TEST(PosixLongPaths, PathsLongerThanWindowsTakesWork) {
    qtest::TempDir dir;
    std::string deep = makeDirectoryOfLength(dir.root(), 600);
    std::string file = deep + "/file.txt";
    qtest::writeFile(file, "0123456789");
    uint32_t size = 0;
    EXPECT_EQ(cFileGetSize(file.c_str(), &size), 0u);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(cFileRename(file.c_str(), (deep + "/moved.txt").c_str()), 0u);
    EXPECT_EQ(cFileRemove((deep + "/moved.txt").c_str()), 0u);
    EXPECT_EQ(cFileCreateDir((deep + "/new").c_str()), 0u);
    EXPECT_EQ(cFileRemoveDir((deep + "/new").c_str()), 0u);
}

TEST(PosixSizes, ASparseFileReportsItsLength) {
    qtest::TempDir dir;
    std::string sparse = dir.path("sparse.bin");
    qtest::writeFile(sparse, "");
    fs::resize_file(sparse, 100u << 20);
    uint32_t size = 0;
    EXPECT_EQ(cFileGetSize(sparse.c_str(), &size), 0u);
    EXPECT_EQ(size, 100u << 20);
}

// ---- Volumes ------------------------------------------------------------------------------

TEST(PosixDiskFree, AMissingPathIsMeasuredOnItsNearestExistingAncestor) {
    qtest::TempDir dir;
    std::string deepMissing = dir.path("no/such/place/file.txt");
    uint32_t freeBytes = 0;
    EXPECT_EQ(cFileGetDiskFree(deepMissing.c_str(), &freeBytes), kFileNotFound);
    EXPECT_NE(freeBytes, 0u);
    freeBytes = 0;
    EXPECT_EQ(cFileGetDiskFree("relative/missing/name", &freeBytes), kFileNotFound);
    EXPECT_NE(freeBytes, 0u);
    freeBytes = 0;
    EXPECT_EQ(cFileGetDiskFree("/no-such-top-level-directory/x", &freeBytes), kFileNotFound);
    EXPECT_NE(freeBytes, 0u);
}

TEST(PosixDiskFree, AFileUsedAsADirectoryIsMeasuredOnTheFilesVolume) {
    qtest::TempDir dir;
    std::string file = dir.path("file.txt");
    qtest::writeFile(file, "x");
    uint32_t freeBytes = 0;
    EXPECT_EQ(cFileGetDiskFree((file + "/below").c_str(), &freeBytes), kFileNotFound);
    EXPECT_NE(freeBytes, 0u);
}

}  // namespace

// The table "System calls of every export" in docs/io-and-locks.md, kept
// true: every row is measured here by counting the calls that reach the
// backend's system-call table, and every measured case has its row. The
// table is the one place the counts are written down; no other test repeats
// them.
//
// It has a column for each kind of local file system, and each is measured
// wherever this machine offers one: the temporary directory, /dev/shm and
// /var/tmp. A file system whose files report no block device (tmpfs,
// overlayfs, btrfs) costs every open one call more, the question whether
// other machines share it (shared_file_system.h). On a file system other
// machines do share, the close, the append and the locks do more
// (docs/distributed.md); the table does not describe it and the test skips.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "faults.h"
#include "platform/posix/shared_file_system.h"
#include "platform/posix/syscalls.h"
#include "qorvel.h"
#include "test_support.h"

using qorvel::platform::posix::kDefaultSystemCalls;
using qorvel::platform::posix::sys;
using qtest::faults::systemCallsOf;

namespace {

enum Column { kOnBlockDevice = 1, kWithoutBlockDevice = 2 };

// The rows of the table: first cell (the case) -> the count of `column`.
std::map<std::string, long> documentedCosts(Column column) {
    std::ifstream doc(std::string(QORVEL_SOURCE_DIR) + "/docs/io-and-locks.md");
    std::map<std::string, long> rows;
    std::string line;
    bool inTable = false;
    while (std::getline(doc, line)) {
        bool heading = line.rfind("#", 0) == 0;
        if (heading) inTable = line == "## System calls of every export";
        if (!inTable || line.rfind("| `", 0) != 0) continue;
        std::vector<std::string> cells;
        std::stringstream row(line.substr(1));
        std::string cell;
        while (std::getline(row, cell, '|')) cells.push_back(cell.substr(1, cell.size() - 2));
        if (cells.size() > column) rows[cells[0]] = std::stol(cells[column]);
    }
    return rows;
}

// The place a measurement runs in, as the test's parameter: "" is the
// temporary directory (TMPDIR).
std::string describe(const ::testing::TestParamInfo<std::string>& place) {
    if (place.param.empty()) return "TemporaryDirectory";
    std::string name;
    for (char c : place.param) {
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
    }
    return name;
}

class CostTest : public ::testing::TestWithParam<std::string> {
protected:
    std::unique_ptr<qtest::TempDir> dir;
    std::string file, other;
    std::map<std::string, long> measured;

    void SetUp() override {
        const std::string& place = GetParam();
        struct stat status {};
        if (!place.empty() && (stat(place.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
                               access(place.c_str(), W_OK) != 0)) {
            GTEST_SKIP() << place << " is no directory this test may write in";
        }
        dir = place.empty() ? std::make_unique<qtest::TempDir>()
                            : std::make_unique<qtest::TempDir>(place);
        file = dir->path("file.txt");
        other = dir->path("other.txt");
        qtest::writeFile(file, "0123456789abcdefghij");
        if (onSharedFileSystem()) {
            GTEST_SKIP() << dir->root() << " lies on a file system other machines share";
        }
    }
    void TearDown() override { sys = kDefaultSystemCalls; }

    bool onSharedFileSystem() const {
        int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        qorvel::platform::posix::OpenedFile opened;
        EXPECT_EQ(qorvel::platform::posix::describeOpenedFile(fd, &opened), 0u);
        ::close(fd);
        return opened.onSharedFileSystem;
    }

    Column columnOf(const std::string& path) const {
        struct stat status {};
        EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
        return major(status.st_dev) != 0 ? kOnBlockDevice : kWithoutBlockDevice;
    }

    // A row may be measured by several calls: each must cost what it says.
    template <typename Call>
    void measure(const std::string& row, Call call) {
        long calls = systemCallsOf(call);
        sys = kDefaultSystemCalls;
        auto [earlier, first] = measured.emplace(row, calls);
        EXPECT_TRUE(first || earlier->second == calls)
            << row << ": " << earlier->second << " and " << calls << " calls";
    }

    cFileHandle open(cFileMode mode) {
        cFileHandle handle = CFILE_INVALID_HANDLE;
        EXPECT_EQ(cFileOpen(file.c_str(), mode, &handle), 0u) << mode;
        return handle;
    }

    void handleRows() {
        const std::pair<const char*, cFileMode> modes[] = {
            {"`0x0041`", 0x0041}, {"`0x0021`", 0x0021}, {"`0x0042`", 0x0042}, {"`0x0022`", 0x0022},
            {"`0x0014`", 0x0014}, {"`0x0004`", 0x0004}, {"`0x0001`", 0x0001}, {"`0x0011`", 0x0011},
            {"`0x0044`", 0x0044}, {"`0x0024`", 0x0024}, {"`0x0012`", 0x0012}, {"`0x0003`", 0x0003}};
        for (const auto& [text, mode] : modes) {
            cFileHandle handle = CFILE_INVALID_HANDLE;
            measure(std::string("`cFileOpen` ") + text,
                    [&] { cFileOpen(file.c_str(), mode, &handle); });
            measure("`cFileClose`", [&] { cFileClose(handle); });
        }
        cFileHandle handle = CFILE_INVALID_HANDLE;
        measure("`cFileCreate` `0x0042`, new file",
                [&] { cFileCreate(other.c_str(), 0x0042, 0, &handle); });
        cFileClose(handle);
        measure("`cFileCreate` `0x0042`, existing file",
                [&] { cFileCreate(other.c_str(), 0x0042, 0, &handle); });
        measure("`cFileFlush`", [&] { cFileFlush(handle); });
        cFileClose(handle);
    }

    // Transfers of any size are one call each; locks of any range alike.
    void transferRows() {
        cFileHandle shared = open(0x0044);
        std::vector<char> block(1 << 20, 'b');
        uint32_t count = 0, where = 0;
        int16_t flag = 0;
        for (uint32_t size : {4u, 1u << 20}) {
            measure("`cFileRead`, `cFileWrite`",
                    [&] { cFileWrite(shared, block.data(), size, &count); });
            cFileSeek(shared, 0, CFILE_SEEK_BEGIN, &where);
            measure("`cFileRead`, `cFileWrite`",
                    [&] { cFileRead(shared, block.data(), size, &count); });
        }
        measure("`cFileSeek` from the beginning or the current position, `cFileGetPosition`",
                [&] { cFileSeek(shared, 0, CFILE_SEEK_BEGIN, &where); });
        measure("`cFileSeek` from the beginning or the current position, `cFileGetPosition`",
                [&] { cFileGetPosition(shared, &where); });
        measure("`cFileSeek` from the end", [&] { cFileSeek(shared, 0, CFILE_SEEK_END, &where); });
        measure("`cFileIsEof` at the end", [&] { cFileIsEof(shared, &flag); });
        cFileSeek(shared, 2, CFILE_SEEK_BEGIN, &where);
        measure("`cFileIsEof` elsewhere", [&] { cFileIsEof(shared, &flag); });
        measure("`cFileSetSize`, position put back", [&] { cFileSetSize(shared, 1 << 21); });
        measure("`cFileSetSize`, position at the new end", [&] { cFileSetSize(shared, 1); });
        for (uint32_t start : {0u, 200u}) {
            measure("`cFileLock` of a range", [&] { cFileLock(shared, start, 100); });
        }
        for (uint32_t start : {0u, 200u}) {
            measure("`cFileUnlock` of a range", [&] { cFileUnlock(shared, start, 100); });
        }
        measure("`cFileLock` of zero length", [&] { cFileLock(shared, 5, 0); });
        measure("`cFileUnlock` of zero length", [&] { cFileUnlock(shared, 5, 0); });
        cFileClose(shared);
        cFileHandle alone = open(0x0004);
        measure("`cFileRead`, `cFileWrite` sharing nothing",
                [&] { cFileWrite(alone, "abcd", 4, &count); });
        measure("`cFileRead`, `cFileWrite` sharing nothing",
                [&] { cFileRead(alone, &block[0], 4, &count); });
        cFileClose(alone);
        cFileHandle reader = open(0x0041);
        measure("`cFileLock` of a range, read handle", [&] { cFileLock(reader, 0, 10); });
        measure("`cFileUnlock` of a range, read handle", [&] { cFileUnlock(reader, 0, 10); });
        cFileClose(reader);
    }

    void pathRows() {
        measure("`cFileWriteToFile`", [&] { cFileWriteToFile(file.c_str(), "line\r\n"); });
        uint32_t size = 0;
        int16_t flag = 0;
        int32_t time = 0;
        measure("`cFileGetSize`, `cFileIsExist`", [&] { cFileGetSize(file.c_str(), &size); });
        measure("`cFileGetSize`, `cFileIsExist`", [&] { cFileIsExist(file.c_str(), &flag); });
        measure("`cFileGetAttribute` of a file, `cFileGetTime`",
                [&] { cFileGetAttribute(file.c_str(), CFILE_ATTR_READONLY, &flag); });
        measure("`cFileGetAttribute` of a file, `cFileGetTime`",
                [&] { cFileGetTime(file.c_str(), CFILE_ATTR_READONLY, &time); });
        measure("`cFileSetAttribute` of a file",
                [&] { cFileSetAttribute(file.c_str(), CFILE_ATTR_WRITABLE, 1); });
        measure("`cFileGetDiskFree`", [&] { cFileGetDiskFree(file.c_str(), &size); });
        std::string renamed = dir->path("renamed.txt");
        measure("`cFileRename` of a file", [&] { cFileRename(file.c_str(), renamed.c_str()); });
        measure("`cFileRemove`", [&] { cFileRemove(renamed.c_str()); });
        directoryRows();
    }

    void directoryRows() {
        std::string folder = dir->path("folder"), moved = dir->path("moved");
        int16_t flag = 0;
        measure("`cFileCreateDir`", [&] { cFileCreateDir(folder.c_str()); });
        measure("`cFileIsExist` of a directory", [&] { cFileIsExist(folder.c_str(), &flag); });
        measure("`cFileGetAttribute` of a directory",
                [&] { cFileGetAttribute(folder.c_str(), CFILE_ATTR_READONLY, &flag); });
        int32_t time = 0;
        measure("`cFileGetAttribute` of a file, `cFileGetTime`",
                [&] { cFileGetTime(folder.c_str(), CFILE_ATTR_READONLY, &time); });
        measure("`cFileRename` of a directory",
                [&] { cFileRename(folder.c_str(), moved.c_str()); });
        measure("`cFileRemoveDir`", [&] { cFileRemoveDir(moved.c_str()); });
        char buffer[CFILE_DIR_BUFFER_SIZE];
        measure("`cFileGetCurrentDir`", [&] { cFileGetCurrentDir(buffer); });
        tempDirRows(buffer);
    }

    // TMPDIR is looked at only when it is set; the test's own is put back.
    void tempDirRows(char* buffer) {
        const char* set = std::getenv("TMPDIR");
        std::string saved = set != nullptr ? set : "";
        setenv("TMPDIR", dir->root().c_str(), 1);
        measure("`cFileGetTempDir`, `TMPDIR` set", [&] { cFileGetTempDir(buffer); });
        unsetenv("TMPDIR");
        measure("`cFileGetTempDir`, `TMPDIR` unset", [&] { cFileGetTempDir(buffer); });
        if (set != nullptr) setenv("TMPDIR", saved.c_str(), 1);
    }
};

}  // namespace

TEST_P(CostTest, TheDocumentedTableIsTrue) {
    handleRows();
    transferRows();
    pathRows();
    Column column = columnOf(dir->root());
    std::map<std::string, long> documented = documentedCosts(column);
    ASSERT_FALSE(documented.empty()) << "no table in docs/io-and-locks.md";
    for (const auto& [row, calls] : measured) {
        auto found = documented.find(row);
        if (found == documented.end()) {
            ADD_FAILURE() << "no row for " << row << " (" << calls << " calls)";
        } else {
            EXPECT_EQ(found->second, calls) << row << " in column " << column;
        }
    }
    for (const auto& [row, calls] : documented) {
        EXPECT_TRUE(measured.count(row)) << "the row " << row << " is not measured";
    }
}

INSTANTIATE_TEST_SUITE_P(LocalFileSystems, CostTest,
                         ::testing::Values(std::string(), "/dev/shm", "/var/tmp"), describe);

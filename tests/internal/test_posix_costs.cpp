// The table of system calls per export in docs/io-and-locks.md, kept true:
// every row is measured here by counting the calls that reach the backend's
// system-call table, and every measured case has its row.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>

#include "platform/posix/syscalls.h"
#include "qorvel.h"
#include "struct_fields.h"
#include "test_support.h"

using qorvel::platform::posix::kDefaultSystemCalls;
using qorvel::platform::posix::sys;
using qorvel::platform::posix::SystemCalls;

namespace {

long gCalls = 0;
SystemCalls gReal = kDefaultSystemCalls;

template <std::size_t I, class F>
struct Counter;

template <std::size_t I, class R, class... A>
struct Counter<I, R (*)(A...)> {
    static R call(A... args) {
        ++gCalls;
        return std::get<I>(qtest::tieFields(gReal))(args...);
    }
};

template <std::size_t... I>
void countEveryEntry(std::index_sequence<I...>) {
    auto fields = qtest::tieFields(sys);
    ((std::get<I>(fields) =
          &Counter<I, std::decay_t<std::tuple_element_t<I, decltype(fields)>>>::call),
     ...);
}

// The rows of the table: first cell (the case) -> second cell (the count).
std::map<std::string, long> documentedCosts() {
    std::ifstream doc(std::string(QORVEL_SOURCE_DIR) + "/docs/io-and-locks.md");
    std::map<std::string, long> rows;
    std::string line;
    bool inTable = false;
    while (std::getline(doc, line)) {
        if (line.rfind("## System calls of every export", 0) == 0) inTable = true;
        if (!inTable) continue;
        bool heading = line.rfind("#", 0) == 0;
        if (heading && line.find("System calls of every export") == std::string::npos) break;
        if (line.rfind("| `", 0) != 0) continue;
        std::vector<std::string> cells;
        std::stringstream row(line.substr(1));
        std::string cell;
        while (std::getline(row, cell, '|')) cells.push_back(cell.substr(1, cell.size() - 2));
        if (cells.size() >= 2) rows[cells[0]] = std::stol(cells[1]);
    }
    return rows;
}

class CostTest : public ::testing::Test {
protected:
    qtest::TempDir dir;
    std::string file = dir.path("file.txt");
    std::string other = dir.path("other.txt");
    std::map<std::string, long> measured;

    void SetUp() override { qtest::writeFile(file, "0123456789abcdefghij"); }
    void TearDown() override { sys = kDefaultSystemCalls; }

    template <typename Call>
    void measure(const std::string& row, Call call) {
        countEveryEntry(std::make_index_sequence<qtest::fieldCount<SystemCalls>()>());
        gCalls = 0;
        call();
        measured[row] = gCalls;
        sys = kDefaultSystemCalls;
    }

    cFileHandle open(cFileMode mode) {
        cFileHandle handle = CFILE_INVALID_HANDLE;
        EXPECT_EQ(cFileOpen(file.c_str(), mode, &handle), 0u) << mode;
        return handle;
    }

    void openAndClose(const char* modeText, cFileMode mode) {
        cFileHandle handle = CFILE_INVALID_HANDLE;
        measure(std::string("`cFileOpen` ") + modeText,
                [&] { cFileOpen(file.c_str(), mode, &handle); });
        measure(std::string("`cFileClose` ") + modeText, [&] { cFileClose(handle); });
    }

    void handleRows() {
        const std::pair<const char*, cFileMode> modes[] = {
            {"`0x0041`", 0x0041}, {"`0x0021`", 0x0021}, {"`0x0042`", 0x0042}, {"`0x0022`", 0x0022},
            {"`0x0014`", 0x0014}, {"`0x0004`", 0x0004}, {"`0x0001`", 0x0001}, {"`0x0011`", 0x0011},
            {"`0x0044`", 0x0044}, {"`0x0024`", 0x0024}, {"`0x0012`", 0x0012}, {"`0x0003`", 0x0003}};
        for (const auto& [text, mode] : modes) openAndClose(text, mode);
        cFileHandle handle = CFILE_INVALID_HANDLE;
        measure("`cFileCreate` `0x0042`, new file",
                [&] { cFileCreate(other.c_str(), 0x0042, 0, &handle); });
        cFileClose(handle);
        measure("`cFileCreate` `0x0042`, existing file",
                [&] { cFileCreate(other.c_str(), 0x0042, 0, &handle); });
        measure("`cFileFlush`", [&] { cFileFlush(handle); });
        cFileClose(handle);
    }

    void transferRows() {
        cFileHandle shared = open(0x0044);
        char buffer[16];
        uint32_t count = 0, where = 0;
        int16_t flag = 0;
        measure("`cFileRead`, `cFileWrite`", [&] { cFileRead(shared, buffer, 4, &count); });
        measure("`cFileSeek` from the beginning or the current position, `cFileGetPosition`",
                [&] { cFileSeek(shared, 0, CFILE_SEEK_BEGIN, &where); });
        measure("`cFileSeek` from the end", [&] { cFileSeek(shared, 0, CFILE_SEEK_END, &where); });
        measure("`cFileIsEof` at the end", [&] { cFileIsEof(shared, &flag); });
        cFileSeek(shared, 2, CFILE_SEEK_BEGIN, &where);
        measure("`cFileIsEof` elsewhere", [&] { cFileIsEof(shared, &flag); });
        measure("`cFileSetSize`, position put back", [&] { cFileSetSize(shared, 40); });
        measure("`cFileSetSize`, position at the new end", [&] { cFileSetSize(shared, 1); });
        measure("`cFileLock` of a range", [&] { cFileLock(shared, 0, 10); });
        measure("`cFileUnlock` of a range", [&] { cFileUnlock(shared, 0, 10); });
        measure("`cFileLock` of zero length", [&] { cFileLock(shared, 5, 0); });
        measure("`cFileUnlock` of zero length", [&] { cFileUnlock(shared, 5, 0); });
        cFileClose(shared);
        cFileHandle alone = open(0x0004);
        measure("`cFileRead`, `cFileWrite` sharing nothing",
                [&] { cFileRead(alone, buffer, 4, &count); });
        cFileClose(alone);
        cFileHandle reader = open(0x0041);
        measure("`cFileLock` of a range, read handle", [&] { cFileLock(reader, 0, 10); });
        measure("`cFileUnlock` of a range, read handle", [&] { cFileUnlock(reader, 0, 10); });
        cFileClose(reader);
    }

    void pathRows() {
        measure("`cFileWriteToFile`", [&] { cFileWriteToFile(file.c_str(), "line\r\n"); });
        std::string renamed = dir.path("renamed.txt");
        measure("`cFileRename`", [&] { cFileRename(file.c_str(), renamed.c_str()); });
        measure("`cFileRemove`", [&] { cFileRemove(renamed.c_str()); });
    }
};

}  // namespace

TEST_F(CostTest, TheDocumentedTableIsTrue) {
    handleRows();
    transferRows();
    pathRows();
    std::map<std::string, long> documented = documentedCosts();
    ASSERT_FALSE(documented.empty()) << "no table in docs/io-and-locks.md";
    for (const auto& [row, calls] : measured) {
        auto found = documented.find(row);
        if (found == documented.end()) {
            ADD_FAILURE() << "no row for " << row << " (" << calls << " calls)";
        } else {
            EXPECT_EQ(found->second, calls) << row;
        }
    }
    for (const auto& [row, calls] : documented) {
        EXPECT_TRUE(measured.count(row)) << "the row " << row << " is not measured";
    }
}

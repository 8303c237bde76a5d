// The one-call append, seen from hosts: what lands where, what is refused
// and what never happens to a file, with appenders in threads and processes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

using namespace qtest::words;

namespace {

class AppendTest : public ::testing::Test {
protected:
    qtest::TempDir dir;
    std::string log = dir.path("app.log");
};

// The lines of a text that ends every line with CR LF; a fragment after the
// last CR LF comes back as the last line, so nothing torn goes unseen.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Thousands of appends under Wine on a loaded machine take minutes.
constexpr std::chrono::seconds kBulkCallLimit{300};

// Runs `processes` children at once, each appending from `threads` threads
// `count` lines "P<p>-<t>-<i>" per thread. Answers each child's status.
std::vector<uint32_t> appendFromProcesses(const std::string& path, size_t processes, int threads,
                                          int count) {
    std::vector<std::unique_ptr<qtest::Child>> children;
    for (size_t p = 0; p < processes; ++p) children.push_back(std::make_unique<qtest::Child>());
    std::vector<uint32_t> statuses(processes, 0xFFFFFFFFu);
    std::vector<std::thread> drivers;
    for (size_t p = 0; p < processes; ++p) {
        drivers.emplace_back([&, p] {
            statuses[p] =
                children[p]->status("appendthreads " + path + " P" + std::to_string(p) + " " +
                                        std::to_string(threads) + " " + std::to_string(count),
                                    kBulkCallLimit);
        });
    }
    for (std::thread& driver : drivers) driver.join();
    return statuses;
}

// Every line "P<p>-<t>-<i>" is in the file exactly once and whole, nothing
// else is, and each writer's lines stand in the order it appended them.
void expectEveryLineOnceInOrder(const std::string& content, size_t processes, size_t threads,
                                int count) {
    std::vector<std::string> lines = linesOf(content);
    EXPECT_EQ(lines.size(), processes * threads * static_cast<size_t>(count));
    std::map<std::string, int> nextIndex;  // per writer "P<p>-<t>"
    int stray = 0, outOfOrder = 0;
    for (const std::string& line : lines) {
        size_t dash = line.rfind('-');
        if (line.size() < 5 || line[0] != 'P' || dash == std::string::npos) {
            ++stray;
            continue;
        }
        std::string writer = line.substr(0, dash);
        int index = std::stoi(line.substr(dash + 1));
        if (index != nextIndex[writer]) ++outOfOrder;
        nextIndex[writer] = index + 1;
    }
    EXPECT_EQ(stray, 0);
    EXPECT_EQ(outOfOrder, 0) << "a line is missing, doubled or out of its writer's order";
    EXPECT_EQ(nextIndex.size(), processes * threads);
    for (const auto& [writer, next] : nextIndex) EXPECT_EQ(next, count) << writer;
}

}  // namespace

// ---- Where the text lands -------------------------------------------------------------

TEST_F(AppendTest, AMissingFileIsCreatedWithTheTextAsItsContent) {
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "first line\r\n"), 0u);
    EXPECT_EQ(qtest::readFile(log), "first line\r\n");
}

TEST_F(AppendTest, TheTextGoesAfterTheExistingContent) {
    qtest::writeFile(log, "0123456789");
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "abc"), 0u);
    EXPECT_EQ(qtest::readFile(log), "0123456789abc");
}

TEST_F(AppendTest, SuccessiveAppendsOnAMissingFileKeepEveryText) {
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "a"), 0u);
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "b"), 0u);
    EXPECT_EQ(qtest::readFile(log), "ab");
}

TEST_F(AppendTest, NoLineEndIsAddedAndTheTerminatorNeverLands) {
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "x\r\n"), 0u);
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "y"), 0u);
    EXPECT_EQ(qtest::readFile(log), std::string("x\r\ny"));
}

TEST_F(AppendTest, AnEmptyTextCreatesTheFileAndWritesNothing) {
    EXPECT_EQ(cFileWriteToFile(log.c_str(), ""), 0u);
    EXPECT_TRUE(qtest::exists(log));
    EXPECT_EQ(qtest::fileSize(log), 0u);
    qtest::writeFile(log, "kept");
    EXPECT_EQ(cFileWriteToFile(log.c_str(), ""), 0u);
    EXPECT_EQ(qtest::readFile(log), "kept");
}

TEST_F(AppendTest, TheTextLandsAtTheTrueEndOfASparseFile) {
    // Most of this file is a hole: its storage size lies far before its end.
    qtest::writeFile(log, "head");
    std::filesystem::resize_file(log, 1 << 20);
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "tail"), 0u);
    std::string content = qtest::readFile(log);
    ASSERT_EQ(content.size(), (1u << 20) + 4);
    EXPECT_EQ(content.substr(0, 4), "head");
    EXPECT_EQ(content.substr(1 << 20), "tail");
    EXPECT_EQ(content.find_first_not_of('\0', 4), size_t(1 << 20));
}

TEST_F(AppendTest, AMebibyteOfAwkwardTextLandsWhole) {
    std::string text;
    while (text.size() < (1u << 20)) text += "a b/c=d\r\n\t";
    text.resize(1 << 20);
    qtest::writeFile(log, "before\r\n");
    EXPECT_EQ(cFileWriteToFile(log.c_str(), text.c_str()), 0u);
    EXPECT_TRUE(qtest::readFile(log) == "before\r\n" + text);
}

TEST_F(AppendTest, AStatusLineRecordAppendsAsOneLine) {
    cFileNftRecord record = {};
    record.severity = 1;
    record.eText = "disk";
    char line[256];
    ASSERT_EQ(cFileBuildNftBuffer("stamp", &record, line), 0u);
    EXPECT_EQ(cFileWriteToFile(log.c_str(), line), 0u);
    EXPECT_EQ(cFileWriteToFile(log.c_str(), line), 0u);
    EXPECT_EQ(qtest::readFile(log), std::string(line) + line);
}

// ---- Refusals never touch the file ------------------------------------------------------

TEST_F(AppendTest, NullOrEmptyArgumentsAreRefusedTouchingNothing) {
    EXPECT_EQ(cFileWriteToFile(nullptr, "text"), 0x302u);
    EXPECT_EQ(cFileWriteToFile(log.c_str(), nullptr), 0x302u);
    EXPECT_EQ(cFileWriteToFile(nullptr, nullptr), 0x302u);
    EXPECT_EQ(cFileWriteToFile("", "text"), 0x302u);
    EXPECT_FALSE(qtest::exists(log));
    qtest::writeFile(log, "kept");
    EXPECT_EQ(cFileWriteToFile(log.c_str(), nullptr), 0x302u);
    EXPECT_EQ(qtest::readFile(log), "kept");
}

TEST_F(AppendTest, AMissingDirectoryIsNotFoundAndNothingIsCreated) {
    std::string path = dir.path("no-such-dir") + "/app.log";
    EXPECT_EQ(cFileWriteToFile(path.c_str(), "text"), kPathNotFound);
    EXPECT_FALSE(qtest::exists(dir.path("no-such-dir")));
}

TEST_F(AppendTest, AFileHeldWithoutWriteSharingIsRefusedNotEmptied) {
    qtest::writeFile(log, "precious");
    for (cFileMode holderMode : {cFileMode(CFILE_ACCESS_WRITE), cFileMode(0x21), cFileMode(0x24)}) {
        cFileHandle holder = CFILE_INVALID_HANDLE;
        ASSERT_EQ(cFileOpen(log.c_str(), holderMode, &holder), 0u);
        EXPECT_EQ(cFileWriteToFile(log.c_str(), "text"), kSharingViolation)
            << std::hex << holderMode;
        EXPECT_EQ(cFileClose(holder), 0u);
        EXPECT_EQ(qtest::readFile(log), "precious") << std::hex << holderMode;
    }
}

TEST_F(AppendTest, AFileHeldByAnotherProcessIsRefusedNotEmptied) {
    qtest::writeFile(log, "precious");
    qtest::Child child;
    int32_t holder = 0;
    ASSERT_EQ(child.open("open", log, CFILE_ACCESS_READ, &holder), 0u);
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "text"), kSharingViolation);
    EXPECT_EQ(child.status("close " + std::to_string(holder)), 0u);
    EXPECT_EQ(qtest::readFile(log), "precious");
}

TEST_F(AppendTest, AReadOnlyFileIsRefusedNotEmptied) {
    qtest::writeFile(log, "precious");
    qtest::makeReadOnly(log, true);
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "text"), kAccessDenied);
    qtest::makeReadOnly(log, false);
    EXPECT_EQ(qtest::readFile(log), "precious");
}

TEST_F(AppendTest, ADirectoryIsRefused) {
    EXPECT_EQ(cFileWriteToFile(dir.root().c_str(), "text"), kAccessDenied);
}

// ---- Many appenders at once -------------------------------------------------------------

TEST_F(AppendTest, FourProcessesOfFourThreadsLoseNoLine) {
    constexpr int kProcesses = 4, kThreads = 4, kLines = 2000;
    for (uint32_t status : appendFromProcesses(log, kProcesses, kThreads, kLines)) {
        EXPECT_EQ(status, 0u);
    }
    expectEveryLineOnceInOrder(qtest::readFile(log), kProcesses, kThreads, kLines);
}

TEST_F(AppendTest, AppendersAndReadersBesideAHandleThatSharesEverything) {
    constexpr int kProcesses = 4, kThreads = 4, kLines = 2000;
    qtest::writeFile(log, "");
    cFileHandle holder = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileOpen(log.c_str(), CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE, &holder), 0u);
    // While the appenders run, a reader keeps reading through the holder:
    // appending takes no lock that could stand in a reader's way.
    std::atomic<bool> done{false};
    int readFailures = 0;
    std::thread reader([&] {
        char buffer[4096];
        while (!done) {
            uint32_t got = 0;
            if (cFileSeek(holder, 0, CFILE_SEEK_BEGIN, nullptr) != 0 ||
                cFileRead(holder, buffer, sizeof buffer, &got) != 0) {
                ++readFailures;
            }
        }
    });
    std::vector<uint32_t> statuses = appendFromProcesses(log, kProcesses, kThreads, kLines);
    done = true;
    reader.join();
    for (uint32_t status : statuses) EXPECT_EQ(status, 0u);
    EXPECT_EQ(readFailures, 0);
    EXPECT_EQ(cFileClose(holder), 0u);
    expectEveryLineOnceInOrder(qtest::readFile(log), kProcesses, kThreads, kLines);
}

TEST_F(AppendTest, AppendersThatAllFindTheFileMissingShareOneFile) {
    // Every process starts on a missing file: a create that emptied it would
    // lose what the first appenders wrote.
    for (int round = 0; round < 5; ++round) {
        std::string path = dir.path("fresh-" + std::to_string(round) + ".log");
        for (uint32_t status : appendFromProcesses(path, 4, 2, 10)) EXPECT_EQ(status, 0u);
        expectEveryLineOnceInOrder(qtest::readFile(path), 4, 2, 10);
    }
}

TEST_F(AppendTest, LandsAfterWhatAnotherHandleWroteAtTheEnd) {
    qtest::writeFile(log, "start\r\n");
    cFileHandle writer = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileOpen(log.c_str(), CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE, &writer), 0u);
    uint32_t written = 0;
    ASSERT_EQ(cFileSeek(writer, 0, CFILE_SEEK_END, nullptr), 0u);
    ASSERT_EQ(cFileWrite(writer, "host\r\n", 6, &written), 0u);
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "appended\r\n"), 0u);
    EXPECT_EQ(cFileClose(writer), 0u);
    EXPECT_EQ(qtest::readFile(log), "start\r\nhost\r\nappended\r\n");
}

TEST_F(AppendTest, HostByteRangeLocksDoNotStopAnAppend) {
    qtest::writeFile(log, "start\r\n");
    // The farthest range a host can lock: from the last 32-bit offset on, for
    // the longest 32-bit length. It holds no byte of the file's data.
    cFileHandle locker = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileOpen(log.c_str(), CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE, &locker), 0u);
    ASSERT_EQ(cFileLock(locker, 0xFFFFFFFFu, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "appender\r\n"), 0u);
    EXPECT_EQ(cFileUnlock(locker, 0xFFFFFFFFu, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(cFileClose(locker), 0u);
    EXPECT_EQ(qtest::readFile(log), "start\r\nappender\r\n");
}

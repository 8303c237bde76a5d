// Share modes between every pair of opens, in one process and across two,
// against the matrix Windows answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

using namespace qtest::words;

namespace {

// Windows' answers for a first open (row) and a second open (column), each
// access/share: access 0, R, W, RW; share -, r, w, rw. '.' = granted,
// 'x' = refused with ERROR_SHARING_VIOLATION (32).
const char* const kWindowsMatrix[16] = {
    "................", "................", "................", "................",
    "....xxxxxxxxxxxx", "....x.x.xxxxxxxx", "....xxxxx.x.xxxx", "....x.x.x.x.x.x.",
    "....xxxxxxxxxxxx", "....xx..xxxxxxxx", "....xxxxxx..xxxx", "....xx..xx..xx..",
    "....xxxxxxxxxxxx", "....xxx.xxxxxxxx", "....xxxxxxx.xxxx", "....xxx.xxx.xxx.",
};

// The mode word for row/column i: access 0 is expressed by two access bits.
cFileMode modeFor(int i) {
    static const unsigned kAccess[4] = {0x0003, 0x0001, 0x0002, 0x0004};
    static const unsigned kShare[4] = {0x0000, 0x0020, 0x0010, 0x0040};
    return cFileMode(kAccess[i / 4] | kShare[i % 4]);
}

bool hasDataAccess(int i) { return i / 4 != 0; }
bool sharesWrite(int i) { return i % 4 >= 2; }

std::string describe(int first, int second) {
    static const char* kNames[16] = {"0/-", "0/r", "0/w", "0/rw", "R/-",  "R/r",  "R/w",  "R/rw",
                                     "W/-", "W/r", "W/w", "W/rw", "RW/-", "RW/r", "RW/w", "RW/rw"};
    return std::string(kNames[first]) + " then " + kNames[second];
}

class ShareModeTest : public ::testing::Test {
protected:
    qtest::TempDir dir;
    std::string file = dir.path("shared.txt");
    void SetUp() override { qtest::writeFile(file, "0123456789"); }
};

}  // namespace

TEST_F(ShareModeTest, EveryPairOfOpensInOneProcess) {
    for (int first = 0; first < 16; ++first) {
        for (int second = 0; second < 16; ++second) {
            cFileHandle a, b = 0;
            ASSERT_EQ(cFileOpen(file.c_str(), modeFor(first), &a), 0u) << describe(first, second);
            cFileStatus status = cFileOpen(file.c_str(), modeFor(second), &b);
            cFileStatus expected = kWindowsMatrix[first][second] == '.' ? 0u : kSharingViolation;
            EXPECT_EQ(status, expected) << describe(first, second);
            if (status == 0) {
                EXPECT_EQ(cFileClose(b), 0u);
            } else {
                EXPECT_EQ(b, CFILE_INVALID_HANDLE);
            }
            ASSERT_EQ(cFileClose(a), 0u);
        }
    }
}

TEST_F(ShareModeTest, EveryPairOfOpensAcrossTwoProcesses) {
    qtest::Child child;
    for (int first = 0; first < 16; ++first) {
        for (int second = 0; second < 16; ++second) {
            int32_t held = 0;
            ASSERT_EQ(child.open("open", file, modeFor(first), &held), 0u)
                << describe(first, second);
            cFileHandle b;
            cFileStatus status = cFileOpen(file.c_str(), modeFor(second), &b);
            cFileStatus expected = kWindowsMatrix[first][second] == '.' ? 0u : kSharingViolation;
            EXPECT_EQ(status, expected) << describe(first, second);
            if (status == 0) {
                EXPECT_EQ(cFileClose(b), 0u);
            }
            ASSERT_EQ(child.status("close " + std::to_string(held)), 0u);
        }
    }
}

// Emptying a file counts as writing it, also through a handle that keeps no
// access right: it fails beside an open that does not share writing.
TEST_F(ShareModeTest, CreatingOverAnOpenFileCountsAsWriting) {
    const int kCreators[3] = {2 * 4 + 3, 3 * 4 + 3, 0 * 4 + 3};  // W/rw, RW/rw, access 0/rw
    for (int first = 0; first < 16; ++first) {
        for (int creator : kCreators) {
            qtest::writeFile(file, "0123456789");
            cFileHandle a, b;
            ASSERT_EQ(cFileOpen(file.c_str(), modeFor(first), &a), 0u);
            cFileMode createMode = creator == 3 ? cFileMode(0x0046) : modeFor(creator);
            bool refused = hasDataAccess(first) && !sharesWrite(first);
            bool refusedByMatrix = kWindowsMatrix[first][creator] != '.';
            cFileStatus status = cFileCreate(file.c_str(), createMode, 0, &b);
            EXPECT_EQ(status, (refused || refusedByMatrix) ? kSharingViolation : 0u)
                << describe(first, creator);
            if (status == 0) {
                EXPECT_EQ(cFileClose(b), 0u);
            }
            // Read only after closing: on Windows the first handle may keep
            // every reader out.
            ASSERT_EQ(cFileClose(a), 0u);
            EXPECT_EQ(qtest::readFile(file), status == 0 ? "" : "0123456789")
                << describe(first, creator);
        }
    }
}

TEST_F(ShareModeTest, ANoAccessHandleLeavesSharingToOthers) {
    cFileHandle noAccess, reader, writer;
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0003, &noAccess), 0u);
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0001, &reader), 0u);
    EXPECT_EQ(cFileOpen(file.c_str(), 0x0002, &writer), kSharingViolation);
    EXPECT_EQ(cFileClose(reader), 0u);
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0002, &writer), 0u);
    EXPECT_EQ(cFileClose(writer), 0u);
    EXPECT_EQ(cFileClose(noAccess), 0u);
}

TEST_F(ShareModeTest, ClosingReleasesTheShareMode) {
    for (int round = 0; round < 3; ++round) {
        cFileHandle exclusive, other;
        ASSERT_EQ(cFileOpen(file.c_str(), 0x0004, &exclusive), 0u);
        EXPECT_EQ(cFileOpen(file.c_str(), 0x0041, &other), kSharingViolation);
        ASSERT_EQ(cFileClose(exclusive), 0u);
        ASSERT_EQ(cFileOpen(file.c_str(), 0x0041, &other), 0u);
        ASSERT_EQ(cFileClose(other), 0u);
    }
}

TEST_F(ShareModeTest, AnEndedProcessLeavesNothingBehind) {
    {
        qtest::Child child;
        int32_t held;
        ASSERT_EQ(child.open("open", file, 0x0004, &held), 0u);
        cFileHandle other;
        EXPECT_EQ(cFileOpen(file.c_str(), 0x0041, &other), kSharingViolation);
        // The child ends with its handle still open.
    }
    cFileHandle handle;
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0004, &handle), 0u);
    EXPECT_EQ(cFileClose(handle), 0u);
}

TEST_F(ShareModeTest, ManyHandlesThatDenyTheSameClass) {
    // Each W/w open holds writing and denies reading; hundreds live side by side.
    std::vector<cFileHandle> handles(300);
    for (cFileHandle& handle : handles) ASSERT_EQ(cFileOpen(file.c_str(), 0x0012, &handle), 0u);
    cFileHandle reader;
    EXPECT_EQ(cFileOpen(file.c_str(), 0x0041, &reader), kSharingViolation);
    for (cFileHandle handle : handles) ASSERT_EQ(cFileClose(handle), 0u);
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0041, &reader), 0u);
    EXPECT_EQ(cFileClose(reader), 0u);
}

TEST_F(ShareModeTest, ReadersThatShareReadingStackAndKeepWritersOut) {
    std::vector<cFileHandle> readers(50);
    for (cFileHandle& handle : readers) ASSERT_EQ(cFileOpen(file.c_str(), 0x0021, &handle), 0u);
    cFileHandle writer;
    EXPECT_EQ(cFileOpen(file.c_str(), 0x0042, &writer), kSharingViolation);
    EXPECT_EQ(cFileCreate(file.c_str(), 0x0042, 0, &writer), kSharingViolation);
    EXPECT_EQ(qtest::readFile(file), "0123456789");
    for (cFileHandle handle : readers) ASSERT_EQ(cFileClose(handle), 0u);
}

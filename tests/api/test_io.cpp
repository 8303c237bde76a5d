// Reading, writing, positioning, size and the end-of-file test through a
// handle: the same answers on every platform.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fixtures.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

using namespace qtest::words;

namespace {

constexpr uint32_t kUntouched = 0xA5A5A5A5u;
constexpr cFileHandle kNeverOpened = 0x12345;

constexpr cFileMode kReadWrite = CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE;
constexpr cFileMode kReadOnly = CFILE_ACCESS_READ | CFILE_SHARE_READWRITE;
constexpr cFileMode kWriteOnly = CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE;
constexpr cFileMode kNoAccess = CFILE_ACCESS_READ | CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE;

std::string hundredBytes() {
    std::string text;
    for (int i = 0; i < 100; ++i) text += char('A' + i % 26);
    return text;
}

class IoTest : public qtest::HandlesOnAFileTest {
protected:
    IoTest() : HandlesOnAFileTest("data.bin", hundredBytes()) {}

    static uint32_t position(cFileHandle handle) {
        uint32_t where = kUntouched;
        EXPECT_EQ(cFileGetPosition(handle, &where), 0u);
        return where;
    }
    static void seekTo(cFileHandle handle, uint32_t where) {
        ASSERT_EQ(cFileSeek(handle, where, CFILE_SEEK_BEGIN, nullptr), 0u);
    }
    // A handle value that was valid and has just been closed.
    cFileHandle closedHandle() {
        cFileHandle handle = CFILE_INVALID_HANDLE;
        EXPECT_EQ(cFileOpen(file.c_str(), kReadWrite, &handle), 0u);
        EXPECT_EQ(cFileClose(handle), 0u);
        return handle;
    }
};

}  // namespace

// ---- Argument checks -------------------------------------------------------------

TEST_F(IoTest, NullPointersAreRefusedBeforeTheHandleIsLookedAt) {
    char buffer[16];
    uint32_t count = kUntouched;
    EXPECT_EQ(cFileRead(CFILE_INVALID_HANDLE, nullptr, 10, &count), 0x302u);
    EXPECT_EQ(cFileRead(CFILE_INVALID_HANDLE, buffer, 10, nullptr), 0x302u);
    EXPECT_EQ(cFileWrite(CFILE_INVALID_HANDLE, nullptr, 10, &count), 0x302u);
    EXPECT_EQ(cFileWrite(CFILE_INVALID_HANDLE, buffer, 10, nullptr), 0x302u);
    EXPECT_EQ(cFileGetPosition(CFILE_INVALID_HANDLE, nullptr), 0x302u);
    EXPECT_EQ(cFileIsEof(CFILE_INVALID_HANDLE, nullptr), 0x302u);
    EXPECT_EQ(count, kUntouched);
}

TEST_F(IoTest, TheInvalidHandleIsRefusedWithoutTouchingOutParameters) {
    char buffer[16];
    uint32_t count = kUntouched, where = kUntouched;
    int16_t flag = 0x5A5A;
    EXPECT_EQ(cFileRead(CFILE_INVALID_HANDLE, buffer, 10, &count), 0x303u);
    EXPECT_EQ(cFileWrite(CFILE_INVALID_HANDLE, buffer, 10, &count), 0x303u);
    EXPECT_EQ(cFileSeek(CFILE_INVALID_HANDLE, 0, CFILE_SEEK_BEGIN, &where), 0x303u);
    EXPECT_EQ(cFileGetPosition(CFILE_INVALID_HANDLE, &where), 0x303u);
    EXPECT_EQ(cFileSetSize(CFILE_INVALID_HANDLE, 0), 0x303u);
    EXPECT_EQ(cFileIsEof(CFILE_INVALID_HANDLE, &flag), 0x303u);
    EXPECT_EQ(count, kUntouched);
    EXPECT_EQ(where, kUntouched);
    EXPECT_EQ(flag, 0x5A5A);
}

TEST_F(IoTest, ClosedAndNeverOpenedHandlesAnswerInvalidHandle) {
    for (cFileHandle handle : {closedHandle(), kNeverOpened}) {
        char buffer[16] = {};
        uint32_t count = kUntouched, where = kUntouched;
        int16_t flag = 0x5A5A;
        EXPECT_EQ(cFileRead(handle, buffer, 10, &count), kInvalidHandle);
        EXPECT_EQ(count, 0u);
        count = kUntouched;
        EXPECT_EQ(cFileWrite(handle, buffer, 10, &count), kInvalidHandle);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(cFileSeek(handle, 5, CFILE_SEEK_BEGIN, &where), kInvalidHandle);
        EXPECT_EQ(where, kUntouched);
        EXPECT_EQ(cFileGetPosition(handle, &where), kInvalidHandle);
        EXPECT_EQ(where, 0u);
        EXPECT_EQ(cFileSetSize(handle, 5), kInvalidHandle);
        EXPECT_EQ(cFileIsEof(handle, &flag), kInvalidHandle);
        EXPECT_EQ(flag, 0);
        // A zero-byte write asks the platform nothing.
        count = kUntouched;
        EXPECT_EQ(cFileWrite(handle, buffer, 0, &count), 0u);
        EXPECT_EQ(count, 0u);
    }
    EXPECT_EQ(qtest::readFile(file), hundredBytes());
}

// ---- Reading and writing --------------------------------------------------------

TEST_F(IoTest, AReadAtTheTailGetsTheRestThenNothing) {
    cFileHandle handle = open(kReadOnly);
    seekTo(handle, 90);
    char buffer[100];
    uint32_t count = kUntouched;
    EXPECT_EQ(cFileRead(handle, buffer, 100, &count), 0u);
    ASSERT_EQ(count, 10u);
    EXPECT_EQ(std::string(buffer, 10), hundredBytes().substr(90));
    EXPECT_EQ(cFileRead(handle, buffer, 100, &count), 0u);
    EXPECT_EQ(count, 0u);
    seekTo(handle, 150);
    count = kUntouched;
    EXPECT_EQ(cFileRead(handle, buffer, 100, &count), 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(position(handle), 150u);
}

TEST_F(IoTest, ZeroByteTransfersSucceedAndMoveNothing) {
    cFileHandle handle = open();
    seekTo(handle, 40);
    char buffer[1] = {'x'};
    uint32_t count = kUntouched;
    EXPECT_EQ(cFileRead(handle, buffer, 0, &count), 0u);
    EXPECT_EQ(count, 0u);
    count = kUntouched;
    EXPECT_EQ(cFileWrite(handle, buffer, 0, &count), 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(position(handle), 40u);
    // Even through a handle that may not write, and past the end.
    cFileHandle reader = open(kReadOnly);
    seekTo(reader, 500);
    count = kUntouched;
    EXPECT_EQ(cFileWrite(reader, buffer, 0, &count), 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(qtest::readFile(file), hundredBytes());
}

TEST_F(IoTest, LargeWritesArriveWhole) {
    std::vector<char> data(3 * 1024 * 1024 + 17);
    for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 131 + i / 4099);
    cFileHandle handle = open();
    seekTo(handle, 10);
    uint32_t count = 0;
    ASSERT_EQ(cFileWrite(handle, data.data(), uint32_t(data.size()), &count), 0u);
    EXPECT_EQ(count, data.size());
    EXPECT_EQ(position(handle), 10 + data.size());

    std::vector<char> back(data.size());
    seekTo(handle, 10);
    uint32_t total = 0;
    while (total < back.size()) {
        ASSERT_EQ(cFileRead(handle, back.data() + total, uint32_t(back.size() - total), &count),
                  0u);
        ASSERT_GT(count, 0u);
        total += count;
    }
    EXPECT_TRUE(back == data);
    EXPECT_EQ(qtest::readFile(file).substr(0, 10), hundredBytes().substr(0, 10));
}

TEST_F(IoTest, AWritePastTheEndFillsTheGapWithZeros) {
    cFileHandle handle = open();
    seekTo(handle, 110);
    uint32_t count = 0;
    ASSERT_EQ(cFileWrite(handle, "end", 3, &count), 0u);
    EXPECT_EQ(qtest::readFile(file), hundredBytes() + std::string(10, '\0') + "end");
}

// ---- Access rights --------------------------------------------------------------

TEST_F(IoTest, TransfersTheHandleMayNotMakeAreRefusedWithAccessDenied) {
    char buffer[8] = "written";
    uint32_t count = kUntouched;
    cFileHandle reader = open(kReadOnly);
    EXPECT_EQ(cFileWrite(reader, buffer, 7, &count), kAccessDenied);
    EXPECT_EQ(count, 0u);
    cFileHandle writer = open(kWriteOnly);
    count = kUntouched;
    EXPECT_EQ(cFileRead(writer, buffer, 7, &count), kAccessDenied);
    EXPECT_EQ(count, 0u);
    cFileHandle neither = open(kNoAccess);
    EXPECT_EQ(cFileRead(neither, buffer, 7, &count), kAccessDenied);
    EXPECT_EQ(cFileWrite(neither, buffer, 7, &count), kAccessDenied);
    EXPECT_EQ(count, 0u);
    // Positions are no data: every handle may move and ask.
    EXPECT_EQ(cFileSeek(neither, 30, CFILE_SEEK_BEGIN, nullptr), 0u);
    EXPECT_EQ(position(neither), 30u);
    EXPECT_EQ(qtest::readFile(file), hundredBytes());
}

// Windows checks the handle's access before the size (5). Wine does not
// (docs/windows.md): it grows a file by writing through the handle's own
// descriptor, which cannot write (6), and its ftruncate refuses a read-only
// descriptor as an invalid argument (87).
TEST_F(IoTest, ASizeChangeWithoutWriteAccessIsAccessDenied) {
    const bool wine = qtest::runningUnderWine();
    for (cFileMode mode : {kReadOnly, kNoAccess}) {
        cFileHandle handle = open(mode);
        seekTo(handle, 50);
        EXPECT_EQ(cFileSetSize(handle, 200), wine ? kInvalidHandle : kAccessDenied);
        EXPECT_EQ(position(handle), 50u);
        // The position is put back only when it lay below the size asked for.
        EXPECT_EQ(cFileSetSize(handle, 10), wine ? kInvalidParameter : kAccessDenied);
        EXPECT_EQ(position(handle), 10u);
    }
    EXPECT_EQ(qtest::readFile(file), hundredBytes());
}

// ---- Positioning ----------------------------------------------------------------

TEST_F(IoTest, PositionsFromEachOrigin) {
    cFileHandle handle = open();
    EXPECT_EQ(position(handle), 0u);
    uint32_t where = kUntouched;
    EXPECT_EQ(cFileSeek(handle, 0, CFILE_SEEK_END, &where), 0u);
    EXPECT_EQ(where, 100u);
    EXPECT_EQ(cFileSeek(handle, 5, CFILE_SEEK_END, &where), 0u);
    EXPECT_EQ(where, 105u);
    EXPECT_EQ(cFileSeek(handle, 20, CFILE_SEEK_BEGIN, &where), 0u);
    EXPECT_EQ(cFileSeek(handle, 7, CFILE_SEEK_CURRENT, &where), 0u);
    EXPECT_EQ(where, 27u);
    EXPECT_EQ(cFileSeek(handle, 13, CFILE_SEEK_BEGIN, nullptr), 0u);
    EXPECT_EQ(position(handle), 13u);
    // The distance is unsigned: 0x80000000 is a place, not a step back.
    EXPECT_EQ(cFileSeek(handle, 0x80000000u, CFILE_SEEK_BEGIN, &where), 0u);
    EXPECT_EQ(where, 0x80000000u);
    EXPECT_EQ(qtest::fileSize(file), 100u);
}

TEST_F(IoTest, AnUnknownOriginIsAnInvalidParameterAndMovesNothing) {
    cFileHandle handle = open();
    seekTo(handle, 42);
    for (uint32_t origin : {3u, 4u, 0x80000000u, 0xFFFFFFFFu}) {
        uint32_t where = kUntouched;
        EXPECT_EQ(cFileSeek(handle, 5, origin, &where), kInvalidParameter) << origin;
        EXPECT_EQ(where, kUntouched);
        EXPECT_EQ(position(handle), 42u);
    }
}

TEST_F(IoTest, ADistanceNeverMovesBackwards) {
    cFileHandle handle = open();
    seekTo(handle, 10);
    uint32_t where = kUntouched;
    // 10 + 0xFFFFFFF6 is 4 GiB, not 0: out of range, and nothing moves.
    EXPECT_EQ(cFileSeek(handle, 0xFFFFFFF6u, CFILE_SEEK_CURRENT, &where), kFileTooLarge);
    EXPECT_EQ(where, kUntouched);
    EXPECT_EQ(position(handle), 10u);
}

// ---- The 32-bit range -----------------------------------------------------------

TEST_F(IoTest, MovesEndingAtOrBeyondFourGiBAreRefusedAndUndone) {
    cFileHandle handle = open();
    uint32_t where = kUntouched;
    EXPECT_EQ(cFileSeek(handle, 0xFFFFFFFEu, CFILE_SEEK_BEGIN, &where), 0u);
    EXPECT_EQ(where, 0xFFFFFFFEu);
    seekTo(handle, 77);
    where = kUntouched;
    // 0xFFFFFFFF is the platform's failure marker as well as a position.
    EXPECT_EQ(cFileSeek(handle, 0xFFFFFFFFu, CFILE_SEEK_BEGIN, &where), kFileTooLarge);
    EXPECT_EQ(where, kUntouched);
    EXPECT_EQ(position(handle), 77u);

    seekTo(handle, 0xFFFFFF00u);
    where = kUntouched;
    EXPECT_EQ(cFileSeek(handle, 0xFFu, CFILE_SEEK_CURRENT, &where), kFileTooLarge);
    EXPECT_EQ(cFileSeek(handle, 0x100u, CFILE_SEEK_CURRENT, &where), kFileTooLarge);
    EXPECT_EQ(cFileSeek(handle, 0xFFFFFFFFu, CFILE_SEEK_CURRENT, &where), kFileTooLarge);
    EXPECT_EQ(where, kUntouched);
    EXPECT_EQ(position(handle), 0xFFFFFF00u);
    EXPECT_EQ(cFileSeek(handle, 0xFEu, CFILE_SEEK_CURRENT, &where), 0u);
    EXPECT_EQ(where, 0xFFFFFFFEu);

    seekTo(handle, 33);
    where = kUntouched;
    EXPECT_EQ(cFileSeek(handle, 0xFFFFFFA0u, CFILE_SEEK_END, &where), kFileTooLarge);
    EXPECT_EQ(position(handle), 33u);
    EXPECT_EQ(where, kUntouched);
    EXPECT_EQ(cFileSeek(handle, 0xFFFFFF9Au, CFILE_SEEK_END, &where), 0u);
    EXPECT_EQ(where, 0xFFFFFFFEu);
    EXPECT_EQ(qtest::fileSize(file), 100u);
}

TEST_F(IoTest, AFileJustBelowFourGiBCanBeSizedMeasuredAndTested) {
    cFileHandle handle = open();
    seekTo(handle, 5);
    ASSERT_EQ(cFileSetSize(handle, 0xFFFFFFF0u), 0u);  // sparse: costs no space
    EXPECT_EQ(position(handle), 5u);
    uint32_t where = kUntouched;
    EXPECT_EQ(cFileSeek(handle, 0, CFILE_SEEK_END, &where), 0u);
    EXPECT_EQ(where, 0xFFFFFFF0u);
    int16_t flag = -1;
    EXPECT_EQ(cFileIsEof(handle, &flag), 0u);
    EXPECT_EQ(flag, 1);
    seekTo(handle, 5);
    EXPECT_EQ(cFileSeek(handle, 0x0F, CFILE_SEEK_END, &where), kFileTooLarge);
    EXPECT_EQ(position(handle), 5u);
    // 0xFFFFFFFF cannot be a size: the position would have to reach it.
    EXPECT_EQ(cFileSetSize(handle, 0xFFFFFFFFu), kFileTooLarge);
    EXPECT_EQ(position(handle), 5u);
    EXPECT_EQ(cFileSetSize(handle, 100), 0u);
    EXPECT_EQ(qtest::readFile(file), hundredBytes());
}

TEST_F(IoTest, BeyondFourGiBPositionsAreReportedAsOutOfRangeNeverWrapped) {
    cFileHandle handle = open();
    seekTo(handle, 0xFFFFFFFCu);
    uint32_t count = 0;
    ASSERT_EQ(cFileWrite(handle, "12345678", 8, &count), 0u);
    EXPECT_EQ(count, 8u);
    uint32_t where = kUntouched;
    EXPECT_EQ(cFileGetPosition(handle, &where), kFileTooLarge);
    EXPECT_EQ(where, 0u);
    int16_t flag = -1;
    EXPECT_EQ(cFileIsEof(handle, &flag), kFileTooLarge);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(cFileSeek(handle, 0, CFILE_SEEK_END, &where), kFileTooLarge);
    EXPECT_EQ(cFileSetSize(handle, 10), kFileTooLarge);
    // An absolute move brings the handle back into range.
    EXPECT_EQ(cFileSeek(handle, 100, CFILE_SEEK_BEGIN, &where), 0u);
    EXPECT_EQ(cFileSetSize(handle, 100), 0u);
    EXPECT_EQ(qtest::readFile(file), hundredBytes());
}

// ---- Size changes ---------------------------------------------------------------

TEST_F(IoTest, SizeChangesKeepOrClampThePosition) {
    struct Case {
        uint32_t size;
        uint32_t position;
    };
    for (Case c : {Case{10, 10}, Case{200, 50}, Case{50, 50}, Case{0, 0}}) {
        qtest::writeFile(file, hundredBytes());
        cFileHandle handle = open();
        seekTo(handle, 50);
        EXPECT_EQ(cFileSetSize(handle, c.size), 0u) << c.size;
        EXPECT_EQ(qtest::fileSize(file), c.size);
        EXPECT_EQ(position(handle), c.position) << c.size;
        std::string content = qtest::readFile(file);
        std::string expected = c.size <= 100 ? hundredBytes().substr(0, c.size)
                                             : hundredBytes() + std::string(c.size - 100, '\0');
        EXPECT_EQ(content, expected) << c.size;
    }
}

TEST_F(IoTest, ASizeChangeFromBeyondTheEnd) {
    cFileHandle handle = open();
    seekTo(handle, 300);
    EXPECT_EQ(cFileSetSize(handle, 120), 0u);
    EXPECT_EQ(position(handle), 120u);
    EXPECT_EQ(qtest::fileSize(file), 120u);
}

// ---- End of file ----------------------------------------------------------------

TEST_F(IoTest, EndOfFileIsEqualityAndThePositionStays) {
    struct Case {
        uint32_t position;
        int16_t eof;
    };
    cFileHandle handle = open();
    for (Case c : {Case{100, 1}, Case{99, 0}, Case{0, 0}, Case{150, 0}}) {
        seekTo(handle, c.position);
        int16_t flag = -1;
        EXPECT_EQ(cFileIsEof(handle, &flag), 0u) << c.position;
        EXPECT_EQ(flag, c.eof) << c.position;
        EXPECT_EQ(position(handle), c.position);
    }
    EXPECT_EQ(qtest::fileSize(file), 100u);
}

TEST_F(IoTest, AnEmptyFileIsAtItsEnd) {
    qtest::writeFile(file, "");
    cFileHandle handle = open(kReadOnly);
    int16_t flag = -1;
    EXPECT_EQ(cFileIsEof(handle, &flag), 0u);
    EXPECT_EQ(flag, 1);
}

TEST_F(IoTest, ReadingToTheEndIsSeenByTheEndOfFileTest) {
    cFileHandle handle = open(kReadOnly);
    char buffer[64];
    uint32_t count = 0;
    int16_t flag = -1;
    ASSERT_EQ(cFileRead(handle, buffer, 64, &count), 0u);
    EXPECT_EQ(cFileIsEof(handle, &flag), 0u);
    EXPECT_EQ(flag, 0);
    ASSERT_EQ(cFileRead(handle, buffer, 64, &count), 0u);
    EXPECT_EQ(count, 36u);
    EXPECT_EQ(cFileIsEof(handle, &flag), 0u);
    EXPECT_EQ(flag, 1);
}

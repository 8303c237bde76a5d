// Opening, creating, closing and flushing files, and the platform handle.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

using namespace qtest::words;

namespace {

constexpr cFileHandle kUntouched = 0x5A5A5A5A;

class OpenTest : public ::testing::Test {
protected:
    qtest::TempDir dir;
    std::string existing = dir.path("existing.txt");
    std::string missing = dir.path("missing.txt");

    void SetUp() override { qtest::writeFile(existing, "0123456789"); }
};

// The mode word's rules bit by bit: bits 0-2 are the access bits, of which
// at least one is set; bits 4-6 share the file; bits 8 and 9 are accepted and
// mean nothing; every other bit (3, 7, 10-15) makes the word invalid.
bool isAllowedModeBit(int bit) {
    return bit <= 2 || (bit >= 4 && bit <= 6) || bit == 8 || bit == 9;
}

bool isValidModeWord(unsigned mode) {
    bool hasAccessBit = false;
    for (int bit = 0; bit < 16; ++bit) {
        if (((mode >> bit) & 1u) == 0) continue;
        if (!isAllowedModeBit(bit)) return false;
        if (bit <= 2) hasAccessBit = true;
    }
    return hasAccessBit;
}

}  // namespace

// ---- Argument checks ------------------------------------------------------------

TEST_F(OpenTest, RejectedArgumentsLeaveTheHandleUntouched) {
    cFileHandle handle = kUntouched;
    EXPECT_EQ(cFileOpen(nullptr, CFILE_ACCESS_READ, &handle), 0x302u);
    EXPECT_EQ(cFileOpen(existing.c_str(), CFILE_ACCESS_READ, nullptr), 0x302u);
    EXPECT_EQ(cFileOpen(existing.c_str(), 0x0000, &handle), 0x302u);
    EXPECT_EQ(cFileOpen("", CFILE_ACCESS_READ, &handle), 0x302u);
    EXPECT_EQ(cFileCreate(nullptr, CFILE_ACCESS_WRITE, 0, &handle), 0x302u);
    EXPECT_EQ(cFileCreate(missing.c_str(), CFILE_ACCESS_WRITE, 0, nullptr), 0x302u);
    EXPECT_EQ(cFileCreate(missing.c_str(), 0x0010, 0, &handle), 0x302u);
    EXPECT_EQ(cFileCreate("", CFILE_ACCESS_WRITE, 0, &handle), 0x302u);
    EXPECT_EQ(handle, kUntouched);
    EXPECT_FALSE(qtest::exists(missing));
}

TEST_F(OpenTest, PathChecksComeBeforeTheReadBitOfCreate) {
    cFileHandle handle = kUntouched;
    EXPECT_EQ(cFileCreate("", CFILE_ACCESS_READ, 0, &handle), 0x302u);
    EXPECT_EQ(cFileCreate(nullptr, 0x0008, 0, &handle), 0x302u);
    EXPECT_EQ(handle, kUntouched);
}

TEST_F(OpenTest, EveryModeWordAgainstTheValidityRule) {
    // A valid word reaches the platform (a missing file: not found); an
    // invalid one is refused before it, with the handle untouched.
    for (unsigned mode = 0; mode <= 0xFFFF; ++mode) {
        cFileHandle handle = kUntouched;
        cFileStatus status = cFileOpen(missing.c_str(), cFileMode(mode), &handle);
        if (isValidModeWord(mode)) {
            ASSERT_EQ(status, kFileNotFound) << std::hex << mode;
            ASSERT_EQ(handle, CFILE_INVALID_HANDLE) << std::hex << mode;
        } else {
            ASSERT_EQ(status, 0x302u) << std::hex << mode;
            ASSERT_EQ(handle, kUntouched) << std::hex << mode;
        }
    }
}

TEST_F(OpenTest, CreateRefusesEveryModeWithTheReadBit) {
    for (unsigned mode : {0x0001u, 0x0003u, 0x0005u, 0x0007u, 0x0045u, 0x0321u}) {
        cFileHandle handle = kUntouched;
        EXPECT_EQ(cFileCreate(missing.c_str(), cFileMode(mode), 0, &handle), 0x307u) << mode;
        EXPECT_EQ(handle, kUntouched);
    }
    EXPECT_FALSE(qtest::exists(missing));
}

// ---- Opening and creating ----------------------------------------------------------

TEST_F(OpenTest, OpenAnExistingFile) {
    cFileHandle handle = kUntouched;
    ASSERT_EQ(cFileOpen(existing.c_str(), CFILE_ACCESS_READ | CFILE_SHARE_READ, &handle), 0u);
    EXPECT_NE(handle, CFILE_INVALID_HANDLE);
    EXPECT_EQ(cFileClose(handle), 0u);
    EXPECT_EQ(qtest::readFile(existing), "0123456789");
}

TEST_F(OpenTest, BitsEightAndNineHaveNoEffect) {
    cFileHandle handle;
    ASSERT_EQ(cFileOpen(existing.c_str(), 0x0301, &handle), 0u);
    cFileHandle second;
    // Like 0x0001, it shares nothing: a second reader is refused.
    EXPECT_EQ(cFileOpen(existing.c_str(), 0x0001, &second), kSharingViolation);
    EXPECT_EQ(cFileClose(handle), 0u);
}

TEST_F(OpenTest, MissingFileAndMissingDirectory) {
    cFileHandle handle = kUntouched;
    EXPECT_EQ(cFileOpen(missing.c_str(), CFILE_ACCESS_READ, &handle), kFileNotFound);
    EXPECT_EQ(handle, CFILE_INVALID_HANDLE);
    handle = kUntouched;
    std::string inMissingDir = dir.path("nodir") + "/x.txt";
    EXPECT_EQ(cFileOpen(inMissingDir.c_str(), CFILE_ACCESS_READ, &handle), kPathNotFound);
    EXPECT_EQ(handle, CFILE_INVALID_HANDLE);
    EXPECT_EQ(cFileCreate(inMissingDir.c_str(), CFILE_ACCESS_WRITE, 0, &handle), kPathNotFound);
    std::string underAFile = existing + "/x.txt";
    EXPECT_EQ(cFileOpen(underAFile.c_str(), CFILE_ACCESS_READ, &handle), kPathNotFound);
}

TEST_F(OpenTest, ADirectoryIsNotAFile) {
    for (unsigned mode : {0x0001u, 0x0002u, 0x0004u, 0x0003u, 0x0044u}) {
        cFileHandle handle = kUntouched;
        EXPECT_EQ(cFileOpen(dir.root().c_str(), cFileMode(mode), &handle), kAccessDenied) << mode;
        EXPECT_EQ(handle, CFILE_INVALID_HANDLE);
    }
    cFileHandle handle;
    EXPECT_EQ(cFileCreate(dir.root().c_str(), CFILE_ACCESS_WRITE, 0, &handle), kAccessDenied);
}

TEST_F(OpenTest, CreateMakesAMissingFile) {
    cFileHandle handle = kUntouched;
    ASSERT_EQ(cFileCreate(missing.c_str(), CFILE_ACCESS_WRITE, 0, &handle), 0u);
    EXPECT_EQ(cFileClose(handle), 0u);
    EXPECT_TRUE(qtest::exists(missing));
    EXPECT_EQ(qtest::fileSize(missing), 0u);
}

TEST_F(OpenTest, CreateEmptiesAnExistingFile) {
    for (unsigned mode : {0x0002u, 0x0004u, 0x0006u, 0x0042u}) {
        qtest::writeFile(existing, "content");
        cFileHandle handle = kUntouched;
        ASSERT_EQ(cFileCreate(existing.c_str(), cFileMode(mode), 0, &handle), 0u) << mode;
        EXPECT_EQ(cFileClose(handle), 0u);
        EXPECT_EQ(qtest::fileSize(existing), 0u) << mode;
    }
}

TEST_F(OpenTest, ReadOnlyFileRefusesWritingAndEmptying) {
    qtest::makeReadOnly(existing, true);
    for (unsigned mode : {0x0002u, 0x0004u, 0x0042u}) {
        cFileHandle handle = kUntouched;
        EXPECT_EQ(cFileOpen(existing.c_str(), cFileMode(mode), &handle), kAccessDenied) << mode;
        EXPECT_EQ(handle, CFILE_INVALID_HANDLE);
    }
    for (unsigned mode : {0x0002u, 0x0004u, 0x0006u}) {
        cFileHandle handle = kUntouched;
        EXPECT_EQ(cFileCreate(existing.c_str(), cFileMode(mode), 0, &handle), kAccessDenied)
            << mode;
    }
    EXPECT_EQ(qtest::readFile(existing), "0123456789");
    cFileHandle reader;
    ASSERT_EQ(cFileOpen(existing.c_str(), CFILE_ACCESS_READ | CFILE_SHARE_READ, &reader), 0u);
    EXPECT_EQ(cFileClose(reader), 0u);
    qtest::makeReadOnly(existing, false);
}

TEST_F(OpenTest, OverlongPathIsRefusedByThePlatform) {
    std::string longPath = dir.path(std::string(70000, 'a'));
    cFileHandle handle = kUntouched;
    EXPECT_EQ(cFileOpen(longPath.c_str(), CFILE_ACCESS_READ, &handle), kNameTooLong);
    EXPECT_EQ(handle, CFILE_INVALID_HANDLE);
    EXPECT_EQ(cFileCreate(longPath.c_str(), CFILE_ACCESS_WRITE, 0, &handle), kNameTooLong);
}

// ---- Closing, flushing, the platform handle -------------------------------------

TEST_F(OpenTest, CloseTwiceAnswersTheInvalidHandleStatus) {
    cFileHandle handle;
    ASSERT_EQ(cFileOpen(existing.c_str(), CFILE_ACCESS_READ, &handle), 0u);
    EXPECT_EQ(cFileClose(handle), 0u);
    EXPECT_EQ(cFileClose(handle), kInvalidHandle);
}

TEST_F(OpenTest, InvalidHandleIsRefusedBeforeThePlatform) {
    EXPECT_EQ(cFileClose(CFILE_INVALID_HANDLE), 0x303u);
    EXPECT_EQ(cFileFlush(CFILE_INVALID_HANDLE), 0x303u);
}

TEST_F(OpenTest, UnknownHandlesAnswerTheirStatus) {
    const cFileHandle neverOpened = 0x00ABCDEF;
    EXPECT_EQ(cFileClose(neverOpened), kInvalidHandle);
    EXPECT_EQ(cFileFlush(neverOpened), kInvalidHandle);
}

TEST_F(OpenTest, FlushWritesOutAndAnswersZeroForReaders) {
    cFileHandle writer, reader, noAccess;
    ASSERT_EQ(cFileOpen(existing.c_str(), 0x0042, &writer), 0u);
    ASSERT_EQ(cFileOpen(existing.c_str(), 0x0041, &reader), 0u);
    ASSERT_EQ(cFileOpen(existing.c_str(), 0x0043, &noAccess), 0u);
    EXPECT_EQ(cFileFlush(writer), 0u);
    EXPECT_EQ(cFileFlush(reader), 0u);
    EXPECT_EQ(cFileFlush(noAccess), 0u);
    EXPECT_EQ(cFileClose(writer), 0u);
    EXPECT_EQ(cFileClose(reader), 0u);
    EXPECT_EQ(cFileClose(noAccess), 0u);
    EXPECT_EQ(cFileFlush(writer), kInvalidHandle);
}

TEST_F(OpenTest, PlatformHandleChecksAndWritesExactlyFourBytes) {
    unsigned char buffer[16];
    EXPECT_EQ(cFileGetPlatformHandle(CFILE_INVALID_HANDLE, nullptr, 16), 0x302u);
    EXPECT_EQ(cFileGetPlatformHandle(5, buffer, 3), 0x302u);
    EXPECT_EQ(cFileGetPlatformHandle(CFILE_INVALID_HANDLE, buffer, 4), 0x303u);
    for (uint16_t size : {uint16_t(4), uint16_t(16), uint16_t(65535)}) {
        std::memset(buffer, 0xEE, sizeof buffer);
        ASSERT_EQ(cFileGetPlatformHandle(0x01020304, buffer, size), 0u);
        cFileHandle copied;
        std::memcpy(&copied, buffer, 4);
        EXPECT_EQ(copied, 0x01020304);
        for (size_t i = 4; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0xEE) << i;
    }
}

TEST_F(OpenTest, HandlesAreIndependentOfEachOther) {
    cFileHandle a, b;
    ASSERT_EQ(cFileOpen(existing.c_str(), 0x0041, &a), 0u);
    ASSERT_EQ(cFileOpen(existing.c_str(), 0x0041, &b), 0u);
    EXPECT_NE(a, b);
    EXPECT_EQ(cFileClose(a), 0u);
    EXPECT_EQ(cFileFlush(b), 0u);
    EXPECT_EQ(cFileClose(b), 0u);
}

// The version record and the lock-preparation entry points.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "qorvel.h"

TEST(Version, FillsEveryWordAndAnswersThePointer) {
    cFileVersionInfo info;
    std::memset(&info, 0xFF, sizeof info);
    EXPECT_EQ(cFileVersion(&info), &info);
    const uint16_t expected[9] = {0, 3, 202, 6, 0, 0, 0, 1, 5};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(info.word[i], expected[i]) << "word " << i;
}

TEST(Version, RecordIsNineWordsWithoutGaps) { EXPECT_EQ(sizeof(cFileVersionInfo), 18u); }

// Each thread checks its own record against the documented words, so a
// builder that shared one record between threads would be caught.
TEST(Version, ConcurrentCallsOnSeparateRecords) {
    auto fillAndCheck = [](int* mismatches) {
        const uint16_t expected[9] = {0, 3, 202, 6, 0, 0, 0, 1, 5};
        for (int round = 0; round < 1000; ++round) {
            cFileVersionInfo info;
            std::memset(&info, 0xFF, sizeof info);
            cFileVersion(&info);
            if (std::memcmp(info.word, expected, sizeof expected) != 0) ++*mismatches;
        }
    };
    int first = 0, second = 0;
    std::thread t1(fillAndCheck, &first);
    std::thread t2(fillAndCheck, &second);
    t1.join();
    t2.join();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
}

TEST(LockPreparation, AlwaysAnswersZero) {
    EXPECT_EQ(cFilePrepLock(0), 0u);
    EXPECT_EQ(cFilePrepLock(65535), 0u);
    EXPECT_EQ(cFilePrepLock(65535), 0u);
    EXPECT_EQ(cFileTermLock(), 0u);
    EXPECT_EQ(cFileTermLock(), 0u);
    EXPECT_EQ(iFilePrepLock(7), 0);
    EXPECT_EQ(iFileTermLock(), 0);
}

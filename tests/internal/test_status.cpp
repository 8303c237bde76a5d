// The translation of Win32 error numbers into status words.
#include <gtest/gtest.h>

#include "status/status.h"

using qorvel::cFileLookupError;
using qorvel::cFileTranslateError;

TEST(Translation, EveryRowOfTheTableInStoredOrder) {
    struct Row { uint32_t number; uint16_t code; };
    const Row rows[] = {
        {3, 0x304}, {2, 0x304}, {36, 0x305}, {5, 0x301}, {82, 0x301}, {145, 0x301},
        {267, 0x301}, {29, 0x301}, {30, 0x301}, {16, 0x301}, {6, 0x303}, {114, 0x303},
        {32, 0x306}, {13, 0x302}, {112, 0x308}, {39, 0x308}, {277, 0x308},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(cFileLookupError(row.number), row.code) << row.number;
        EXPECT_EQ(cFileTranslateError(row.number), (row.number << 16) | row.code) << row.number;
    }
}

TEST(Translation, KnownWords) {
    EXPECT_EQ(cFileTranslateError(2), 0x00020304u);
    EXPECT_EQ(cFileTranslateError(13), 0x000D0302u);
    EXPECT_EQ(cFileTranslateError(277), 0x01150308u);
    EXPECT_EQ(cFileTranslateError(33), 0x00210307u);
    EXPECT_EQ(cFileTranslateError(183), 0x00B70307u);
    EXPECT_EQ(cFileTranslateError(158), 0x009E0307u);
    EXPECT_EQ(cFileTranslateError(112), 0x00700308u);
}

TEST(Translation, UnlistedNumbersAreGeneralFailures) {
    EXPECT_EQ(cFileTranslateError(0), 0x00000307u);
    EXPECT_EQ(cFileTranslateError(4), 0x00040307u);
    EXPECT_EQ(cFileTranslateError(80), 0x00500307u);
    EXPECT_EQ(cFileTranslateError(0xFFFFFFFFu), 0xFFFF0307u);
}

TEST(Translation, MatchesTheWhole32BitNumber) {
    // 65538 has the low half of 2 but matches no row.
    EXPECT_EQ(cFileLookupError(65538), 0x307);
    EXPECT_EQ(cFileTranslateError(65538), 0x00020307u);
    EXPECT_EQ(cFileTranslateError(0x10000u + 112), 0x00700307u);
}

TEST(Translation, EveryNumberYieldsAFailure) {
    for (uint32_t number = 0; number < 70000; ++number) {
        ASSERT_NE(cFileTranslateError(number) & 0xFFFFu, 0u) << number;
    }
}

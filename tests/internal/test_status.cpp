// The translation of Win32 error numbers into status words, checked against
// the words a host reads in the documentation (docs/status-codes.md), not
// against the translation table itself.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "status/status.h"

using qorvel::cFileLookupError;
using qorvel::cFileTranslateError;

namespace {

// Which numbers give which code, as the list of codes states it.
const std::map<uint16_t, std::set<uint32_t>> kNumbersOfEachCode = {
    {CFILE_ERR_ACCESS, {5, 82, 145, 267, 29, 30, 16}},
    {CFILE_ERR_INVALID_ARG, {13}},
    {CFILE_ERR_INVALID_HANDLE, {6, 114}},
    {CFILE_ERR_NOT_FOUND, {2, 3}},
    {CFILE_ERR_TOO_MANY_SHARED, {36}},
    {CFILE_ERR_SHARING, {32}},
    {CFILE_ERR_DISK_FULL, {112, 39, 277}},
};

TEST(Translation, WorkedExamples) {
    EXPECT_EQ(cFileTranslateError(2), 0x00020304u);  // a file that does not exist
    EXPECT_EQ(cFileTranslateError(13), 0x000D0302u);
    EXPECT_EQ(cFileTranslateError(277), 0x01150308u);
    EXPECT_EQ(cFileTranslateError(33), 0x00210307u);   // a lock conflict
    EXPECT_EQ(cFileTranslateError(183), 0x00B70307u);  // the name exists already
    EXPECT_EQ(cFileTranslateError(158), 0x009E0307u);
    EXPECT_EQ(cFileTranslateError(112), 0x00700308u);
}

TEST(Translation, EachListedNumberGivesItsCode) {
    for (const auto& [code, numbers] : kNumbersOfEachCode) {
        for (uint32_t number : numbers) {
            EXPECT_EQ(cFileLookupError(number), code) << number;
            EXPECT_EQ(cFileTranslateError(number), (number << 16) | code) << number;
        }
    }
}

TEST(Translation, EveryOtherNumberIsAGeneralFailureWithItsNumberAbove) {
    std::set<uint32_t> listed;
    for (const auto& entry : kNumbersOfEachCode)
        listed.insert(entry.second.begin(), entry.second.end());
    ASSERT_EQ(listed.size(), 17u);
    for (uint32_t number = 0; number < 0x10000; ++number) {
        if (listed.count(number) != 0) continue;
        ASSERT_EQ(cFileTranslateError(number), (number << 16) | CFILE_ERR_GENERAL) << number;
    }
}

TEST(Translation, ErrorZeroStillMakesAFailure) {
    EXPECT_EQ(cFileTranslateError(0), 0x00000307u);
    EXPECT_EQ(cFileTranslateError(4), 0x00040307u);
    EXPECT_EQ(cFileTranslateError(80), 0x00500307u);
}

TEST(Translation, MatchesTheWhole32BitNumber) {
    // 65538 has the low half of 2 but matches no row.
    EXPECT_EQ(cFileLookupError(65538), 0x307);
    EXPECT_EQ(cFileTranslateError(65538), 0x00020307u);
    EXPECT_EQ(cFileTranslateError(0x10000u + 112), 0x00700307u);
    EXPECT_EQ(cFileTranslateError(0xFFFFFFFFu), 0xFFFF0307u);
}

TEST(Translation, EveryNumberYieldsAFailure) {
    for (uint32_t number = 0; number < 70000; ++number) {
        ASSERT_NE(cFileTranslateError(number) & 0xFFFFu, 0u) << number;
    }
}

}  // namespace

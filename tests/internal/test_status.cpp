// The translation of Win32 error numbers into status words, checked against
// the words a host reads in the documentation (docs/status-codes.md), not
// against the translation table itself.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "status/status.h"

using qorvel::cFileLookupError;
using qorvel::cFileTranslateError;

namespace {

// Which numbers give which code, read from the list of codes in the
// document: "| `CFILE_ERR_ACCESS` | `0x0301` | meaning | 5, 82, 145 ... |".
// Empty where the source tree cannot be reached (a Windows program).
std::map<uint16_t, std::set<uint32_t>> numbersOfEachCode() {
    std::ifstream document(QORVEL_SOURCE_DIR "/docs/status-codes.md");
    const std::regex row(R"(^\| `CFILE_ERR_\w+` \| `(0x[0-9a-f]+)` \|[^|]*\| ([0-9, ]+)[;|])");
    std::map<uint16_t, std::set<uint32_t>> numbers;
    for (std::string line; std::getline(document, line);) {
        std::smatch match;
        if (!std::regex_search(line, match, row)) continue;
        auto& ofCode = numbers[static_cast<uint16_t>(std::stoul(match[1], nullptr, 16))];
        std::istringstream list(match[2]);
        for (std::string number; std::getline(list, number, ',');) {
            ofCode.insert(static_cast<uint32_t>(std::stoul(number)));
        }
    }
    return numbers;
}

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
    const auto numbersOfCodes = numbersOfEachCode();
#ifdef _WIN32
    if (numbersOfCodes.empty()) GTEST_SKIP() << "docs/status-codes.md is not reachable from here";
#endif
    ASSERT_EQ(numbersOfCodes.size(), 7u) << "the codes that numbers give, CFILE_ERR_GENERAL aside";
    for (const auto& [code, numbers] : numbersOfCodes) {
        for (uint32_t number : numbers) {
            EXPECT_EQ(cFileLookupError(number), code) << number;
            EXPECT_EQ(cFileTranslateError(number), (number << 16) | code) << number;
        }
    }
}

TEST(Translation, EveryOtherNumberIsAGeneralFailureWithItsNumberAbove) {
    std::set<uint32_t> listed;
    const auto numbersOfCodes = numbersOfEachCode();
#ifdef _WIN32
    if (numbersOfCodes.empty()) GTEST_SKIP() << "docs/status-codes.md is not reachable from here";
#endif
    ASSERT_EQ(numbersOfCodes.size(), 7u);
    for (const auto& entry : numbersOfCodes)
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

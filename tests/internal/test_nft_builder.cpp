// The pieces of the status-line record: the digit writer, the clock stamp of
// a given local time, and the stamp of a conversion that yielded nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "records.h"
#include "util/nft.h"

using qorvel::util::buildStatusLine;
using qorvel::util::writeClockStamp;
using qorvel::util::writePaddedDecimal;

namespace {

std::string padded(int16_t value, int16_t width) {
    char out[16];
    std::memset(out, '#', sizeof out);
    int16_t count = writePaddedDecimal(out, value, width);
    EXPECT_EQ(out[count], '#') << "the digit writer writes no terminator";
    return std::string(out, static_cast<size_t>(count));
}

std::tm localTimeOf(int year, int month, int day, int hour, int minute, int second) {
    std::tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

std::string stampOf(const std::tm& t) {
    char out[qorvel::util::kClockStampCapacity];
    int length = writeClockStamp(out, t);
    EXPECT_EQ(std::strlen(out), static_cast<size_t>(length));
    return out;
}

std::string lineOf(const char* stamp, const std::tm* local, const cFileNftRecord* record) {
    char out[512];
    std::memset(out, 'X', sizeof out);
    buildStatusLine(stamp, local, record, out);
    return out;
}

using qtest::absentRecord;
using qtest::fullRecord;

}  // namespace

TEST(PaddedDecimal, WidthIsAMinimumNeverAMaximum) {
    EXPECT_EQ(padded(0, 2), "00");
    EXPECT_EQ(padded(5, 2), "05");
    EXPECT_EQ(padded(97, 2), "97");
    EXPECT_EQ(padded(100, 2), "100");
    EXPECT_EQ(padded(126, 2), "126");
    EXPECT_EQ(padded(32767, 2), "32767");
    EXPECT_EQ(padded(0, 0), "0");
    EXPECT_EQ(padded(7, 4), "0007");
    EXPECT_EQ(padded(7, -3), "7");
}

TEST(PaddedDecimal, NegativeValuesNeverYieldNonDigits) {
    EXPECT_EQ(padded(-5, 2), "05");
    EXPECT_EQ(padded(-32768, 2), "32768");
}

TEST(ClockStamp, TheYearPieceIsYearsSince1900) {
    EXPECT_EQ(stampOf(localTimeOf(1997, 2, 25, 14, 3, 9)), "97/02/25 14:03:09");
    EXPECT_EQ(stampOf(localTimeOf(2000, 1, 1, 0, 0, 0)), "100/01/01 00:00:00");
    EXPECT_EQ(stampOf(localTimeOf(2026, 12, 7, 23, 31, 16)), "126/12/07 23:31:16");
    EXPECT_EQ(stampOf(localTimeOf(1970, 1, 1, 0, 0, 0)), "70/01/01 00:00:00");
    EXPECT_EQ(stampOf(localTimeOf(2899, 12, 31, 23, 59, 60)), "999/12/31 23:59:60");
}

TEST(StatusLine, FullRecordWithAClockStamp) {
    cFileNftRecord record = fullRecord();
    std::tm local = localTimeOf(1997, 2, 25, 14, 3, 9);
    std::string line = lineOf(nullptr, &local, &record);
    EXPECT_EQ(line,
              "/D=97/02/25 14:03:09 /S=Warn /E=disk /U=operator /A=backup /V=2.1 /F=archive "
              "/O=-5 /P=copy /R=7 /T=Y\r\n");
    EXPECT_EQ(line.size(), 102u);
}

TEST(StatusLine, EveryFieldAbsentWithAClockStamp) {
    cFileNftRecord record = absentRecord();
    std::tm local = localTimeOf(2026, 12, 7, 23, 31, 16);
    std::string line = lineOf(nullptr, &local, &record);
    EXPECT_EQ(line,
              "/D=126/12/07 23:31:16 /S=Err /E=NA /U=NA /A=NA /V=0 /F=NA /O=0 /P=NA /R=0 /T=N\r\n");
    EXPECT_EQ(line.size(), 80u);
}

TEST(StatusLine, NoLocalTimeGivesTheStampZero) {
    cFileNftRecord record = absentRecord();
    EXPECT_EQ(lineOf(nullptr, nullptr, &record),
              "/D=0 /S=Err /E=NA /U=NA /A=NA /V=0 /F=NA /O=0 /P=NA /R=0 /T=N\r\n");
}

TEST(StatusLine, TheCallersStampWinsOverTheClock) {
    std::tm local = localTimeOf(1997, 2, 25, 14, 3, 9);
    EXPECT_EQ(lineOf("start", &local, nullptr).substr(0, 15), "/D=start /S=Err");
}

TEST(StatusLine, TheLongestLineOfAbsentTextsFitsNinetySevenBytes) {
    cFileNftRecord record = absentRecord();
    record.severity = 2;
    record.oValue = INT32_MIN;
    record.rValue = INT16_MIN;
    std::tm local = localTimeOf(2899, 12, 31, 23, 59, 59);
    EXPECT_EQ(lineOf(nullptr, &local, &record).size() + 1, 97u);
}

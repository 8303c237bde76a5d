// The status-line record builder, seen from a host.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "qorvel.h"
#include "records.h"

namespace {

constexpr const char* kAllAbsentTail =
    " /S=Err /E=NA /U=NA /A=NA /V=0 /F=NA /O=0 /P=NA /R=0 /T=N\r\n";

using qtest::absentRecord;
using qtest::fullRecord;

// Builds into a buffer pre-filled with a sentinel, checks that the result is
// 0 and that nothing after the terminator was touched, and answers the line.
std::string build(const char* stamp, const cFileNftRecord* record, size_t capacity = 4096) {
    std::vector<char> out(capacity, '\x7F');
    EXPECT_EQ(cFileBuildNftBuffer(stamp, record, out.data()), 0u);
    size_t length = std::strlen(out.data());
    if (length + 1 < capacity) {
        EXPECT_EQ(out[length + 1], '\x7F') << "written past the terminator";
    }
    return std::string(out.data(), length);
}

std::string stampOf(const std::string& line) {
    size_t end = line.find(" /S=");
    return line.substr(3, end - 3);
}

// The clock stamp for a broken-down time, as the library must write it.
std::string expectedStamp(const std::tm& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", t.tm_year, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

// The stamps a call made between t0 and t1 may carry, under `convert`.
template <typename Convert>
std::vector<std::string> possibleStamps(std::time_t t0, std::time_t t1, Convert convert) {
    std::vector<std::string> stamps;
    for (std::time_t t = t0; t <= t1; ++t) stamps.push_back(expectedStamp(convert(t)));
    return stamps;
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
    for (const std::string& entry : list) {
        if (entry == item) return true;
    }
    return false;
}

void setTimeZone(const char* zone) {
#ifdef _WIN32
    _putenv_s("TZ", zone);
#else
    setenv("TZ", zone, 1);
#endif
}

// Puts TZ back as the test program found it.
class TimeZoneRestorer {
public:
    TimeZoneRestorer() {
        const char* zone = std::getenv("TZ");
        if (zone != nullptr) saved_ = zone;
        wasSet_ = zone != nullptr;
    }
    ~TimeZoneRestorer() {
        if (wasSet_) {
            setTimeZone(saved_.c_str());
        } else {
#ifdef _WIN32
            _putenv_s("TZ", "");
#else
            unsetenv("TZ");
#endif
        }
    }

private:
    std::string saved_;
    bool wasSet_ = false;
};

}  // namespace

// ---- The record --------------------------------------------------------------

TEST(NftRecord, IsPackedWithEveryFieldRightAfterTheOneBefore) {
    const size_t p = sizeof(const char*);
    EXPECT_EQ(offsetof(cFileNftRecord, severity), 0u);
    EXPECT_EQ(offsetof(cFileNftRecord, eText), 2u);
    EXPECT_EQ(offsetof(cFileNftRecord, uText), 2 + p);
    EXPECT_EQ(offsetof(cFileNftRecord, aText), 2 + 2 * p);
    EXPECT_EQ(offsetof(cFileNftRecord, vText), 2 + 3 * p);
    EXPECT_EQ(offsetof(cFileNftRecord, fText), 2 + 4 * p);
    EXPECT_EQ(offsetof(cFileNftRecord, oValue), 2 + 5 * p);
    EXPECT_EQ(offsetof(cFileNftRecord, pText), 6 + 5 * p);
    EXPECT_EQ(offsetof(cFileNftRecord, rValue), 6 + 6 * p);
    EXPECT_EQ(offsetof(cFileNftRecord, tText), 8 + 6 * p);
    EXPECT_EQ(sizeof(cFileNftRecord), 8 + 7 * p);
    EXPECT_EQ(sizeof(cFileNftRecord), p == 8 ? 64u : 36u);
}

// ---- The line, with a caller's stamp --------------------------------------------

TEST(NftLine, FullRecordByteForByte) {
    cFileNftRecord record = fullRecord();
    std::string line = build("97/02/25 14:03:09", &record);
    EXPECT_EQ(line,
              "/D=97/02/25 14:03:09 /S=Warn /E=disk /U=operator /A=backup /V=2.1 /F=archive "
              "/O=-5 /P=copy /R=7 /T=Y\r\n");
    EXPECT_EQ(line.size(), 102u);
}

TEST(NftLine, EveryFieldAbsentTakesItsOwnFallback) {
    cFileNftRecord record = absentRecord();
    EXPECT_EQ(build("start", &record), std::string("/D=start") + kAllAbsentTail);
}

TEST(NftLine, AnEmptyStampLeavesNothingBetweenTagAndSpace) {
    cFileNftRecord record = absentRecord();
    EXPECT_EQ(build("", &record), std::string("/D=") + kAllAbsentTail);
}

TEST(NftLine, SeverityZeroAndOneAreErrorsEverythingElseWarnings) {
    cFileNftRecord record = absentRecord();
    for (int16_t severity : {int16_t{0}, int16_t{1}}) {
        record.severity = severity;
        EXPECT_NE(build("s", &record).find(" /S=Err /E="), std::string::npos) << severity;
    }
    for (int severity : {2, 3, -1, 32767, -32768}) {
        record.severity = static_cast<int16_t>(severity);
        EXPECT_NE(build("s", &record).find(" /S=Warn /E="), std::string::npos) << severity;
    }
}

TEST(NftLine, AnEmptyTextIsPresentNotAbsent) {
    cFileNftRecord record = absentRecord();
    record.eText = "";
    record.vText = "";
    record.tText = "";
    EXPECT_EQ(build("s", &record), "/D=s /S=Err /E= /U=NA /A=NA /V= /F=NA /O=0 /P=NA /R=0 /T=\r\n");
}

TEST(NftLine, NumbersAtTheirLimits) {
    cFileNftRecord record = absentRecord();
    record.oValue = INT32_MIN;
    record.rValue = INT16_MIN;
    EXPECT_NE(build("s", &record).find(" /O=-2147483648 /P=NA /R=-32768 /T="), std::string::npos);
    record.oValue = INT32_MAX;
    record.rValue = INT16_MAX;
    EXPECT_NE(build("s", &record).find(" /O=2147483647 /P=NA /R=32767 /T="), std::string::npos);
    record.oValue = 10;
    record.rValue = static_cast<int16_t>(0xFFFF);
    EXPECT_NE(build("s", &record).find(" /O=10 /P=NA /R=-1 /T="), std::string::npos);
}

TEST(NftLine, PAndTFallBackIndependently) {
    cFileNftRecord record = absentRecord();
    record.tText = "yes";
    EXPECT_NE(build("s", &record).find(" /P=NA /R=0 /T=yes\r\n"), std::string::npos);
    record.tText = nullptr;
    record.pText = "copy";
    EXPECT_NE(build("s", &record).find(" /P=copy /R=0 /T=N\r\n"), std::string::npos);
}

TEST(NftLine, TheLineStartsAtTheFirstByteWhateverTheBufferHeld) {
    cFileNftRecord record = absentRecord();
    char out[256];
    std::memset(out, 'X', sizeof out);
    out[0] = 'J';
    out[200] = '\0';  // an earlier text that a strcat-style builder would extend
    ASSERT_EQ(cFileBuildNftBuffer("t", &record, out), 0u);
    EXPECT_EQ(std::string(out), std::string("/D=t") + kAllAbsentTail);
}

// ---- Bad input -------------------------------------------------------------------

TEST(NftBadInput, NullRecordGivesEveryFallbackAndZeroNumbers) {
    EXPECT_EQ(build("start", nullptr), std::string("/D=start") + kAllAbsentTail);
    std::string clocked = build(nullptr, nullptr);
    EXPECT_EQ(clocked.substr(0, 3), "/D=");
    EXPECT_EQ(clocked.substr(clocked.find(" /S=")), kAllAbsentTail);
}

// Without an output buffer there is nowhere to build the line: a clear
// refusal, and the caller's stamp and record are left as they were.
TEST(NftBadInput, ANullOutputBufferIsAnInvalidArgument) {
    char stamp[] = "s";
    cFileNftRecord full = fullRecord();
    const cFileNftRecord before = full;
    const char* stamps[] = {stamp, nullptr};
    const cFileNftRecord* records[] = {&full, nullptr};
    for (const char* s : stamps) {
        for (const cFileNftRecord* r : records) {
            EXPECT_EQ(cFileBuildNftBuffer(s, r, nullptr), 0x302u)
                << (s ? "stamp" : "clock") << (r ? ", record" : ", no record");
        }
    }
    EXPECT_STREQ(stamp, "s");
    EXPECT_EQ(std::memcmp(&full, &before, sizeof full), 0);
}

TEST(NftBadInput, RecordWithEveryPointerNullAndClockStamp) {
    cFileNftRecord record = absentRecord();
    record.severity = -7;
    record.oValue = -1;
    record.rValue = 300;
    std::string line = build(nullptr, &record);
    EXPECT_EQ(line.substr(line.find(" /S=")),
              " /S=Warn /E=NA /U=NA /A=NA /V=0 /F=NA /O=-1 /P=NA /R=300 /T=N\r\n");
}

TEST(NftBadInput, TextsAreCopiedUnchangedWhateverTheyHold) {
    const std::string awkward = "a b/c=d /E=x\r\n\tend";
    cFileNftRecord record = absentRecord();
    record.eText = awkward.c_str();
    record.pText = awkward.c_str();
    record.tText = awkward.c_str();
    EXPECT_EQ(build(awkward.c_str(), &record), "/D=" + awkward + " /S=Err /E=" + awkward +
                                                   " /U=NA /A=NA /V=0 /F=NA /O=0 /P=" + awkward +
                                                   " /R=0 /T=" + awkward + "\r\n");
}

TEST(NftBadInput, MebibyteTextsInEveryField) {
    std::string big;
    big.reserve(1 << 20);
    while (big.size() < (1u << 20)) big += "w o/r=d\r\n";
    big.resize(1 << 20);
    cFileNftRecord record = absentRecord();
    record.eText = record.uText = record.aText = big.c_str();
    record.vText = record.fText = record.pText = record.tText = big.c_str();
    const size_t capacity = 9 * big.size() + 128;
    std::string line = build(big.c_str(), &record, capacity);
    std::string expected = "/D=" + big + " /S=Err /E=" + big + " /U=" + big + " /A=" + big +
                           " /V=" + big + " /F=" + big + " /O=0 /P=" + big + " /R=0 /T=" + big +
                           "\r\n";
    EXPECT_EQ(line.size(), expected.size());
    EXPECT_TRUE(line == expected);
}

// ---- The clock stamp ----------------------------------------------------------------

TEST(NftClock, TheStampIsTheLocalTimeOfTheCall) {
    cFileNftRecord record = absentRecord();
    std::time_t t0 = std::time(nullptr);
    std::string line = build(nullptr, &record);
    std::time_t t1 = std::time(nullptr);
    std::vector<std::string> stamps =
        possibleStamps(t0, t1, [](std::time_t t) { return *std::localtime(&t); });
    EXPECT_TRUE(contains(stamps, stampOf(line))) << line;
    EXPECT_EQ(line.substr(line.find(" /S=")), kAllAbsentTail);
}

TEST(NftClock, ATimeZoneChangeBetweenCallsTakesEffect) {
    TimeZoneRestorer restorer;
    cFileNftRecord record = absentRecord();
    auto utcPlus = [](int hours) {
        return [hours](std::time_t t) {
            std::time_t shifted = t + hours * 3600;
            return *std::gmtime(&shifted);
        };
    };
    struct Zone {
        const char* tz;
        int hours;
    };
    for (Zone zone : {Zone{"UTC0", 0}, Zone{"QRV-5", 5}, Zone{"QRV+3", -3}, Zone{"UTC0", 0}}) {
        setTimeZone(zone.tz);
        std::time_t t0 = std::time(nullptr);
        std::string line = build(nullptr, &record);
        std::time_t t1 = std::time(nullptr);
        EXPECT_TRUE(contains(possibleStamps(t0, t1, utcPlus(zone.hours)), stampOf(line)))
            << zone.tz << ": " << line;
    }
}

TEST(NftClock, ConcurrentBuildersNeverMixTheirLines) {
    constexpr int kThreads = 4;
    constexpr int kLines = 5000;
    std::array<int, kThreads> failures{};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            const std::string name = "thread" + std::to_string(t);
            cFileNftRecord record = absentRecord();
            record.eText = name.c_str();
            record.oValue = t;
            char out[256];
            for (int i = 0; i < kLines; ++i) {
                record.rValue = static_cast<int16_t>(i);
                cFileBuildNftBuffer(nullptr, &record, out);
                std::string line(out);
                std::string tail = " /S=Err /E=" + name +
                                   " /U=NA /A=NA /V=0 /F=NA /O=" + std::to_string(t) +
                                   " /P=NA /R=" + std::to_string(i) + " /T=N\r\n";
                // "/D=" and a stamp of 17 or 18 characters, then the fields.
                size_t tailAt = line.size() - tail.size();
                bool ok = line.compare(0, 3, "/D=") == 0 && line.size() > tail.size() &&
                          line.compare(tailAt, std::string::npos, tail) == 0 &&
                          (tailAt == 20 || tailAt == 21);
                if (!ok) ++failures[static_cast<size_t>(t)];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int failed : failures) EXPECT_EQ(failed, 0);
}

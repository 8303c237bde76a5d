// The append gate: an appender waits for another that holds it, lands after
// it, and gives up with a clear status when the gate is never released.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/platform.h"
#include "qorvel.h"
#include "test_support.h"
#include "util/append.h"

namespace platform = qorvel::platform;

namespace {

constexpr uint32_t kGateFlags = platform::kLockfileExclusiveLock | platform::kLockfileFailImmediately;

// A handle on the log that holds the gate, as an appender in the middle of
// its write does.
class GateHolder {
public:
    explicit GateHolder(const std::string& path) {
        handle_ = platform::createFile(path.c_str(), platform::kGenericRead | platform::kGenericWrite,
                                       platform::kFileShareRead | platform::kFileShareWrite,
                                       platform::Disposition::kOpenAlways);
        locked_ = handle_ != platform::kInvalidHandle &&
                  platform::lockFileEx(handle_, kGateFlags, platform::kAppendGateOffset, 1);
    }
    ~GateHolder() {
        if (handle_ != platform::kInvalidHandle) platform::closeHandle(handle_);
    }
    bool locked() const { return locked_; }

    bool writeAtEnd(const std::string& text) {
        int32_t high = 0;
        platform::setFilePointer(handle_, 0, &high, platform::kFileEnd);
        uint32_t written = 0;
        return platform::writeFile(handle_, text.data(), uint32_t(text.size()), &written) &&
               written == text.size();
    }
    void release() { platform::unlockFileEx(handle_, platform::kAppendGateOffset, 1); }

private:
    platform::Handle handle_ = platform::kInvalidHandle;
    bool locked_ = false;
};

}  // namespace

TEST(AppendGate, AnAppenderWaitsForTheHolderAndLandsAfterIt) {
    qtest::TempDir dir;
    std::string log = dir.path("app.log");
    qtest::writeFile(log, "start\r\n");
    GateHolder holder(log);
    ASSERT_TRUE(holder.locked());
    cFileStatus status = 0xFFFFFFFFu;
    std::thread appender([&] { status = cFileWriteToFile(log.c_str(), "appender\r\n"); });
    // However long the appender takes to reach the gate, it measures the end
    // only once it holds the gate, so the holder's text always comes first.
    platform::sleepMicroseconds(200'000);
    ASSERT_TRUE(holder.writeAtEnd("holder\r\n"));
    holder.release();
    appender.join();
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(qtest::readFile(log), "start\r\nholder\r\nappender\r\n");
}

TEST(AppendGate, AGateNeverReleasedAnswersLockViolationAndWritesNothing) {
    qtest::TempDir dir;
    std::string log = dir.path("app.log");
    qtest::writeFile(log, "start\r\n");
    GateHolder holder(log);
    ASSERT_TRUE(holder.locked());
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "appender\r\n"), 0x00210307u);
    EXPECT_EQ(qtest::readFile(log), "start\r\n");
}

TEST(AppendGate, HostByteRangeLocksNeverMeetTheGate) {
    qtest::TempDir dir;
    std::string log = dir.path("app.log");
    qtest::writeFile(log, "start\r\n");
    // The farthest range a host can lock: from the last 32-bit offset on,
    // for the longest 32-bit length.
    cFileHandle locker = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileOpen(log.c_str(), CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE, &locker), 0u);
    ASSERT_EQ(cFileLock(locker, 0xFFFFFFFFu, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "appender\r\n"), 0u);
    EXPECT_EQ(cFileUnlock(locker, 0xFFFFFFFFu, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(cFileClose(locker), 0u);
    EXPECT_EQ(qtest::readFile(log), "start\r\nappender\r\n");
}

// The append's gate under Wine: an appender that holds it and hangs does not
// hang the others; they give up after a bounded wait with ERROR_TIMEOUT and
// leave the file as it was. On Windows no gate is taken and the append goes
// straight on.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "qorvel.h"
#include "test_support.h"

namespace {

// The gate: one byte at 2^40 of the file, locked exclusively by a handle of
// its own, as a hung appender holds it.
class GateHolder {
public:
    explicit GateHolder(const std::string& path)
        : file_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
        OVERLAPPED gate = {};
        gate.OffsetHigh = 0x100;
        held_ =
            file_ != INVALID_HANDLE_VALUE &&
            LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &gate);
    }
    ~GateHolder() {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    }
    GateHolder(const GateHolder&) = delete;
    GateHolder& operator=(const GateHolder&) = delete;

    bool held() const { return held_ != FALSE; }

private:
    HANDLE file_;
    BOOL held_ = FALSE;
};

TEST(AppendGate, AHeldGateEndsTheWaitWithATimeoutAndLosesNothing) {
    qtest::TempDir dir;
    std::string log = dir.path("app.log");
    qtest::writeFile(log, "earlier\r\n");
    GateHolder holder(log);
    ASSERT_TRUE(holder.held());
    cFileStatus status = cFileWriteToFile(log.c_str(), "later\r\n");
    if (qtest::runningUnderWine()) {
        EXPECT_EQ(status, 0x05B40307u);  // ERROR_TIMEOUT
        EXPECT_EQ(qtest::readFile(log), "earlier\r\n");
    } else {
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(qtest::readFile(log), "earlier\r\nlater\r\n");
    }
}

TEST(AppendGate, TheGateIsFreeAgainOnceItsHolderLetsGo) {
    qtest::TempDir dir;
    std::string log = dir.path("app.log");
    qtest::writeFile(log, "");
    { GateHolder holder(log); }
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "line\r\n"), 0u);
    EXPECT_EQ(qtest::readFile(log), "line\r\n");
}

}  // namespace

// Every failing system call of the append comes back as its status, leaks
// no descriptor and never costs the file a byte it held.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "faults.h"
#include "platform/platform.h"
#include "platform/posix/syscalls.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

using namespace qtest::words;

using qorvel::platform::posix::kDefaultSystemCalls;
using qorvel::platform::posix::sys;

namespace {

using namespace qtest::faults;

class AppendFaultTest : public SystemCallFaultTest {
protected:
    std::string log = dir.path("app.log");

    void SetUp() override {
        qtest::writeFile(log, "earlier\r\n");
        SystemCallFaultTest::SetUp();
    }
    static void failWith(int error, int times = 1) { failAfter(0, error, times); }
};

}  // namespace

TEST_F(AppendFaultTest, AnOpenRefusalIsTheAnswerAndNothingIsCreatedInstead) {
    failByPlan<&Calls::open>();
    struct Case {
        int error;
        cFileStatus status;
    };
    for (Case c : {Case{EACCES, kAccessDenied}, Case{EMFILE, kTooManyOpenFiles},
                   Case{EIO, kIoError}, Case{ENOSPC, kDiskFull}}) {
        failWith(c.error);
        EXPECT_EQ(cFileWriteToFile(log.c_str(), "text"), c.status) << c.error;
        EXPECT_EQ(qtest::readFile(log), "earlier\r\n") << c.error;
    }
}

TEST_F(AppendFaultTest, AFailedWriteIsTheAnswerAndEarlierContentStays) {
    failByPlan<&Calls::write>();
    struct Case {
        int error;
        cFileStatus status;
    };
    for (Case c : {Case{ENOSPC, kDiskFull}, Case{EDQUOT, kDiskFull}, Case{EIO, kIoError}}) {
        failWith(c.error);
        EXPECT_EQ(cFileWriteToFile(log.c_str(), "text"), c.status) << c.error;
    }
    EXPECT_EQ(qtest::readFile(log), "earlier\r\n");
    // Nothing was left behind: the next append goes through.
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "later\r\n"), 0u);
    EXPECT_EQ(qtest::readFile(log), "earlier\r\nlater\r\n");
}

TEST_F(AppendFaultTest, ShortWritesAreResumedSoTheTextLandsWhole) {
    sys.write = [](int fd, const void* buffer, size_t count) -> ssize_t {
        return kDefaultSystemCalls.write(fd, buffer, std::min<size_t>(count, 3));
    };
    EXPECT_EQ(cFileWriteToFile(log.c_str(), "a longer line of text\r\n"), 0u);
    EXPECT_EQ(qtest::readFile(log), "earlier\r\na longer line of text\r\n");
}

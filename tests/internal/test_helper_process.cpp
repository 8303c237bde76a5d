// The helper process the cross-process tests drive: a helper that stops
// answering fails the test that waits for it within the call's limit, and is
// ended, instead of holding the test program until the runner's limit.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "test_support.h"

TEST(HelperProcess, AnswersCommands) {
    qtest::Child child;
    EXPECT_EQ(child.call("sleep 0"), "00000000");
    EXPECT_EQ(child.call("no such command"), "error unknown command");
}

TEST(HelperProcess, AHelperThatHangsFailsTheCallAndIsEnded) {
    qtest::Child child;
    std::string reply;
    EXPECT_NONFATAL_FAILURE(reply = child.call("sleep 600", std::chrono::seconds(1)),
                            "gave no reply to \"sleep 600\" within 1 s");
    EXPECT_EQ(reply, "error timeout");
    EXPECT_EQ(child.call("sleep 0"), "error ended");
    EXPECT_EQ(child.status("sleep 0"), 0xFFFFFFFFu);
}

// main() of every test program: GoogleTest, or the helper process of
// qtest::Child when started with its flag.
//
// A program that hangs names the test it hangs in: ctest gives each program
// QORVEL_TEST_SECONDS, a few seconds less than the program's TIMEOUT, and a
// watchdog ends the program once it has run that long, printing the name of
// the test that is running.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "test_support.h"

namespace {

class Watchdog : public ::testing::EmptyTestEventListener {
public:
    explicit Watchdog(int seconds) : deadline_(Clock::now() + std::chrono::seconds(seconds)) {}

    void OnTestStart(const ::testing::TestInfo& test) override {
        std::lock_guard<std::mutex> hold(mutex_);
        running_ = std::string(test.test_suite_name()) + "." + test.name();
        started_ = Clock::now();
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        std::lock_guard<std::mutex> hold(mutex_);
        running_.clear();
    }

    // The thread sleeps on its own copy of the deadline: GoogleTest deletes
    // the listener when the tests end, while the thread sleeps on.
    void watch() {
        std::thread([this, deadline = deadline_] {
            std::this_thread::sleep_until(deadline);
            std::lock_guard<std::mutex> hold(mutex_);
            auto seconds = static_cast<long>(
                std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started_).count());
            std::fprintf(stderr,
                         "\n[ HUNG     ] %s: still running after %ld s; ending the program\n",
                         running_.empty() ? "(between tests)" : running_.c_str(), seconds);
            std::fflush(nullptr);
            std::_Exit(124);
        }).detach();
    }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline_;
    std::mutex mutex_;
    std::string running_;
    Clock::time_point started_ = Clock::now();
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], qtest::kChildFlag) == 0) return qtest::childMain();
    ::testing::InitGoogleTest(&argc, argv);
    if (const char* seconds = std::getenv("QORVEL_TEST_SECONDS")) {
        auto* watchdog = new Watchdog(std::atoi(seconds));  // the listener list owns it
        ::testing::UnitTest::GetInstance()->listeners().Append(watchdog);
        watchdog->watch();
    }
    return RUN_ALL_TESTS();
}

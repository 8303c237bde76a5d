// Processes open one file with random valid mode words while this process
// kills them at random. No two live handles may ever hold conflicting modes,
// and once every process is gone the file opens with every mode word.
//
// A holder publishes its mode in shared memory after the grant and withdraws
// it before the close, so whatever is published is held. The parent marks a
// process as dying before it kills it: a dying process's handles are on their
// way out and take no part. Each holder compares its grant with every other
// published, live one.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "qorvel.h"
#include "status_words.h"
#include "stress.h"
#include "test_support.h"

using namespace qtest::words;

namespace {

constexpr int kProcesses = 8;
constexpr uint64_t kHolding = 1u << 16;
constexpr uint64_t kDying = 1u << 17;

struct Slot {
    std::atomic<uint64_t> state{0};  // mode | kHolding | kDying
    std::atomic<long> grants{0};
    std::atomic<long> refusals{0};
    std::atomic<long> unexpected{0};
    std::atomic<uint32_t> lastUnexpected{0};
};

struct Board {
    Slot slots[kProcesses];
    std::atomic<long> conflicts{0};
    std::atomic<uint32_t> conflictPair{0};  // the two modes of the first conflict
};

std::vector<unsigned> validModes() {
    std::vector<unsigned> modes;
    for (unsigned mode = 0; mode <= 0xFFFF; ++mode) {
        if (qstress::validMode(mode)) modes.push_back(mode);
    }
    return modes;
}

void checkAgainstOthers(Board& board, int self, unsigned mode) {
    for (int other = 0; other < kProcesses; ++other) {
        if (other == self) continue;
        uint64_t state = board.slots[other].state.load();
        if (!(state & kHolding) || (state & kDying)) continue;
        unsigned held = static_cast<unsigned>(state & 0xFFFF);
        if (!qstress::compatible(mode, held)) {
            if (board.conflicts.fetch_add(1) == 0) board.conflictPair = (mode << 16) | held;
        }
    }
}

[[noreturn]] void holder(Board& board, int self, const std::string& path, unsigned seed) {
    std::mt19937 random(seed);
    const std::vector<unsigned> modes = validModes();
    Slot& slot = board.slots[self];
    for (;;) {
        unsigned mode = modes[random() % modes.size()];
        cFileHandle handle;
        cFileStatus status = cFileOpen(path.c_str(), static_cast<cFileMode>(mode), &handle);
        if (status == 0) {
            slot.state.fetch_or(mode | kHolding);
            slot.grants.fetch_add(1);
            checkAgainstOthers(board, self, mode);
            if (random() % 4 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
            checkAgainstOthers(board, self, mode);
            slot.state.fetch_and(kDying);
            cFileClose(handle);
        } else if (status == kSharingViolation) {
            slot.refusals.fetch_add(1);
        } else {
            slot.unexpected.fetch_add(1);
            slot.lastUnexpected = status;
        }
    }
}

}  // namespace

TEST(CrashStress, KilledHoldersNeverLeaveAConflictingGrantOrAStaleShareMode) {
    qtest::TempDir dir;
    const std::string path = dir.path("shared.dat");
    qtest::writeFile(path, "0123456789");
    Board* board = qstress::sharedObject<Board>();

    std::mt19937 random(std::random_device{}());
    pid_t pids[kProcesses];
    auto spawn = [&](int index) {
        auto seed = static_cast<unsigned>(random());
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) holder(*board, index, path, seed);
        pids[index] = pid;
    };
    auto kill = [&](int index) {
        board->slots[index].state.fetch_or(kDying);
        ::kill(pids[index], SIGKILL);
        waitpid(pids[index], nullptr, 0);
        board->slots[index].state.store(0);
    };

    for (int i = 0; i < kProcesses; ++i) spawn(i);
    long kills = 0;
    auto start = std::chrono::steady_clock::now();
    auto end = start + qstress::runTime(20);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        int victim = static_cast<int>(random() % kProcesses);
        kill(victim);
        ++kills;
        spawn(victim);
    }
    for (int i = 0; i < kProcesses; ++i) kill(i);
    double minutes =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 60;

    long grants = 0, refusals = 0, unexpected = 0;
    for (const Slot& slot : board->slots) {
        grants += slot.grants;
        refusals += slot.refusals;
        unexpected += slot.unexpected;
        EXPECT_EQ(slot.unexpected.load(), 0)
            << "an open answered " << std::hex << slot.lastUnexpected.load();
    }
    std::printf(
        "[ crash    ] %d processes, %.2f min: %ld kills, %ld grants, %ld share refusals, "
        "%ld other answers\n",
        kProcesses, minutes, kills, grants, refusals, unexpected);
    EXPECT_EQ(board->conflicts.load(), 0)
        << "conflicting grants, the first: " << std::hex << (board->conflictPair >> 16)
        << " beside " << (board->conflictPair & 0xFFFF);
    EXPECT_GT(kills, 100);
    EXPECT_GT(grants, 1000);
    EXPECT_GT(refusals, 100);

    // Nothing of the killed processes stays: every mode opens, the whole file locks.
    for (unsigned mode : validModes()) {
        cFileHandle handle;
        ASSERT_EQ(cFileOpen(path.c_str(), static_cast<cFileMode>(mode), &handle), 0u)
            << "mode " << std::hex << mode;
        EXPECT_EQ(cFileClose(handle), 0u);
    }
    cFileHandle handle;
    ASSERT_EQ(cFileOpen(path.c_str(), 0x0004, &handle), 0u);
    EXPECT_EQ(cFileLock(handle, 0, 0xFFFFFFFF), 0u);
    EXPECT_EQ(cFileClose(handle), 0u);
    EXPECT_EQ(qtest::readFile(path), "0123456789");
}

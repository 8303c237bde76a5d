// qorvel holders against real holders in other processes: every mode word
// read back, byte-range locks, a child that inherited a handle, a holder of
// another user, and what a user who cannot look into others' processes is
// told.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "qorvel.h"
#include "test_support.h"
#include "tool_process.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using qtest::contains;
using qtest::kUsage;
using qtest::ToolResult;

constexpr int kNone = qtest::kOk;
constexpr int kHeld = qtest::kFailed;

class CliHolders : public ::testing::Test {
protected:
    void SetUp() override { qtest::writeFile(file_, std::string(4096, 'h')); }

    ToolResult holders(const std::vector<std::string>& more = {}) {
        std::vector<std::string> args = {"holders", file_};
        args.insert(args.end(), more.begin(), more.end());
        return qtest::runTool(streams_.root(), args);
    }
    // A qorvel program holding the file until the test ends it.
    std::unique_ptr<qtest::RunningTool> hold(const std::vector<std::string>& args,
                                             const std::string& firstLine) {
        std::vector<std::string> command = args;
        command.insert(command.begin() + 1, file_);
        command.push_back("--wait");
        auto tool = std::make_unique<qtest::RunningTool>(streams_.root(), command);
        EXPECT_EQ(tool->readLine(), firstLine);
        return tool;
    }
    const std::string& file() const { return file_; }

#ifndef _WIN32
    static constexpr uid_t kNobody = 65534;

    // Forks a child that runs `body` (as user 65534 when `asNobody`); its
    // standard output goes to the answered pipe. It inherits every handle.
    template <typename Body>
    static pid_t forkChild(Body body, int* output, bool asNobody) {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return -1;
        pid_t pid = fork();
        if (pid == 0) {
            dup2(pipeEnds[1], 1);
            close(pipeEnds[0]);
            if (asNobody && (setresgid(kNobody, kNobody, kNobody) != 0 ||
                             setresuid(kNobody, kNobody, kNobody) != 0)) {
                _exit(99);
            }
            _exit(body());
        }
        close(pipeEnds[1]);
        *output = pipeEnds[0];
        return pid;
    }

    static std::string readAll(int fd) {
        std::string text;
        char block[4096];
        ssize_t got;
        while ((got = read(fd, block, sizeof block)) > 0)
            text.append(block, static_cast<size_t>(got));
        close(fd);
        return text;
    }

    static int exitCodeOf(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
#endif

    qtest::TempDir dir_;
    qtest::TempDir streams_;
    std::string file_ = dir_.path("held file.bin");
};

TEST_F(CliHolders, AFileNobodyHoldsExitsZero) {
    ToolResult result = holders();
    EXPECT_EQ(result.exitCode, kNone) << result.err;
    EXPECT_TRUE(contains(result.out, "no process found holding")) << result.out;
    ToolResult json = holders({"--json"});
    EXPECT_EQ(json.exitCode, kNone) << json.err;
    EXPECT_TRUE(contains(json.out, "\"holders\": [],\n \"held\": false")) << json.out;
}

TEST_F(CliHolders, BadUsageExitsTwo) {
    EXPECT_EQ(qtest::runTool(streams_.root(), {"holders"}).exitCode, kUsage);
    EXPECT_EQ(holders({"second"}).exitCode, kUsage);
    EXPECT_EQ(holders({"--frob"}).exitCode, kUsage);
    ToolResult missing = qtest::runTool(streams_.root(), {"holders", dir_.path("missing")});
    EXPECT_EQ(missing.exitCode, kUsage);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_TRUE(contains(missing.err, "missing")) << missing.err;
}

#ifndef _WIN32

size_t count(const std::string& text, const std::string& part) {
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++found;
    }
    return found;
}

TEST_F(CliHolders, ListsEveryHolderWithItsModeAndLockedRanges) {
    auto reader = hold({"open", "--mode", "read,deny-write"}, "opened mode 0x0021");
    auto second = hold({"open", "--mode", "read,deny-write"}, "opened mode 0x0021");
    auto ranges = hold({"lock", "100", "50"}, "locked 100 50");
    auto mark = hold({"lock", "7", "0"}, "locked 7 0");

    ToolResult text = holders();
    EXPECT_EQ(text.exitCode, kHeld) << text.err;
    EXPECT_EQ(count(text.out, "mode 0x0021 read,deny-write\n"), 2u) << text.out;
    EXPECT_EQ(count(text.out, "mode 0x0041 read,deny-none\n"), 2u) << text.out;
    EXPECT_TRUE(contains(text.out, "    locks 50 bytes from 100\n")) << text.out;
    EXPECT_TRUE(contains(text.out, "    locks 0 bytes at 7\n")) << text.out;
    EXPECT_TRUE(contains(text.out, "4 processes hold ")) << text.out;
    EXPECT_EQ(count(text.out, "process "), 4u) << text.out;
    EXPECT_FALSE(contains(text.out, "could not")) << text.out;

    ToolResult json = holders({"--json"});
    EXPECT_EQ(json.exitCode, kHeld) << json.err;
    EXPECT_EQ(count(json.out, "\"mode\": 33, \"mode_names\": \"read,deny-write\""), 2u) << json.out;
    EXPECT_TRUE(contains(json.out, "{\"start\": 100, \"length\": 50}")) << json.out;
    EXPECT_TRUE(contains(json.out, "{\"start\": 7, \"length\": 0}")) << json.out;
    EXPECT_TRUE(contains(json.out, "\"held\": true,\n \"uninspected\": 0")) << json.out;

    for (auto* tool : {reader.get(), second.get(), ranges.get(), mark.get()}) tool->finish();
    EXPECT_EQ(holders().exitCode, kNone);
}

// Each access with each sharing, read back from the locks it publishes on
// its one descriptor.
TEST_F(CliHolders, EveryModeWordIsReadBackExactly) {
    const char* accesses[] = {"read", "write", "read-write"};
    const char* sharings[] = {"deny-all", "deny-read", "deny-write", "deny-none"};
    const unsigned accessBits[] = {0x1, 0x2, 0x4};
    const unsigned sharingBits[] = {0x00, 0x10, 0x20, 0x40};
    for (size_t a = 0; a < 3; ++a) {
        for (size_t s = 0; s < 4; ++s) {
            std::string names = std::string(accesses[a]) + "," + sharings[s];
            char word[8];
            std::snprintf(word, sizeof word, "0x%04X", accessBits[a] | sharingBits[s]);
            SCOPED_TRACE(names);
            auto tool = hold({"open", "--mode", names}, std::string("opened mode ") + word);
            ToolResult result = holders();
            EXPECT_EQ(result.exitCode, kHeld);
            EXPECT_EQ(count(result.out, "  descriptor "), 1u) << result.out;
            EXPECT_TRUE(contains(result.out, std::string(": mode ") + word + " " + names + "\n"))
                << result.out;
            tool->finish();
        }
    }
}

// A child that inherited a handle holds it, with its mode, on the one
// descriptor it inherited.
TEST_F(CliHolders, AChildThatInheritedAHandleHoldsIt) {
    const std::pair<cFileMode, const char*> modes[] = {
        {CFILE_ACCESS_READ | CFILE_SHARE_READ, "0x0021 read,deny-write"},
        {CFILE_ACCESS_READ, "0x0001 read,deny-all"},
        {CFILE_ACCESS_READ | CFILE_SHARE_WRITE, "0x0011 read,deny-read"}};
    for (const auto& [mode, shown] : modes) {
        SCOPED_TRACE(shown);
        cFileHandle handle = CFILE_INVALID_HANDLE;
        ASSERT_EQ(cFileOpen(file().c_str(), mode, &handle), CFILE_OK);
        // A shell started from here inherits the handle (handles are
        // inheritable) and holds it on after this process closed its own.
        int release[2], output = -1;
        ASSERT_EQ(pipe(release), 0);
        pid_t child = forkChild(
            [&] {
                dup2(release[0], 0);
                close(release[1]);
                execl("/bin/sh", "sh", "-c", "echo started; read line; exit 0",
                      static_cast<char*>(nullptr));
                return 98;
            },
            &output, false);
        ASSERT_GT(child, 0);
        close(release[0]);
        ASSERT_EQ(cFileClose(handle), CFILE_OK);
        char started[8];
        ASSERT_EQ(read(output, started, sizeof started), 8);

        ToolResult result = holders();
        EXPECT_EQ(result.exitCode, kHeld) << result.err;
        EXPECT_TRUE(contains(result.out, "process " + std::to_string(child) + " (sh), user "))
            << result.out;
        EXPECT_TRUE(contains(result.out, "1 process holds ")) << result.out;
        EXPECT_EQ(count(result.out, "  descriptor "), 1u) << result.out;
        EXPECT_TRUE(contains(result.out,
                             "  descriptor " + std::to_string(handle) + ": mode " + shown + "\n"))
            << result.out;
        close(release[1]);
        close(output);
        EXPECT_EQ(exitCodeOf(child), 0);
        EXPECT_EQ(holders().exitCode, kNone);
    }
}

// ---- Another user ---------------------------------------------------------------
// As root: a process of user 65534 (nobody) holds the file, or runs the
// program while root holds it.

class CliHoldersOtherUser : public CliHolders {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root to start a process of another user";
        CliHolders::SetUp();
        ASSERT_EQ(chmod(dir_.root().c_str(), 0755), 0);
        ASSERT_EQ(chmod(file().c_str(), 0644), 0);
    }
};

TEST_F(CliHoldersOtherUser, AHolderOfAnotherUserIsListedWithItsUser) {
    int output = -1;
    int release[2];
    ASSERT_EQ(pipe(release), 0);
    std::string path = file();
    pid_t holder = forkChild(
        [&] {
            cFileHandle handle = CFILE_INVALID_HANDLE;
            if (cFileOpen(path.c_str(), CFILE_ACCESS_READ | CFILE_SHARE_READWRITE, &handle) !=
                CFILE_OK)
                return 1;
            close(release[1]);
            if (write(1, "held\n", 5) != 5) return 2;
            char byte;
            return read(release[0], &byte, 1) >= 0 ? 0 : 3;
        },
        &output, true);
    ASSERT_GT(holder, 0);
    close(release[0]);
    char ready[5];
    ASSERT_EQ(read(output, ready, sizeof ready), 5);

    ToolResult result = holders();
    EXPECT_EQ(result.exitCode, kHeld) << result.err;
    EXPECT_TRUE(contains(result.out, "process " + std::to_string(holder) + " (")) << result.out;
    EXPECT_TRUE(contains(result.out, ", user nobody\n") || contains(result.out, ", user 65534\n"))
        << result.out;
    EXPECT_TRUE(contains(result.out, ": mode 0x0041 read,deny-none\n")) << result.out;

    close(release[1]);
    close(output);
    EXPECT_EQ(exitCodeOf(holder), 0);
}

TEST_F(CliHoldersOtherUser, ProcessesThatCannotBeInspectedAreCountedAndTheirLocksSaid) {
    cFileHandle handle = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileOpen(file().c_str(), CFILE_ACCESS_READ | CFILE_SHARE_READ, &handle), CFILE_OK);
    std::string tool = qtest::toolPath(), path = file();
    int output = -1;
    pid_t run = forkChild(
        [&] {
            execl(tool.c_str(), "qorvel", "holders", path.c_str(), static_cast<char*>(nullptr));
            return 98;
        },
        &output, true);
    ASSERT_GT(run, 0);
    std::string text = readAll(output);
    EXPECT_EQ(exitCodeOf(run), kHeld) << text;
    EXPECT_TRUE(contains(text, "held, but no process holding ")) << text;
    EXPECT_TRUE(contains(text, "of other users could not be inspected")) << text;
    EXPECT_TRUE(contains(text, " lock(s) on the file in /proc/locks belong to no descriptor"))
        << text;
    EXPECT_EQ(cFileClose(handle), CFILE_OK);
}

#else

// Windows names the processes (the Restart Manager) but not their handles;
// Wine names none. Either way the program says what it saw and what not.
TEST_F(CliHolders, SaysWhatTheRestartManagerAndTheOpensSaw) {
    auto holder = hold({"open", "--mode", "read-write,deny-all"}, "opened mode 0x0004");
    ToolResult held = holders();
    EXPECT_EQ(held.exitCode, kHeld) << held.err;
    EXPECT_TRUE(contains(held.out, "(qorvel.exe)") || contains(held.out, "held, but no process"))
        << held.out;
    EXPECT_TRUE(contains(held.out, "refused for reading and writing")) << held.out;
    EXPECT_FALSE(contains(held.out, "mode 0x")) << held.out;
    holder->finish();

    ToolResult free = holders();
    EXPECT_EQ(free.exitCode, kNone) << free.out;
    EXPECT_TRUE(contains(free.out, "no process found holding")) << free.out;
}

#endif

}  // namespace

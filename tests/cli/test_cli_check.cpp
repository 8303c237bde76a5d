// qorvel check on real file systems: the test's own scratch directory, and,
// as root, a tmpfs, an overlay and an sshfs mount made for the test, each
// with a second process showing the limit the check names; bad input.
// GlusterFS is checked by the cluster tests (tests/cluster/).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "tool_process.h"

#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#endif

namespace {

using qtest::contains;
using qtest::kFailed;
using qtest::kOk;
using qtest::kUsage;
using qtest::ToolResult;

size_t count(const std::string& text, const std::string& part) {
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++found;
    }
    return found;
}

class CliCheck : public ::testing::Test {
protected:
    ToolResult check(const std::string& path, bool json = false) {
        std::vector<std::string> args = {"check", path};
        if (json) args.push_back("--json");
        return qtest::runTool(streams_.root(), args);
    }

    qtest::TempDir dir_;
    qtest::TempDir streams_;
};

TEST_F(CliCheck, ScratchDirectoryOfThisMachineHoldsEveryPromise) {
    std::string file = dir_.path("data.bin");
    qtest::writeFile(file, "x");
    ToolResult text = check(file);
    EXPECT_EQ(text.exitCode, kOk) << text.out << text.err;
    EXPECT_EQ(count(text.out, ": holds for every process\n"), 6u) << text.out;
    EXPECT_FALSE(contains(text.out, "To make")) << text.out;

    ToolResult json = check(dir_.root(), true);
    EXPECT_EQ(json.exitCode, kOk) << json.err;
    EXPECT_TRUE(contains(json.out, "\"shared\": false")) << json.out;
    EXPECT_EQ(count(json.out, "\"reach\": \"every-process\", \"holds\": true"), 6u) << json.out;
    EXPECT_TRUE(contains(json.out, "\"fixes\": [],")) << json.out;
    EXPECT_TRUE(contains(json.out, "\"all_hold\": true}\n")) << json.out;
}

TEST_F(CliCheck, BadInputExitsTwoAndChangesNothing) {
    std::string file = dir_.path("kept.txt");
    qtest::writeFile(file, "kept");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"check"},
                                               {"check", file, file},
                                               {"check", file, "--frob"},
                                               {"check", ""},
                                               {"check", dir_.path("missing")},
                                               {"check", dir_.path("missing/deeper")},
                                               {"check", dir_.path("kept.txt/below")},
                                               {"check", dir_.path(std::string(5000, 'p'))}}) {
        ToolResult result = qtest::runTool(streams_.root(), args);
        SCOPED_TRACE(args.size() > 1 ? args[1].substr(0, 80) : "no PATH");
        EXPECT_EQ(result.exitCode, kUsage) << result.out << result.err;
        EXPECT_TRUE(result.out.empty()) << result.out;
        EXPECT_EQ(result.err.rfind("qorvel: check: ", 0), 0u) << result.err;
    }
    ToolResult missing = qtest::runTool(streams_.root(), {"check", dir_.path("missing")});
    EXPECT_TRUE(contains(missing.err, "does not exist")) << missing.err;
    EXPECT_EQ(qtest::readFile(file), "kept");
    EXPECT_FALSE(qtest::exists(dir_.path("missing")));
}

#ifndef _WIN32

// ---- As root: file systems mounted for the test ------------------------------------

constexpr uid_t kNobody = 65534;

// Runs the program as user 65534 (root opens its output files first).
ToolResult runAsNobody(const std::string& scratch, const std::vector<std::string>& args) {
    std::string out = scratch + "/nobody.out", err = scratch + "/nobody.err";
    pid_t child = fork();
    if (child == 0) {
        int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (outFd < 0 || errFd < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0) _exit(126);
        if (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
            setresuid(kNobody, kNobody, kNobody) != 0) {
            _exit(126);
        }
        std::string tool = qtest::toolPath();
        std::vector<char*> argv = {const_cast<char*>(tool.c_str())};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ToolResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = qtest::readFile(out);
    result.err = qtest::readFile(err);
    return result;
}

TEST_F(CliCheck, NoPermissionToLookExitsTwo) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    std::string closed = dir_.path("closed");
    ASSERT_EQ(mkdir(closed.c_str(), 0700), 0);
    qtest::writeFile(closed + "/inside.txt", "inside");
    ASSERT_EQ(chmod(closed.c_str(), 0), 0);
    ASSERT_EQ(chmod(dir_.root().c_str(), 0755), 0);
    ASSERT_EQ(chmod(streams_.root().c_str(), 0755), 0);

    ToolResult result = runAsNobody(streams_.root(), {"check", closed + "/inside.txt"});
    if (result.exitCode == 127) GTEST_SKIP() << "the program cannot be run as user 65534 here";
    EXPECT_EQ(result.exitCode, kUsage) << result.out << result.err;
    EXPECT_TRUE(result.out.empty()) << result.out;
    EXPECT_TRUE(contains(result.err, "no permission to look")) << result.err;

    struct stat status;
    ASSERT_EQ(stat(closed.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0u);
    chmod(closed.c_str(), 0700);
    EXPECT_EQ(qtest::readFile(closed + "/inside.txt"), "inside");
}

// A file system mounted under a scratch directory for one test, unmounted
// after it (failed or not).
class MountedScratch {
public:
    explicit MountedScratch(const qtest::TempDir& dir, const std::string& name = "mount")
        : point_(dir.path(name)) {
        mkdir(point_.c_str(), 0755);
    }
    ~MountedScratch() {
        if (mounted_) umount2(point_.c_str(), MNT_DETACH);
    }
    const std::string& point() const { return point_; }
    // "" when mounted, else why not.
    std::string mountWith(const std::string& type, const std::string& options) {
        if (mount("qorvel-check", point_.c_str(), type.c_str(), 0, options.c_str()) != 0) {
            return "mount -t " + type + " refused: " + std::strerror(errno);
        }
        mounted_ = true;
        return {};
    }
    // For a FUSE mount made by its own program.
    void adopt() { mounted_ = true; }

private:
    std::string point_;
    bool mounted_ = false;
};

class CliCheckMounted : public CliCheck {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "mounting needs root: not root";
    }
    // A `qorvel lock` holding bytes 0-9 of `path` until the test ends it.
    std::unique_ptr<qtest::RunningTool> holdLock(const std::string& path) {
        auto tool = std::make_unique<qtest::RunningTool>(
            streams_.root(), std::vector<std::string>{"lock", path, "0", "10", "--wait"});
        EXPECT_EQ(tool->readLine(), "locked 0 10");
        return tool;
    }
    int lockOnce(const std::string& path) {
        return qtest::runTool(streams_.root(), {"lock", path, "0", "10"}).exitCode;
    }
};

TEST_F(CliCheckMounted, TmpfsHoldsEveryPromise) {
    // The kernel lists a mount point's blank as \040.
    MountedScratch scratch(dir_, "mount point");
    std::string refused = scratch.mountWith("tmpfs", "size=1m");
    if (!refused.empty()) GTEST_SKIP() << refused;
    qtest::writeFile(scratch.point() + "/data.bin", "x");

    ToolResult text = check(scratch.point() + "/data.bin");
    EXPECT_EQ(text.exitCode, kOk) << text.out << text.err;
    EXPECT_TRUE(contains(text.out, ": memory of this machine (tmpfs)\n")) << text.out;
    EXPECT_TRUE(contains(text.out, "mounted at '" + scratch.point() + "'\n")) << text.out;
    EXPECT_EQ(count(text.out, ": holds for every process\n"), 6u) << text.out;
}

TEST_F(CliCheckMounted, OverlayHoldsThroughItsMountAndSaysTheLayersAreOtherFiles) {
    for (const char* layer : {"lower", "upper", "work"}) {
        ASSERT_EQ(mkdir(dir_.path(layer).c_str(), 0755), 0);
    }
    qtest::writeFile(dir_.path("upper") + "/data.bin", std::string(64, 'u'));
    MountedScratch scratch(dir_);
    std::string refused = scratch.mountWith("overlay", "lowerdir=" + dir_.path("lower") +
                                                           ",upperdir=" + dir_.path("upper") +
                                                           ",workdir=" + dir_.path("work"));
    if (!refused.empty()) GTEST_SKIP() << refused;
    std::string merged = scratch.point() + "/data.bin";

    ToolResult text = check(merged);
    EXPECT_EQ(text.exitCode, kOk) << text.out << text.err;
    EXPECT_TRUE(contains(text.out, ": overlay of this machine's directories (overlay)\n"))
        << text.out;
    EXPECT_EQ(count(text.out, ": holds for every process\n"), 6u) << text.out;
    EXPECT_TRUE(contains(text.out,
                         "the layers' own directories, reached directly, hold other "
                         "files"))
        << text.out;

    // What the check says: a lock through the overlay keeps other opens
    // through it out, and is not seen through the upper directory.
    auto holder = holdLock(merged);
    EXPECT_EQ(lockOnce(merged), kFailed);
    EXPECT_EQ(lockOnce(dir_.path("upper") + "/data.bin"), kOk);
}

std::string sftpServer() {
    for (const char* path : {"/usr/lib/openssh/sftp-server", "/usr/libexec/openssh/sftp-server",
                             "/usr/lib/sftp-server"}) {
        if (access(path, X_OK) == 0) return path;
    }
    return {};
}

// Mounts the directory `served` (made, with a data.bin of 64 bytes) at the
// scratch's point through sshfs; "" when mounted, else why not. The sftp
// server runs as the "ssh" command itself: no ssh daemon, no network, the
// same FUSE client as against another machine.
std::string mountSshfs(const qtest::TempDir& dir, const std::string& served,
                       MountedScratch* scratch, const std::string& options = "") {
    std::string server = sftpServer();
    if (std::system("command -v sshfs >/dev/null 2>&1") != 0 || server.empty()) {
        return "sshfs or openssh-sftp-server is not installed";
    }
    if (access("/dev/fuse", R_OK | W_OK) != 0) return "no FUSE: /dev/fuse";
    if (mkdir(served.c_str(), 0755) != 0) return "cannot make " + served;
    qtest::writeFile(served + "/data.bin", std::string(64, 's'));
    std::string ssh = dir.path("ssh");
    qtest::writeFile(ssh, "#!/bin/sh\nexec " + server + "\n");
    if (chmod(ssh.c_str(), 0755) != 0) return "cannot make " + ssh + " a program";
    std::string command = "sshfs -o ssh_command=" + ssh + options + " server:" + served + " " +
                          scratch->point() + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return "sshfs does not mount here";
    scratch->adopt();
    return {};
}

TEST_F(CliCheckMounted, SshfsHoldsWithinThisMachineOnly) {
    std::string served = dir_.path("served");
    MountedScratch scratch(dir_);
    std::string refused = mountSshfs(dir_, served, &scratch);
    if (!refused.empty()) GTEST_SKIP() << refused;
    std::string mounted = scratch.point() + "/data.bin";

    ToolResult text = check(mounted);
    EXPECT_EQ(text.exitCode, kFailed) << text.out << text.err;
    EXPECT_TRUE(contains(text.out, ": FUSE file system sshfs from server:" + served + "\n"))
        << text.out;
    EXPECT_EQ(count(text.out, ": holds within this machine only\n"), 6u) << text.out;
    EXPECT_TRUE(contains(text.out, "Keep every process that shares these files on this machine"))
        << text.out;
    ToolResult json = check(mounted, true);
    EXPECT_EQ(json.exitCode, kFailed);
    EXPECT_TRUE(contains(json.out, "\"type\": \"fuse.sshfs\"")) << json.out;
    EXPECT_TRUE(contains(json.out, "\"all_hold\": false}\n")) << json.out;

    // What the check says: the server's side does not see this machine's lock.
    auto holder = holdLock(mounted);
    EXPECT_EQ(lockOnce(mounted), kFailed);
    EXPECT_EQ(lockOnce(served + "/data.bin"), kOk);
}

// `qorvel holders` looks at every descriptor of every process: one open on a
// FUSE file system whose server has stopped answering must not hold it up.
TEST_F(CliCheckMounted, HoldersIsNotHeldUpByAFileOnAServerThatStoppedAnswering) {
    MountedScratch scratch(dir_);
    std::string refused = mountSshfs(dir_, dir_.path("served"), &scratch, " -o attr_timeout=0");
    if (!refused.empty()) GTEST_SKIP() << refused;
    auto holder = holdLock(scratch.point() + "/data.bin");
    std::string find = "pgrep -of 'sshfs.*" + scratch.point() + "'";
    FILE* found = popen(find.c_str(), "r");
    ASSERT_NE(found, nullptr);
    pid_t client = 0;
    if (std::fscanf(found, "%d", &client) != 1) client = 0;
    pclose(found);
    ASSERT_GT(client, 0) << "no sshfs process for " << scratch.point();
    std::string local = dir_.path("local.txt");
    qtest::writeFile(local, "x");

    ASSERT_EQ(kill(client, SIGSTOP), 0);
    std::string command = "timeout 60 " + qtest::toolPath() + " holders " + local + " >/dev/null";
    int status = std::system(command.c_str());
    kill(client, SIGCONT);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "124: still looking after 60 s";
}

#endif  // _WIN32

}  // namespace

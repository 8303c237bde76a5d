// qorvel check on a GlusterFS volume with Debian's defaults: it names the
// volume, finds the client caches that leave bytes stale under a lock, and
// holds once the commands it printed have run; the brick directory is named
// as one, and a lock there indeed misses the clients'.
#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cluster.h"
#include "qorvel.h"

namespace {

struct CheckRun {
    int exitCode = -1;
    std::string out;
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

size_t count(const std::string& text, const std::string& part) {
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++found;
    }
    return found;
}

// Standard output and exit status of a shell command.
CheckRun runShell(const std::string& command) {
    CheckRun run;
    FILE* pipe = popen((command + " 2>/dev/null </dev/null").c_str(), "r");
    if (pipe == nullptr) return run;
    char block[4096];
    size_t got;
    while ((got = fread(block, 1, sizeof block, pipe)) > 0) run.out.append(block, got);
    int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The fixture's paths are plain words: no quoting needed.
CheckRun check(const std::string& path, const std::string& prefix = "") {
#ifdef QORVEL_TOOL
    return runShell(prefix + QORVEL_TOOL " check " + path);
#else
    (void)path;
    (void)prefix;
    return {};
#endif
}

// The commands a report prints under "To make them hold".
std::vector<std::string> printedCommands(const std::string& report) {
    std::vector<std::string> commands;
    std::istringstream in(report);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("  gluster volume set ", 0) == 0) commands.push_back(line.substr(2));
    }
    return commands;
}

class ClusterCheck : public qcluster::OnTwoClients {
protected:
    void SetUp() override {
        qcluster::OnTwoClients::SetUp();
#ifndef QORVEL_TOOL
        GTEST_SKIP() << "the qorvel program is not built (QORVEL_BUILD_TOOLS is off)";
#endif
    }
    // The fixture names its volume after this process.
    static std::string volumeName() { return "qorvel-" + std::to_string(getpid()); }
    std::string brick() const { return volume.brick(); }
};

TEST_F(ClusterCheck, CachesOnExitOneNamingQuickReadThenZeroAfterItsCommands) {
    const std::string name = volumeName();
    CheckRun before = check(volume.mountA());
    ASSERT_EQ(before.exitCode, 1) << before.out;
    EXPECT_TRUE(
        contains(before.out, ": GlusterFS volume " + name + " from 127.0.0.1, FUSE client\n"))
        << before.out;
    EXPECT_TRUE(contains(before.out, "settings read from this client's mount options (" +
                                         volume.mountA() +
                                         "/.meta/cmdline) and the volume file the server "
                                         "127.0.0.1 gives clients"))
        << before.out;
    EXPECT_TRUE(contains(before.out, "direct-io-mode not given")) << before.out;
    EXPECT_TRUE(contains(before.out, "fresh bytes under a lock: does not hold\n")) << before.out;
    EXPECT_TRUE(contains(before.out, "  performance.quick-read is on: ")) << before.out;
    EXPECT_TRUE(contains(before.out, "  performance.stat-prefetch is on: ")) << before.out;
    for (const char* promise : {"share modes", "byte-range locks",
                                "removal and rename of held files", "the one-call append"}) {
        EXPECT_TRUE(contains(before.out, std::string(promise) + ": holds across machines\n"))
            << before.out;
    }
    EXPECT_TRUE(contains(before.out, "Other clients may be mounted or set up differently"));

    // Without the gluster command, the client's own graph tells the same.
    CheckRun fromGraph = check(volume.mountB(), "PATH=/nonexistent ");
    EXPECT_EQ(fromGraph.exitCode, 1) << fromGraph.out;
    EXPECT_TRUE(contains(fromGraph.out, "/.meta/cmdline) and this client's graph (" +
                                            volume.mountB() + "/.meta/graphs/active/volfile"))
        << fromGraph.out;
    EXPECT_TRUE(contains(fromGraph.out, "  performance.quick-read is on: ")) << fromGraph.out;

    std::vector<std::string> commands = printedCommands(before.out);
    ASSERT_FALSE(commands.empty()) << before.out;
    EXPECT_EQ(commands.front(), "gluster volume set " + name + " performance.quick-read off");
    for (const std::string& command : commands) {
        ASSERT_EQ(runShell(command).exitCode, 0) << command;
    }

    for (const std::string& mount : {volume.mountA(), volume.mountB()}) {
        CheckRun after = check(mount);
        EXPECT_EQ(after.exitCode, 0) << after.out;
        EXPECT_TRUE(contains(after.out, "  performance.quick-read is off\n")) << after.out;
        EXPECT_EQ(count(after.out, ": holds across machines\n"), 6u) << after.out;
        EXPECT_FALSE(contains(after.out, "To make them hold")) << after.out;
    }
    CheckRun json = check(volume.mountA() + " --json");
    EXPECT_EQ(json.exitCode, 0) << json.out;
    EXPECT_TRUE(contains(json.out, "\"volume\": \"" + name + "\"")) << json.out;
    EXPECT_TRUE(contains(json.out, "\"performance.quick-read\": \"off\"")) << json.out;
    EXPECT_TRUE(contains(json.out, "\"all_hold\": true}\n")) << json.out;
}

TEST_F(ClusterCheck, BrickDirectoryIsNamedAndItsLocksMissTheClients) {
    std::string file = "brick-check.bin";
    ASSERT_EQ(cFileWriteToFile(onA(file).c_str(), "0123456789abcdef"), CFILE_OK);

    CheckRun inBrickDirectory = check(brick() + "/" + file);
    EXPECT_EQ(inBrickDirectory.exitCode, 1) << inBrickDirectory.out;
    EXPECT_TRUE(contains(inBrickDirectory.out, ": brick directory " + brick() +
                                                   " of the GlusterFS "
                                                   "volume " +
                                                   volumeName() + ", on a local disk"))
        << inBrickDirectory.out;
    EXPECT_EQ(count(inBrickDirectory.out, ": does not hold\n"), 6u) << inBrickDirectory.out;
    EXPECT_TRUE(contains(inBrickDirectory.out, "mount -t glusterfs SERVER:/" + volumeName()))
        << inBrickDirectory.out;

    // What it says: a lock taken through a mount is not seen in the brick.
    cFileHandle onMount = CFILE_INVALID_HANDLE, inBrick = CFILE_INVALID_HANDLE;
    ASSERT_EQ(
        cFileOpen(onA(file).c_str(), CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE, &onMount),
        CFILE_OK);
    ASSERT_EQ(cFileLock(onMount, 0, 10), CFILE_OK);
    ASSERT_EQ(cFileOpen((brick() + "/" + file).c_str(),
                        CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE, &inBrick),
              CFILE_OK);
    EXPECT_EQ(cFileLock(inBrick, 0, 10), CFILE_OK);
    cFileClose(inBrick);
    cFileClose(onMount);
}

}  // namespace

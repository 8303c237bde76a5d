// A GlusterFS volume served on this machine and mounted twice, by two
// separate client processes, each standing for one machine: what one client
// caches, the other does not see, and locks meet only at the server.
//
// The volume lives for one test program (a GoogleTest environment): glusterd
// is started unless one runs already, a one-brick volume is created and
// started, and mounted at mountA() and mountB(). TearDown, which GoogleTest
// runs after failed tests too, unmounts, stops and deletes the volume and
// ends what it started. Where the volume cannot be had (not root, no FUSE,
// no GlusterFS), every test skips with the reason: never a pass.
#ifndef QORVEL_TESTS_CLUSTER_GLUSTER_H
#define QORVEL_TESTS_CLUSTER_GLUSTER_H

#include <gtest/gtest.h>

#include <linux/magic.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace qcluster {

// The client caches a test program's volume turns off: a program that checks
// data between the clients defines QORVEL_CLUSTER_CLIENT_CACHES_OFF before
// it includes this header; the others run on GlusterFS's defaults.
#ifdef QORVEL_CLUSTER_CLIENT_CACHES_OFF
inline const std::vector<std::string> kClientCaches = {"performance.quick-read",
                                                       "performance.stat-prefetch"};
#else
inline const std::vector<std::string> kClientCaches = {};
#endif

class GlusterVolume : public ::testing::Environment {
public:
    static GlusterVolume& instance() {
        static GlusterVolume* volume = new GlusterVolume;
        return *volume;
    }

    // Empty when the volume is mounted; otherwise why it is not.
    const std::string& unavailable() const { return unavailable_; }
    std::string mountA() const { return base_ + "/a"; }
    std::string mountB() const { return base_ + "/b"; }
    // The client process of mount A (the "machine" a test may lose).
    pid_t clientA() const { return readPid(base_ + "/a.pid"); }

    // Mounts A again after its client was lost.
    bool remountA() {
        umount2(mountA().c_str(), MNT_DETACH);
        return mount("a");
    }

    void SetUp() override {
        unavailable_ = missingPrerequisite();
        if (!unavailable_.empty()) return;
        char pattern[] = "/tmp/qorvel-gluster-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            unavailable_ = "no scratch directory";
            return;
        }
        base_ = pattern;
        volume_ = "qorvel-" + std::to_string(getpid());
        unavailable_ = start();
        if (!unavailable_.empty()) std::printf("[ cluster  ] %s\n", unavailable_.c_str());
    }

    void TearDown() override {
        if (base_.empty()) return;
        for (const char* side : {"a", "b"}) {
            umount2((base_ + "/" + side).c_str(), MNT_DETACH);
            pid_t client = readPid(base_ + "/" + side + ".pid");
            if (client > 0) ::kill(client, SIGKILL);
        }
        if (!volume_.empty()) {
            run("gluster --mode=script volume stop " + volume_ + " force");
            run("gluster --mode=script volume delete " + volume_);
        }
        if (startedDaemon_) {
            pid_t daemon = readPid(base_ + "/glusterd.pid");
            if (daemon > 0) ::kill(daemon, SIGTERM);
        }
        std::error_code ignored;
        std::filesystem::remove_all(base_, ignored);
    }

private:
    static bool run(const std::string& command) {
        return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
    }

    static pid_t readPid(const std::string& file) {
        std::ifstream in(file);
        long pid = 0;
        in >> pid;
        return static_cast<pid_t>(pid);
    }

    static std::string missingPrerequisite() {
        if (geteuid() != 0) return "GlusterFS needs root: not root";
        if (access("/dev/fuse", R_OK | W_OK) != 0) return "no FUSE: /dev/fuse cannot be opened";
        if (!run("command -v glusterd") || !run("command -v glusterfs")) {
            return "GlusterFS is not installed (glusterfs-server, glusterfs-client)";
        }
        return {};
    }

    static bool isFuse(const std::string& path) {
        struct statfs fileSystem;
        return statfs(path.c_str(), &fileSystem) == 0 &&
               static_cast<uint32_t>(fileSystem.f_type) == FUSE_SUPER_MAGIC;
    }

    // glusterd refuses a brick named by the loopback address itself; the
    // machine's own name, which resolves to one of its addresses, is taken.
    static std::string hostName() {
        char name[256] = {};
        gethostname(name, sizeof name - 1);
        return name;
    }

    std::string start() {
        if (!run("gluster --mode=script volume list")) {
            if (!run("glusterd -p " + base_ + "/glusterd.pid")) return "glusterd does not start";
            startedDaemon_ = true;
            if (!waitFor([] { return run("gluster --mode=script volume list"); })) {
                return "glusterd does not answer";
            }
        }
        std::filesystem::create_directories(base_ + "/brick");
        if (!run("gluster --mode=script volume create " + volume_ + " " + hostName() + ":" + base_ +
                 "/brick force")) {
            volume_.clear();
            return "the volume cannot be created";
        }
        // The client's own caches of small files and of attributes answer
        // reads for a second after another machine changed the file, under
        // a lock or not; hosts that share data turn them off
        // (docs/distributed.md), and so do the programs that test it.
        for (const std::string& cache : kClientCaches) {
            if (!run("gluster --mode=script volume set " + volume_ + " " + cache + " off")) {
                return "the volume refuses " + cache + " off";
            }
        }
        if (!run("gluster --mode=script volume start " + volume_))
            return "the volume does not start";
        if (!mount("a") || !mount("b")) return "the volume cannot be mounted (FUSE refused?)";
        return {};
    }

    bool mount(const std::string& side) {
        std::string point = base_ + "/" + side;
        std::filesystem::create_directories(point);
        if (!run("glusterfs --volfile-server=127.0.0.1 --volfile-id=" + volume_ +
                 " --pid-file=" + base_ + "/" + side + ".pid " + point)) {
            return false;
        }
        return waitFor([&] { return isFuse(point) && access(point.c_str(), W_OK) == 0; });
    }

    template <class Ready>
    static bool waitFor(Ready ready) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!ready()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }

    std::string unavailable_ = "not set up";
    std::string base_;
    std::string volume_;
    bool startedDaemon_ = false;
};

// Registers the volume for the test program (before main runs the tests).
inline const bool kVolumeRegistered =
    (::testing::AddGlobalTestEnvironment(&GlusterVolume::instance()), true);

// Tests on the volume: each skips, with the reason, where it is not mounted.
class OnTwoClients : public ::testing::Test {
protected:
    GlusterVolume& volume = GlusterVolume::instance();

    void SetUp() override {
        if (!volume.unavailable().empty()) GTEST_SKIP() << volume.unavailable();
    }
    // The same file seen through each client.
    std::string onA(const std::string& name) const { return volume.mountA() + "/" + name; }
    std::string onB(const std::string& name) const { return volume.mountB() + "/" + name; }
};

}  // namespace qcluster

#endif  // QORVEL_TESTS_CLUSTER_GLUSTER_H

// The GlusterFS engine of the two-mount fixture (two_mounts.h): glusterd is
// started unless one runs already, a one-brick volume named after this
// process is created and started, and each side is mounted by a glusterfs
// client process of its own. The stop deletes the volume and ends a glusterd
// the fixture started.
#ifndef QORVEL_TESTS_CLUSTER_GLUSTER_H
#define QORVEL_TESTS_CLUSTER_GLUSTER_H

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "two_mounts.h"

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

class GlusterVolume : public TwoMounts {
public:
    static GlusterVolume& instance() {
        static GlusterVolume* volume = new GlusterVolume;
        return *volume;
    }
    const char* name() const override { return "gluster"; }

protected:
    std::string missingPrerequisite() override {
        std::string missing = needRootAndFuse();
        if (!missing.empty()) return "GlusterFS needs root and FUSE: " + missing;
        if (!run("command -v glusterd") || !run("command -v glusterfs")) {
            return "GlusterFS is not installed (glusterfs-server, glusterfs-client)";
        }
        return {};
    }

    std::string start() override {
        volume_ = "qorvel-" + std::to_string(getpid());
        if (!run("gluster --mode=script volume list")) {
            if (!run("glusterd -p " + base() + "/glusterd.pid")) return "glusterd does not start";
            startedDaemon_ = true;
            if (!waitFor([] { return run("gluster --mode=script volume list"); })) {
                return "glusterd does not answer";
            }
        }
        std::filesystem::create_directories(base() + "/brick");
        if (!run("gluster --mode=script volume create " + volume_ + " " + hostName() + ":" +
                 base() + "/brick force")) {
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

    void stop() override {
        if (!volume_.empty()) {
            run("gluster --mode=script volume stop " + volume_ + " force");
            run("gluster --mode=script volume delete " + volume_);
        }
        if (startedDaemon_) {
            pid_t daemon = readPid(base() + "/glusterd.pid");
            if (daemon > 0) ::kill(daemon, SIGTERM);
        }
    }

    bool mount(const std::string& side) override {
        std::string point = base() + "/" + side;
        std::filesystem::create_directories(point);
        if (!run("glusterfs --volfile-server=127.0.0.1 --volfile-id=" + volume_ +
                 " --pid-file=" + clientPidFile(side) + " " + point)) {
            return false;
        }
        return waitFor([&] { return isFuse(point) && access(point.c_str(), W_OK) == 0; });
    }

    std::string clientPidFile(const std::string& side) const override {
        return base() + "/" + side + ".pid";
    }

private:
    // glusterd refuses a brick named by the loopback address itself; the
    // machine's own name, which resolves to one of its addresses, is taken.
    static std::string hostName() {
        char name[256] = {};
        gethostname(name, sizeof name - 1);
        return name;
    }

    std::string volume_;
    bool startedDaemon_ = false;
};

}  // namespace qcluster

#endif  // QORVEL_TESTS_CLUSTER_GLUSTER_H

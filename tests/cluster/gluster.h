// The GlusterFS engine of the two-mount fixture (two_mounts.h): glusterd is
// started unless one runs already, a one-brick volume named after this
// process is created and started, and each side is mounted by a glusterfs
// client process of its own. The stop deletes the volume and ends a glusterd
// the fixture started. Programs built for GlusterFS alone also reach the
// brick and mount A's connection to it, which CutOff below cuts.
#ifndef QORVEL_TESTS_CLUSTER_GLUSTER_H
#define QORVEL_TESTS_CLUSTER_GLUSTER_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "two_mounts.h"

namespace qcluster {

// Volume options. Every volume keeps a lock's holder from writing once its
// client lost the connection (client.strict-locks, which shared data needs:
// docs/distributed.md). A program that checks data between the clients
// defines QORVEL_CLUSTER_CLIENT_CACHES_OFF before it includes this header; one
// that cuts a client off defines QORVEL_CLUSTER_SHORT_TIMEOUTS, so that the
// server drops a silent client after seconds, not 42 s; the others run on
// GlusterFS's defaults.
inline const std::vector<std::pair<std::string, std::string>> kVolumeOptions = {
    {"client.strict-locks", "on"},
#ifdef QORVEL_CLUSTER_CLIENT_CACHES_OFF
    {"performance.quick-read", "off"},  {"performance.stat-prefetch", "off"},
#endif
#ifdef QORVEL_CLUSTER_SHORT_TIMEOUTS
    {"server.tcp-user-timeout", "5"},   {"server.keepalive-time", "2"},
    {"server.keepalive-interval", "1"}, {"server.keepalive-count", "3"},
#endif
};

class GlusterVolume : public TwoMounts {
public:
    static GlusterVolume& instance() {
        static GlusterVolume* volume = new GlusterVolume;
        return *volume;
    }
    const char* name() const override { return "gluster"; }

    // Where a cut-off connection's port is noted (CutOff).
    std::string cutRecord() const { return base() + "/cut-port"; }
    // Where the server keeps the volume's files.
    std::string brick() const { return base() + "/brick"; }

    // Mount A's client's connection to the brick (its other one goes to
    // glusterd, port 24007): the local port, and the socket's inode, which a
    // reconnect changes (it may take the same port again).
    struct Connection {
        int port = 0;
        unsigned long socket = 0;
    };
    Connection brickConnectionOfA() const {
        std::string owner = "pid=" + std::to_string(clientA()) + ",";
        FILE* sockets = popen("ss -tnpeH state established 2>/dev/null", "r");
        if (sockets == nullptr) return {};
        Connection found;
        char line[1024];
        while (found.port == 0 && fgets(line, sizeof line, sockets) != nullptr) {
            char local[128], peer[128];
            const char* inode = std::strstr(line, " ino:");
            if (std::strstr(line, owner.c_str()) == nullptr || inode == nullptr ||
                std::sscanf(line, "%*s %*s %127s %127s", local, peer) != 2 ||
                std::string(peer).rfind(":24007") != std::string::npos) {
                continue;
            }
            found.port = std::atoi(std::strrchr(local, ':') + 1);
            found.socket = std::strtoul(inode + 5, nullptr, 10);
        }
        pclose(sockets);
        return found;
    }

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
        for (const auto& [option, value] : kVolumeOptions) {
            if (!run("gluster --mode=script volume set " + volume_ + " " + option + " " + value)) {
                return "the volume refuses " + option + " " + value;
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

// A network partition between one client and the file server: the traffic of
// one connection on the loopback interface is dropped both ways, and nothing
// else (other volumes' clients on this machine keep theirs). The two rules go
// with the object, failed tests included, and nothing but them is removed;
// while they stand, the port is written in the file `record`, from which CI's
// cluster step removes them after a program that crashed.
class CutOff {
public:
    CutOff(int port, std::string record) : port_(std::to_string(port)), record_(std::move(record)) {
        std::ofstream(record_) << port_ << "\n";
        if (port <= 0) {
            unavailable_ = "the client has no connection to the brick";
        } else if (std::system("command -v iptables >/dev/null 2>&1") != 0) {
            unavailable_ = "iptables is not installed (Debian package iptables)";
        } else if (!rule("-I", "--sport")) {
            unavailable_ = "iptables refuses a rule (CAP_NET_ADMIN missing?)";
        } else if (!rule("-I", "--dport")) {
            rule("-D", "--sport");
            unavailable_ = "iptables refuses a rule (CAP_NET_ADMIN missing?)";
        }
        if (!unavailable_.empty()) std::remove(record_.c_str());
    }
    ~CutOff() { heal(); }
    CutOff(const CutOff&) = delete;
    CutOff& operator=(const CutOff&) = delete;

    // Empty when the connection is cut; otherwise why it is not.
    const std::string& unavailable() const { return unavailable_; }

    void heal() {
        if (!unavailable_.empty()) return;
        rule("-D", "--sport");
        rule("-D", "--dport");
        std::remove(record_.c_str());
        unavailable_ = "healed";
    }

private:
    // -w: other programs on the machine may change the tables at the same time.
    bool rule(const char* action, const char* direction) {
        return std::system(("iptables -w 10 " + std::string(action) + " INPUT -i lo -p tcp " +
                            direction + " " + port_ + " -j DROP >/dev/null 2>&1")
                               .c_str()) == 0;
    }

    std::string port_;
    std::string record_;
    std::string unavailable_;
};

}  // namespace qcluster

#endif  // QORVEL_TESTS_CLUSTER_GLUSTER_H

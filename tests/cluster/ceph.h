// The CephFS engine of the two-mount fixture (two_mounts.h): a one-machine
// Ceph cluster (a monitor, an object store daemon in memory, a metadata
// server) with one file system, mounted by two ceph-fuse client processes,
// client.a and client.b. ceph-cluster.sh beside this header starts and stops
// it; everything it makes lives in the fixture's scratch directory, and the
// monitor takes a free port, so the clusters of programs run at the same
// time never meet.
#ifndef QORVEL_TESTS_CLUSTER_CEPH_H
#define QORVEL_TESTS_CLUSTER_CEPH_H

#include <string>

#include "two_mounts.h"

namespace qcluster {

class CephCluster : public TwoMounts {
public:
    static CephCluster& instance() {
        static CephCluster* cluster = new CephCluster;
        return *cluster;
    }
    const char* name() const override { return "ceph"; }

protected:
    std::string missingPrerequisite() override {
        std::string missing = needRootAndFuse();
        if (!missing.empty()) return "CephFS needs root and FUSE: " + missing;
        for (const char* program : {"ceph-mon", "ceph-osd", "ceph-mds", "ceph", "ceph-fuse"}) {
            if (!run(std::string("command -v ") + program)) {
                return std::string(program) +
                       " is not installed (ceph-mon, ceph-osd, ceph-mds, ceph-common, ceph-fuse)";
            }
        }
        return {};
    }

    std::string start() override {
        if (!script("start")) return "the Ceph cluster does not start (see " + base() + "/log)";
        return {};
    }
    void stop() override { script("stop"); }
    bool mount(const std::string& side) override { return script("mount", side); }
    std::string clientPidFile(const std::string& side) const override {
        return base() + "/run/client." + side + ".pid";
    }

private:
    bool script(const std::string& command, const std::string& side = {}) {
        return run(std::string("bash ") + QORVEL_CEPH_CLUSTER_SCRIPT + " " + command + " " +
                   base() + " " + side);
    }
};

}  // namespace qcluster

#endif  // QORVEL_TESTS_CLUSTER_CEPH_H

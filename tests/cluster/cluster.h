// The file system a cluster test program runs on: each program is built once
// for GlusterFS and once for CephFS (QORVEL_CLUSTER_CEPH), so that one set of
// tests holds both engines to the same promises; a program about what only
// GlusterFS has (a partition cut at its brick's connection) is built for it
// alone.
#ifndef QORVEL_TESTS_CLUSTER_CLUSTER_H
#define QORVEL_TESTS_CLUSTER_CLUSTER_H

#include <gtest/gtest.h>

#include <string>

#ifdef QORVEL_CLUSTER_CEPH
#include "ceph.h"
#else
#include "gluster.h"
#endif

namespace qcluster {

#ifdef QORVEL_CLUSTER_CEPH
using Engine = CephCluster;
#else
using Engine = GlusterVolume;
#endif

// Registers the file system for the test program (before main runs the tests).
inline const bool kEngineRegistered =
    (::testing::AddGlobalTestEnvironment(&Engine::instance()), true);

// Tests on the two mounts: each skips, with the reason, where they are not.
class OnTwoClients : public ::testing::Test {
protected:
    // The engine itself: a program built for one engine alone may reach
    // what only that engine has (GlusterFS's brick).
    Engine& volume = Engine::instance();

    void SetUp() override {
        if (!volume.unavailable().empty()) GTEST_SKIP() << volume.unavailable();
    }
    // The same file seen through each client.
    std::string onA(const std::string& name) const { return volume.mountA() + "/" + name; }
    std::string onB(const std::string& name) const { return volume.mountB() + "/" + name; }
};

}  // namespace qcluster

#endif  // QORVEL_TESTS_CLUSTER_CLUSTER_H

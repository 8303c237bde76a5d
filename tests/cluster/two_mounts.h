// A shared file system served on this machine and mounted twice, by two
// separate client processes, each standing for one machine: what one client
// caches, the other does not see, and locks meet only at the server.
//
// The file system lives for one test program (a GoogleTest environment): an
// engine (gluster.h, ceph.h) starts its servers, makes the file system and
// mounts it at mountA() and mountB(). TearDown, which GoogleTest runs after
// failed tests too, unmounts, kills both clients and lets the engine end
// what it started. Where the file system cannot be had (not root, no FUSE,
// the engine's packages missing), every test skips with the reason: never a
// pass. Start and stop times are printed.
#ifndef QORVEL_TESTS_CLUSTER_TWO_MOUNTS_H
#define QORVEL_TESTS_CLUSTER_TWO_MOUNTS_H

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

namespace qcluster {

class TwoMounts : public ::testing::Environment {
public:
    // Empty when both mounts work; otherwise why they do not.
    const std::string& unavailable() const { return unavailable_; }
    std::string mountA() const { return base_ + "/a"; }
    std::string mountB() const { return base_ + "/b"; }
    // The client process of mount A (the "machine" a test may lose).
    pid_t clientA() const { return readPid(clientPidFile("a")); }
    // The engine's name, for messages.
    virtual const char* name() const = 0;
    // Mounts A again after its client was lost.
    bool remountA() {
        umount2(mountA().c_str(), MNT_DETACH);
        return mount("a");
    }

    void SetUp() override {
        unavailable_ = missingPrerequisite();
        if (!unavailable_.empty()) return;
        std::string pattern = std::string("/tmp/qorvel-") + name() + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            unavailable_ = "no scratch directory";
            return;
        }
        base_ = pattern;
        auto begin = std::chrono::steady_clock::now();
        unavailable_ = start();
        if (!unavailable_.empty()) {
            std::printf("[ cluster  ] %s\n", unavailable_.c_str());
        } else {
            std::printf("[ cluster  ] %s started and mounted twice in %.1f s\n", name(),
                        secondsSince(begin));
        }
    }

    void TearDown() override {
        if (base_.empty()) return;
        auto begin = std::chrono::steady_clock::now();
        for (const char* side : {"a", "b"}) {
            umount2((base_ + "/" + side).c_str(), MNT_DETACH);
            pid_t client = readPid(clientPidFile(side));
            if (client > 0) ::kill(client, SIGKILL);
        }
        stop();
        std::error_code ignored;
        std::filesystem::remove_all(base_, ignored);
        std::printf("[ cluster  ] %s stopped in %.1f s\n", name(), secondsSince(begin));
    }

protected:
    // Why the engine cannot run here, or empty.
    virtual std::string missingPrerequisite() = 0;
    // Starts the servers, makes the file system and mounts both sides;
    // answers why not, or empty.
    virtual std::string start() = 0;
    // Ends what start() started (the clients are gone already).
    virtual void stop() = 0;
    // Mounts side "a" or "b" at base()/side.
    virtual bool mount(const std::string& side) = 0;
    virtual std::string clientPidFile(const std::string& side) const = 0;

    const std::string& base() const { return base_; }

    static bool run(const std::string& command) {
        return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
    }

    static pid_t readPid(const std::string& file) {
        std::ifstream in(file);
        long pid = 0;
        in >> pid;
        return static_cast<pid_t>(pid);
    }

    static bool isFuse(const std::string& path) {
        struct statfs fileSystem;
        return statfs(path.c_str(), &fileSystem) == 0 &&
               static_cast<uint32_t>(fileSystem.f_type) == FUSE_SUPER_MAGIC;
    }

    static std::string needRootAndFuse() {
        if (geteuid() != 0) return std::string("not root");
        if (access("/dev/fuse", R_OK | W_OK) != 0) return "no FUSE: /dev/fuse cannot be opened";
        return {};
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

private:
    static double secondsSince(std::chrono::steady_clock::time_point begin) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    }

    std::string unavailable_ = "not set up";
    std::string base_;
};

}  // namespace qcluster

#endif  // QORVEL_TESTS_CLUSTER_TWO_MOUNTS_H

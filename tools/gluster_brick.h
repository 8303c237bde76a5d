// Whether a path lies inside the brick of a GlusterFS volume: the directory
// in which a server stores the volume's files. Hosts reach those files only
// through a mount of the volume: the server keeps the mounts' share modes and
// locks to itself, so a host working in the brick directory sees none of
// them, and the mounts see none of its own. Header-only, for `qorvel check`
// and for the tests of the cluster: the library itself never asks.
//
// A brick's root carries the volume's identity in the extended attribute
// trusted.glusterfs.volume-id, which only root may read, and holds the
// server's own directory .glusterfs, owned by root and shown to anyone who
// may list the root (a mount hides it).
#ifndef QORVEL_TOOLS_GLUSTER_BRICK_H
#define QORVEL_TOOLS_GLUSTER_BRICK_H

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <string>

namespace qorvel_cli {

inline bool isGlusterBrickRoot(const std::string& directory) {
    unsigned char volumeId[16];
    if (getxattr(directory.c_str(), "trusted.glusterfs.volume-id", volumeId, sizeof volumeId) ==
        ssize_t(sizeof volumeId)) {
        return true;
    }
    struct stat server;
    std::string own = directory == "/" ? "/.glusterfs" : directory + "/.glusterfs";
    return lstat(own.c_str(), &server) == 0 && S_ISDIR(server.st_mode) && server.st_uid == 0;
}

// True when `path`, or the nearest of its directories that exists, lies in a
// brick; its root is then stored in *brickRoot when that is given.
inline bool insideGlusterBrick(const std::string& path, std::string* brickRoot = nullptr) {
    std::string directory = path;
    char resolved[PATH_MAX];
    for (;;) {
        if (realpath(directory.c_str(), resolved) != nullptr) break;
        size_t slash = directory.find_last_of('/');
        if (slash == std::string::npos) {
            directory = ".";
        } else {
            directory.resize(slash == 0 ? 1 : slash);
        }
        if (directory == "." && realpath(".", resolved) == nullptr) return false;
    }
    for (directory = resolved;;) {
        if (isGlusterBrickRoot(directory)) {
            if (brickRoot != nullptr) *brickRoot = directory;
            return true;
        }
        if (directory == "/") return false;
        size_t slash = directory.find_last_of('/');
        directory.resize(slash == 0 ? 1 : slash);
    }
}

}  // namespace qorvel_cli

#endif  // QORVEL_TOOLS_GLUSTER_BRICK_H

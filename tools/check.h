// qorvel check: which of the library's promises hold for the files under a
// path. What holds depends on the file system under it and on the settings
// its client runs with: the platform half (check_linux.cpp,
// check_windows.cpp) names the file system and reads those settings, and
// the command (check.cpp) judges them by its table of promises.
#ifndef QORVEL_TOOLS_CHECK_H
#define QORVEL_TOOLS_CHECK_H

#include <map>
#include <string>
#include <vector>

namespace qorvel_cli {

enum class FileSystemKind {
    localDisk,     // a file system of this machine's own disks
    memory,        // tmpfs, ramfs
    overlay,       // overlayfs
    glusterfs,     // a GlusterFS volume through its FUSE client
    glusterBrick,  // a brick directory of a GlusterFS volume, under the volume
    cephKernel,    // CephFS through the kernel's client
    cephFuse,      // CephFS through ceph-fuse
    nfs,
    smb,           // the Linux kernel's SMB/CIFS client
    windowsShare,  // an SMB share reached by Windows' own client
    fuseOther,     // another FUSE file system (sshfs, ...)
    unknown,
};

struct FileSystem {
    FileSystemKind kind = FileSystemKind::unknown;
    std::string type;        // the system's own name: "ext4", "fuse.glusterfs", "NTFS"
    std::string source;      // what is mounted: a device, "server:volume", "\\server\share"
    std::string mountPoint;  // where; a volume root on Windows
    std::string server;      // for network file systems, when named
    std::string volume;      // the GlusterFS volume (its commands take this name)
    std::string version;     // the protocol version, where the mount names one (NFS)
    // The settings the client runs with, by the names that set them
    // ("performance.quick-read" -> "off", a mount option -> its value),
    // and where they were read.
    std::map<std::string, std::string> settings;
    std::string settingsSource;
    // What could not be seen, each a sentence for the reader.
    std::vector<std::string> unread;
};

// Names the file system under `path`; false with `error` set when the path
// cannot be looked at (it does not exist, or no permission to look).
bool inspectFileSystem(const std::string& path, FileSystem* fileSystem, std::string* error);

// The platform's own words for --help: what it can tell and from where.
extern const char* const kCheckPlatformHelp;

}  // namespace qorvel_cli

#endif  // QORVEL_TOOLS_CHECK_H

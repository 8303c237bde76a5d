// qorvel check on Linux: the mount under a path from /proc/self/mountinfo,
// and what its client runs with: a GlusterFS volume's options from the
// volume file its servers give clients, NFS and SMB mounts' options from the
// mount itself.
#ifdef __linux__

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "check.h"
#include "cli.h"
#include "gluster_brick.h"

namespace qorvel_cli {

const char* const kCheckPlatformHelp =
    "The file system is the mount under PATH (/proc/self/mountinfo). On a\n"
    "GlusterFS mount the volume's options are read from the volume file its\n"
    "servers give clients (gluster system:: getspec, which needs no privilege),\n"
    "else from the client's own graph (MOUNT/.meta), and its mount options from\n"
    "its command line (MOUNT/.meta/cmdline); the bricks' own options are given\n"
    "to no client and are not read. A directory of a local file system\n"
    "that is, or lies in, a GlusterFS brick is named as one (the brick's volume id\n"
    "needs root to read). NFS and SMB mounts are judged by their mount options.\n";

namespace {

struct MountEntry {
    long id = -1;
    unsigned major = 0, minor = 0;
    std::string mountPoint, type, source, superOptions;
};

// mountinfo writes a space, tab, newline and backslash in a field as \ooo.
std::string unescape(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3') {
            text += static_cast<char>(std::strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

bool parseMountLine(const std::string& line, MountEntry* entry) {
    std::istringstream in(line);
    std::string parent, devices, root, options, word;
    if (!(in >> entry->id >> parent >> devices >> root >> entry->mountPoint >> options))
        return false;
    while (in >> word && word != "-") {}
    if (!(in >> entry->type >> entry->source)) return false;
    in >> entry->superOptions;
    if (std::sscanf(devices.c_str(), "%u:%u", &entry->major, &entry->minor) != 2) return false;
    entry->mountPoint = unescape(entry->mountPoint);
    entry->source = unescape(entry->source);
    return true;
}

std::vector<MountEntry> readMounts() {
    std::vector<MountEntry> mounts;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        MountEntry entry;
        if (parseMountLine(line, &entry)) mounts.push_back(entry);
    }
    return mounts;
}

bool under(const std::string& path, const std::string& directory) {
    if (directory == "/") return true;
    return path.compare(0, directory.size(), directory) == 0 &&
           (path.size() == directory.size() || path[directory.size()] == '/');
}

// The mount of `path` (resolved): the one the kernel names by its id, else
// the deepest mount of the path's device that contains it.
bool findMount(const std::string& path, MountEntry* found) {
    struct statx status;
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_MNT_ID, &status) != 0) return false;
    std::vector<MountEntry> mounts = readMounts();
    bool haveId = (status.stx_mask & STATX_MNT_ID) != 0;
    bool any = false;
    for (const MountEntry& entry : mounts) {
        bool match = haveId ? static_cast<uint64_t>(entry.id) == status.stx_mnt_id
                            : entry.major == status.stx_dev_major &&
                                  entry.minor == status.stx_dev_minor &&
                                  under(path, entry.mountPoint) &&
                                  (!any || entry.mountPoint.size() >= found->mountPoint.size());
        if (match) {
            *found = entry;
            any = true;
        }
    }
    return any;
}

// "key=value" (or "key", value "on") from a comma-separated option list.
bool findOption(const std::string& options, const std::string& key, std::string* value) {
    std::istringstream in(options);
    std::string option;
    while (std::getline(in, option, ',')) {
        if (option == key) {
            *value = "on";
            return true;
        }
        if (option.compare(0, key.size() + 1, key + "=") == 0) {
            *value = option.substr(key.size() + 1);
            return true;
        }
    }
    return false;
}

// ---- GlusterFS ---------------------------------------------------------------------

// Runs a program with `arguments` and answers what it wrote to standard
// output; false when it cannot be run or fails. Standard input and error
// are /dev/null.
bool runProgram(const std::vector<std::string>& arguments, std::string* output) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return false;
    pid_t child = fork();
    if (child < 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return false;
    }
    if (child == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 2);
        dup2(pipeEnds[1], 1);
        std::vector<char*> argv;
        argv.reserve(arguments.size() + 1);
        for (const std::string& word : arguments) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    char block[4096];
    ssize_t got;
    while ((got = read(pipeEnds[0], block, sizeof block)) != 0) {
        if (got > 0) {
            output->append(block, static_cast<size_t>(got));
        } else if (errno != EINTR) {
            break;
        }
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string readWhole(const std::string& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// One translator of a volume file: "volume NAME", "type T", "option K V",
// ..., "end-volume".
struct Translator {
    std::string type;
    std::vector<std::pair<std::string, std::string>> options;
};

std::vector<Translator> parseVolumeFile(const std::string& text) {
    std::vector<Translator> graph;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string word, key, value;
        words >> word;
        if (word == "volume") {
            graph.emplace_back();
        } else if (graph.empty()) {
            continue;
        } else if (word == "type") {
            words >> graph.back().type;
        } else if (word == "option" && (words >> key >> value)) {
            graph.back().options.emplace_back(key, value);
        }
    }
    return graph;
}

// The volume options that decide promises, as the client graph shows them:
// a performance option that is off leaves its translator out; the client's
// own options are options of protocol/client, GlusterFS's default where none
// is given.
struct GraphSetting {
    const char* volumeOption;
    const char* translatorType;  // present means "on"
    const char* clientOption;    // else: an option of protocol/client
    const char* defaultValue;
};

const GraphSetting kGraphSettings[] = {
    {"performance.quick-read", "performance/quick-read", nullptr, nullptr},
    {"performance.stat-prefetch", "performance/md-cache", nullptr, nullptr},
    {"performance.write-behind", "performance/write-behind", nullptr, nullptr},
    {"client.strict-locks", nullptr, "strict-locks", "off"},
    {"network.ping-timeout", nullptr, "ping-timeout", "42"},
};

void readGraphSettings(const std::vector<Translator>& graph, FileSystem* fileSystem) {
    for (const GraphSetting& setting : kGraphSettings) {
        std::string value;
        for (const Translator& translator : graph) {
            if (setting.translatorType != nullptr) {
                if (translator.type == setting.translatorType) value = "on";
                continue;
            }
            if (translator.type != "protocol/client") continue;
            std::string own = setting.defaultValue;
            for (const auto& option : translator.options) {
                if (option.first == setting.clientOption) own = option.second;
            }
            // Several bricks: the weakest client decides; they are set alike.
            if (value.empty() || own == setting.defaultValue) value = own;
        }
        if (value.empty()) value = setting.translatorType != nullptr ? "off" : setting.defaultValue;
        fileSystem->settings[setting.volumeOption] = value;
    }
}

bool safeWord(const std::string& word) {
    if (word.empty() || word[0] == '-') return false;
    for (char c : word) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && std::strchr("._-:[]", c) == nullptr)
            return false;
    }
    return true;
}

// The options the client was mounted with, from its command line as it
// shows it (MOUNT/.meta/cmdline: {"Cmdlinestr": "glusterfs --OPTION=VALUE ..."}).
// A client translator's option given at the mount (VOLUME-client-N.strict-locks=on)
// counts as the volume's.
bool readGlusterMountOptions(const MountEntry& mount, FileSystem* fileSystem) {
    std::string text = readWhole(mount.mountPoint + "/.meta/cmdline");
    if (text.find("Cmdlinestr") == std::string::npos) {
        fileSystem->unread.push_back("this client's mount options (" + mount.mountPoint +
                                     "/.meta/cmdline)");
        return false;
    }
    std::string directIo = "not given (FUSE caches the pages)";
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        if (!word.empty() && word.back() == '"') word.pop_back();
        if (word.rfind("--direct-io-mode=", 0) == 0) directIo = word.substr(17);
        if (word.rfind("--xlator-option=", 0) == 0) {
            std::string option = word.substr(16);
            size_t equals = option.rfind('=');
            if (equals != std::string::npos) {
                std::string key = option.substr(0, equals), value = option.substr(equals + 1);
                fileSystem->settings["xlator-option " + key] = value;
                if (key.find("-client-") != std::string::npos && key.size() > 13 &&
                    key.compare(key.size() - 13, 13, ".strict-locks") == 0) {
                    fileSystem->settings["client.strict-locks"] = value;
                }
            }
        }
    }
    fileSystem->settings["direct-io-mode"] = directIo;
    return true;
}

// The volume's options as its clients get them; false when neither source
// answers.
bool readVolumeOptions(const MountEntry& mount, FileSystem* fileSystem) {
    std::string volumeFile;
    if (safeWord(fileSystem->server) && safeWord(fileSystem->volume) &&
        runProgram(
            {"gluster", "--mode=script", "--log-file=/dev/null", "--timeout=10",
             "--remote-host=" + fileSystem->server, "system::", "getspec", fileSystem->volume},
            &volumeFile) &&
        volumeFile.find("protocol/client") != std::string::npos) {
        fileSystem->settingsSource = "the volume file the server " + fileSystem->server +
                                     " gives clients (gluster system:: getspec " +
                                     fileSystem->volume + ")";
    } else {
        volumeFile = readWhole(mount.mountPoint + "/.meta/graphs/active/volfile");
        if (volumeFile.find("protocol/client") == std::string::npos) {
            fileSystem->unread.push_back(
                "the volume's options: the gluster command could not fetch its volume file "
                "from " +
                fileSystem->server + ", and the client shows no graph in " + mount.mountPoint +
                "/.meta");
            return false;
        }
        fileSystem->settingsSource =
            "this client's graph (" + mount.mountPoint +
            "/.meta/graphs/active/volfile; the gluster command could not fetch the volume "
            "file): options changed since it was built may not show there";
    }
    readGraphSettings(parseVolumeFile(volumeFile), fileSystem);
    return true;
}

void inspectGluster(const MountEntry& mount, FileSystem* fileSystem) {
    // The source is SERVER:VOLUME or SERVER:/VOLUME (an IPv6 server in brackets).
    size_t colon = mount.source.rfind(':');
    if (colon != std::string::npos) {
        fileSystem->server = mount.source.substr(0, colon);
        fileSystem->volume = mount.source.substr(colon + 1);
        if (!fileSystem->volume.empty() && fileSystem->volume[0] == '/')
            fileSystem->volume.erase(0, 1);
    }
    bool volumeRead = readVolumeOptions(mount, fileSystem);
    // Read after the volume's: an option the mount gives a translator wins.
    if (readGlusterMountOptions(mount, fileSystem)) {
        fileSystem->settingsSource = "this client's mount options (" + mount.mountPoint +
                                     "/.meta/cmdline)" +
                                     (volumeRead ? " and " + fileSystem->settingsSource : "");
    }
    fileSystem->unread.push_back(
        "the bricks' own options (server.*, features.locks-*), which no client is given: "
        "gluster volume get " +
        fileSystem->volume + " all, on a machine of the volume's pool");
}

// The volume's name for its id, where this machine serves it and may read
// glusterd's records (/var/lib/glusterd/vols/NAME/info).
std::string volumeNamed(const std::string& id) {
    const std::string records = "/var/lib/glusterd/vols";
    DIR* directory = opendir(records.c_str());
    if (directory == nullptr) return {};
    std::string name;
    while (struct dirent* entry = readdir(directory)) {
        std::ifstream info(records + "/" + entry->d_name + "/info");
        std::string line;
        while (std::getline(info, line)) {
            if (line == "volume-id=" + id) name = entry->d_name;
        }
    }
    closedir(directory);
    return name;
}

std::string uuidText(const unsigned char* bytes) {
    char text[40];
    std::snprintf(text, sizeof text,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                  bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

// A brick directory, told by gluster_brick.h; its volume is
// named where root may read the brick's volume id.
bool findBrick(const std::string& path, FileSystem* fileSystem) {
    std::string root;
    if (!insideGlusterBrick(path, &root)) return false;
    fileSystem->source = root;
    unsigned char id[16];
    if (getxattr(root.c_str(), "trusted.glusterfs.volume-id", id, sizeof id) != sizeof id) {
        fileSystem->unread.push_back("the brick's volume: its id needs root to read");
        return true;
    }
    fileSystem->volume = volumeNamed(uuidText(id));
    if (fileSystem->volume.empty()) {
        fileSystem->unread.push_back("the name of the brick's volume (id " + uuidText(id) +
                                     "): glusterd's records on this machine do not name it, or "
                                     "need root to read");
    }
    return true;
}

// ---- Kinds ---------------------------------------------------------------------------

FileSystemKind kindOf(const MountEntry& mount) {
    const std::string& type = mount.type;
    if (type == "fuse.glusterfs") return FileSystemKind::glusterfs;
    if (type == "ceph") return FileSystemKind::cephKernel;
    if (type == "fuse.ceph-fuse" || type == "fuse.ceph") return FileSystemKind::cephFuse;
    if (type == "nfs" || type == "nfs4") return FileSystemKind::nfs;
    if (type == "cifs" || type == "smb3" || type == "smbfs") return FileSystemKind::smb;
    if (type == "tmpfs" || type == "ramfs") return FileSystemKind::memory;
    if (type == "overlay") return FileSystemKind::overlay;
    // A FUSE file system on a block device of this machine (ntfs-3g, ...).
    if (type == "fuseblk") return FileSystemKind::localDisk;
    if (type == "fuse" || type.compare(0, 5, "fuse.") == 0) return FileSystemKind::fuseOther;
    // Shared-disk and network file systems this program has no row for.
    for (const char* shared : {"9p", "afs", "lustre", "gfs2", "ocfs2", "virtiofs", "beegfs", "gpfs",
                               "orangefs", "smb2"}) {
        if (type == shared) return FileSystemKind::unknown;
    }
    // Anything else mounted from a block device of this machine.
    if (mount.major != 0) return FileSystemKind::localDisk;
    for (const char* local : {"btrfs", "zfs", "bcachefs", "f2fs"}) {
        if (type == local) return FileSystemKind::localDisk;
    }
    return FileSystemKind::unknown;
}

// A virtual extended attribute of CephFS, read at the mount; empty if none.
std::string cephAttribute(const std::string& mountPoint, const char* name) {
    char value[256];
    ssize_t size = getxattr(mountPoint.c_str(), name, value, sizeof value);
    return size > 0 ? std::string(value, static_cast<size_t>(size)) : std::string();
}

// CephFS names its cluster and this client's session by virtual attributes.
void inspectCeph(const MountEntry& mount, FileSystem* fileSystem) {
    std::string cluster = cephAttribute(mount.mountPoint, "ceph.cluster_fsid");
    std::string client = cephAttribute(mount.mountPoint, "ceph.client_id");
    if (cluster.empty()) {
        fileSystem->unread.push_back("the cluster's id (ceph.cluster_fsid)");
        return;
    }
    fileSystem->source = "cluster " + cluster + (client.empty() ? "" : ", session " + client);
}

void readMountSettings(const MountEntry& mount, FileSystem* fileSystem) {
    std::string value;
    if (fileSystem->kind == FileSystemKind::nfs) {
        if (findOption(mount.superOptions, "vers", &value)) fileSystem->version = value;
        if (findOption(mount.superOptions, "local_lock", &value)) {
            fileSystem->settings["local_lock"] = value;
        } else if (fileSystem->version.compare(0, 1, "4") == 0) {
            // A kernel that lists no local_lock for NFSv4 takes none there: every
            // lock goes to the server.
            fileSystem->settings["local_lock"] = "none";
        }
        fileSystem->settingsSource = "the mount's options (/proc/self/mountinfo)";
    } else if (fileSystem->kind == FileSystemKind::smb) {
        if (findOption(mount.superOptions, "vers", &value)) fileSystem->version = value;
        fileSystem->settings["nobrl"] =
            findOption(mount.superOptions, "nobrl", &value) ? "on" : "off";
        if (findOption(mount.superOptions, "cache", &value)) fileSystem->settings["cache"] = value;
        fileSystem->settingsSource = "the mount's options (/proc/self/mountinfo)";
    }
}

}  // namespace

bool inspectFileSystem(const std::string& path, FileSystem* fileSystem, std::string* error) {
    char resolved[PATH_MAX];
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || realpath(path.c_str(), resolved) == nullptr) {
        *error = errno == ENOENT || errno == ENOTDIR ? "it does not exist"
                 : errno == EACCES
                     ? "no permission to look (" + std::string(std::strerror(errno)) + ")"
                     : std::strerror(errno);
        return false;
    }
    MountEntry mount;
    if (!findMount(resolved, &mount)) {
        *error = "its mount is not listed in /proc/self/mountinfo";
        return false;
    }
    fileSystem->kind = kindOf(mount);
    fileSystem->type = mount.type;
    fileSystem->source = mount.source;
    fileSystem->mountPoint = mount.mountPoint;
    if (fileSystem->kind == FileSystemKind::glusterfs) {
        inspectGluster(mount, fileSystem);
    } else if (fileSystem->kind == FileSystemKind::localDisk ||
               fileSystem->kind == FileSystemKind::memory) {
        if (findBrick(resolved, fileSystem)) fileSystem->kind = FileSystemKind::glusterBrick;
    } else if (fileSystem->kind == FileSystemKind::cephFuse ||
               fileSystem->kind == FileSystemKind::cephKernel) {
        inspectCeph(mount, fileSystem);
    } else {
        readMountSettings(mount, fileSystem);
    }
    return true;
}

}  // namespace qorvel_cli

#endif  // __linux__

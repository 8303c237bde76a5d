// qorvel holders on Linux: every process's descriptors in /proc, the locks
// the kernel publishes per descriptor (/proc/PID/fdinfo/FD), read back
// through the library's lock-space layout.
#ifdef __linux__

#include <dirent.h>
#include <fcntl.h>
#include <linux/kcmp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "holders.h"
// The layout of the library's locks and how each is read back: header only.
#include "platform/posix/lock_space.h"

namespace qorvel_cli {

const char* const kHoldersPlatformHelp =
    "Looks through every process's open descriptors (/proc/PID/fd) for PATH and\n"
    "prints, per process, its id, command name and user, and per descriptor the\n"
    "mode word of the handle (access and sharing, read back from the share-mode\n"
    "locks the library publishes, as the kernel lists them in /proc/PID/fdinfo)\n"
    "and the byte ranges it locks. A descriptor without a share mode was opened\n"
    "without the library (or with no access, sharing everything). A child that\n"
    "inherited a handle holds it too and is listed. Processes of other users\n"
    "can be looked into only by root: they are counted, and locks on PATH that\n"
    "no inspected descriptor accounts for (/proc/locks) are said.\n";

namespace {

namespace layout = qorvel::platform::posix;

// One open-file-description lock as the kernel lists it; `end` is the last
// byte (UINT64_MAX for a lock to the end of the file, "EOF").
struct KernelLock {
    bool write;
    uint64_t start;
    uint64_t end;
};

// One descriptor on the file, as its fdinfo shows it.
struct Descriptor {
    int fd;
    int flags;
    std::vector<KernelLock> locks;
};

// ---- The library's locks read back (lock_space.h) ----------------------------------

layout::Extent extentOf(const KernelLock& lock) {
    return {static_cast<off_t>(lock.start),
            lock.end == UINT64_MAX ? 0 : static_cast<off_t>(lock.end + 1)};
}

layout::PublishedShare decodeShareLocks(const std::vector<KernelLock>& locks) {
    using layout::RegionHold;
    RegionHold holds[3] = {RegionHold::kNone, RegionHold::kNone, RegionHold::kNone};
    const off_t regions[3] = {layout::kShareDenialRegion, layout::kShareReadRegion,
                              layout::kShareWriteRegion};
    for (const KernelLock& lock : locks) {
        layout::Extent extent = extentOf(lock);
        if (layout::roleOf(extent) != layout::LockRole::kShareMode) continue;
        for (int i = 0; i < 3; ++i) {
            holds[i] = std::max(holds[i], layout::regionHold(extent, lock.write, regions[i]));
        }
    }
    return layout::shareFrom(holds[0], holds[1], holds[2]);
}

// The byte ranges a host locked, and its zero-length locks (one per offset
// with a mark). The marks beside a read handle's ranges are not ranges.
std::vector<LockedRange> lockedRanges(const std::vector<KernelLock>& locks) {
    std::vector<LockedRange> ranges;
    for (const KernelLock& lock : locks) {
        layout::Extent extent = extentOf(lock);
        switch (layout::roleOf(extent)) {
            case layout::LockRole::kByteRange:
                ranges.push_back({lock.start, lock.end - lock.start + 1});
                break;
            case layout::LockRole::kZeroLength:
                ranges.push_back({layout::zeroLengthOffset(extent.first), 0});
                break;
            default: break;
        }
    }
    return ranges;
}

cFileMode accessOf(int flags) {
    if (flags & O_PATH) return 0;
    switch (flags & O_ACCMODE) {
        case O_RDONLY: return CFILE_ACCESS_READ;
        case O_WRONLY: return CFILE_ACCESS_WRITE;
        case O_RDWR: return CFILE_ACCESS_READWRITE;
        default: return 0;  // access mode 3: a handle without data access
    }
}

cFileMode sharingOf(const layout::PublishedShare& roles) {
    if (!roles.deniesRead && !roles.deniesWrite) return CFILE_SHARE_READWRITE;
    if (!roles.deniesWrite) return CFILE_SHARE_WRITE;
    if (!roles.deniesRead) return CFILE_SHARE_READ;
    return 0;
}

// Each descriptor is one handle: its access is the descriptor's own, its
// sharing what its locks deny.
std::vector<HeldHandle> handlesOf(const std::vector<Descriptor>& descriptors) {
    std::vector<HeldHandle> handles;
    for (const Descriptor& descriptor : descriptors) {
        layout::PublishedShare roles = decodeShareLocks(descriptor.locks);
        HeldHandle handle;
        handle.descriptor = descriptor.fd;
        handle.modeKnown = roles.published;
        handle.mode = static_cast<cFileMode>(accessOf(descriptor.flags) | sharingOf(roles));
        handle.locks = lockedRanges(descriptor.locks);
        handles.push_back(handle);
    }
    return handles;
}

// ---- What the kernel publishes ---------------------------------------------------

bool readText(const std::string& name, std::string* text) {
    std::ifstream in(name, std::ios::binary);
    if (!in) return false;
    std::stringstream all;
    all << in.rdbuf();
    *text = all.str();
    return true;
}

uint64_t parseEnd(const std::string& word) {
    return word == "EOF" ? UINT64_MAX : std::strtoull(word.c_str(), nullptr, 10);
}

// "1: OFDLCK ADVISORY  WRITE -1 fe:00:10953927 100 EOF" (the text after
// "lock:" in fdinfo, a whole line of /proc/locks). Only OFD locks are the
// library's; POSIX and flock locks answer false. `file` gets "fe:00:10953927".
bool parseLockLine(const std::string& line, KernelLock* lock, std::string* file) {
    std::istringstream words(line);
    std::string id, kind, strength, type, pid, start, end;
    if (!(words >> id >> kind >> strength >> type >> pid >> *file >> start >> end)) return false;
    if (kind != "OFDLCK") return false;
    lock->write = type == "WRITE";
    lock->start = std::strtoull(start.c_str(), nullptr, 10);
    lock->end = parseEnd(end);
    return true;
}

bool readDescriptor(const std::string& process, int fd, Descriptor* descriptor) {
    std::string text;
    if (!readText(process + "/fdinfo/" + std::to_string(fd), &text)) return false;
    descriptor->fd = fd;
    std::istringstream lines(text);
    std::string line, file;
    while (std::getline(lines, line)) {
        if (line.compare(0, 6, "flags:") == 0) {
            descriptor->flags = static_cast<int>(std::strtol(line.c_str() + 6, nullptr, 8));
        } else if (line.compare(0, 5, "lock:") == 0) {
            KernelLock lock;
            if (parseLockLine(line.substr(5), &lock, &file)) descriptor->locks.push_back(lock);
        }
    }
    return true;
}

std::string userName(uid_t uid) {
    struct passwd entry, *found = nullptr;
    char buffer[1024];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
        return found->pw_name;
    }
    return std::to_string(uid);
}

struct Target {
    dev_t device;
    ino_t inode;
    std::string path;
};

// Whether the descriptor named by `link` (/proc/PID/fd/FD) is open on the
// file. The kernel's cached identity answers: a file on a network or FUSE
// file system whose server no longer replies (a lost client, a stopped
// daemon) would otherwise hold the look up, and with it the whole search.
bool isDescriptorOf(const Target& target, const std::string& link) {
    struct statx status;
    if (statx(AT_FDCWD, link.c_str(), AT_STATX_DONT_SYNC, STATX_INO, &status) != 0) return false;
    return makedev(status.stx_dev_major, status.stx_dev_minor) == target.device &&
           status.stx_ino == target.inode;
}

// The process's descriptors on the file; false when its descriptors cannot
// be listed (another user's process) or it is gone.
bool descriptorsOn(const Target& target, const std::string& process, std::vector<Descriptor>* found,
                   bool* refused) {
    DIR* directory = opendir((process + "/fd").c_str());
    if (directory == nullptr) {
        *refused = errno == EACCES || errno == EPERM;
        return false;
    }
    while (struct dirent* entry = readdir(directory)) {
        if (entry->d_name[0] == '.') continue;
        if (!isDescriptorOf(target, process + "/fd/" + entry->d_name)) continue;
        Descriptor descriptor{std::atoi(entry->d_name), 0, {}};
        if (readDescriptor(process, descriptor.fd, &descriptor)) found->push_back(descriptor);
    }
    closedir(directory);
    return true;
}

// An open file description seen earlier (a descriptor another process
// inherited, or a duplicate): its locks are counted once.
struct Seen {
    pid_t pid;
    int fd;
    size_t locks;
};

bool sameDescription(const Seen& seen, pid_t pid, int fd) {
    return syscall(SYS_kcmp, seen.pid, pid, KCMP_FILE, seen.fd, fd) == 0;
}

size_t newLocks(std::vector<Seen>* seen, pid_t pid, const Descriptor& descriptor) {
    if (descriptor.locks.empty()) return 0;
    for (const Seen& earlier : *seen) {
        if (earlier.locks == descriptor.locks.size() &&
            sameDescription(earlier, pid, descriptor.fd))
            return 0;
    }
    seen->push_back({pid, descriptor.fd, descriptor.locks.size()});
    return descriptor.locks.size();
}

// OFD locks the kernel lists for the file, by any process.
size_t kernelLockCount(const Target& target) {
    std::string text, file;
    if (!readText("/proc/locks", &text)) return 0;
    char name[64];
    std::snprintf(name, sizeof name, "%02x:%02x:%llu", major(target.device), minor(target.device),
                  static_cast<unsigned long long>(target.inode));
    std::istringstream lines(text);
    std::string line;
    size_t count = 0;
    while (std::getline(lines, line)) {
        KernelLock lock;
        if (line.find("->") == std::string::npos && parseLockLine(line, &lock, &file) &&
            file == name) {
            ++count;
        }
    }
    return count;
}

Holder holderOf(const std::string& process, pid_t pid, const std::vector<Descriptor>& found) {
    Holder holder;
    holder.pid = static_cast<uint32_t>(pid);
    readText(process + "/comm", &holder.command);
    while (!holder.command.empty() && holder.command.back() == '\n') holder.command.pop_back();
    struct stat status;
    if (stat(process.c_str(), &status) == 0) holder.user = userName(status.st_uid);
    holder.handles = handlesOf(found);
    return holder;
}

}  // namespace

bool findHolders(const std::string& path, HolderSearch* search, std::string* error) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    Target target{status.st_dev, status.st_ino, path};
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        *error = std::string("cannot list /proc: ") + std::strerror(errno);
        return false;
    }
    std::vector<Seen> seen;
    size_t locksSeen = 0;
    pid_t self = getpid();
    while (struct dirent* entry = readdir(proc)) {
        pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0 || pid == self) continue;
        std::string process = std::string("/proc/") + entry->d_name;
        std::vector<Descriptor> found;
        bool refused = false;
        if (!descriptorsOn(target, process, &found, &refused)) {
            if (refused) ++search->uninspected;
            continue;
        }
        if (found.empty()) continue;
        for (const Descriptor& descriptor : found) locksSeen += newLocks(&seen, pid, descriptor);
        search->holders.push_back(holderOf(process, pid, found));
    }
    closedir(proc);
    size_t locksListed = kernelLockCount(target);
    if (locksListed > locksSeen) {
        search->heldUnseen = true;
        search->unseen.push_back(
            std::to_string(locksListed - locksSeen) +
            " lock(s) on the file in /proc/locks belong to no descriptor looked into: held by a "
            "process that could not be inspected");
    }
    return true;
}

}  // namespace qorvel_cli

#endif  // __linux__

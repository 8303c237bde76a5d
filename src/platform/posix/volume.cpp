// GetCurrentDirectoryA, GetTempPathA and GetDiskFreeSpaceA for POSIX, and the
// choice of what to measure for a path on a system without drives.
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/paths.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform {
namespace posix {
namespace {

// Hands a directory to a caller's buffer as Windows does: the length without
// the NUL when it fits, else the size needed with the NUL, and the buffer
// left untouched.
uint32_t deliverDirectory(const std::string& directory, uint32_t bufferSize, char* buffer) {
    uint32_t length = uint32_t(directory.size());
    if (buffer == nullptr || length >= bufferSize) return length + 1;
    std::memcpy(buffer, directory.c_str(), size_t(length) + 1);
    return length;
}

// The current directory at any length (getcwd refuses a buffer too small).
bool currentDirectory(std::string* directory) {
    for (size_t size = PATH_MAX;; size *= 2) {
        directory->resize(size);
        if (sys.getcwd(&(*directory)[0], size) != nullptr) {
            directory->resize(std::strlen(directory->c_str()));
            return true;
        }
        if (errno != ERANGE || size > (size_t(1) << 24)) return false;
    }
}

// TMPDIR when it names a directory, else /tmp; always with exactly one
// closing separator, as Windows' answer has one.
std::string temporaryDirectory() {
    const char* variable = std::getenv("TMPDIR");
    std::string directory =
        variable != nullptr && variable[0] != '\0' && isDirectory(variable) ? variable : "/tmp";
    while (!directory.empty() && directory.back() == '/') directory.pop_back();
    return directory + '/';
}

// Windows reports clusters of 512-byte sectors; a filesystem block that is
// not a whole number of sectors is reported as one sector.
void splitBlockSize(uint64_t blockSize, uint32_t* sectorsPerCluster, uint32_t* bytesPerSector) {
    constexpr uint64_t kSector = 512;
    if (blockSize % kSector == 0 && blockSize / kSector <= UINT32_MAX) {
        *sectorsPerCluster = uint32_t(blockSize / kSector);
        *bytesPerSector = uint32_t(kSector);
    } else {
        *sectorsPerCluster = 1;
        *bytesPerSector = blockSize <= UINT32_MAX ? uint32_t(blockSize) : UINT32_MAX;
    }
}

uint32_t clampedCount(uint64_t count) { return count <= UINT32_MAX ? uint32_t(count) : UINT32_MAX; }

// The nearest ancestor of a path that exists: the path's own names are
// dropped from the end, one at a time; a relative path ends at ".". Names
// longer than the kernel takes are skipped without asking it.
std::string nearestExistingAncestor(const char* path) {
    std::string candidate(path);
    for (;;) {
        candidate = splitPath(candidate).directory;
        if (candidate == "." || candidate == "/") return candidate;
        struct stat status;
        if (candidate.size() < PATH_MAX && sys.stat(candidate.c_str(), &status) == 0) {
            return candidate;
        }
    }
}

}  // namespace
}  // namespace posix

using namespace posix;

uint32_t getCurrentDirectory(uint32_t bufferSize, char* buffer) {
    std::string directory;
    if (!currentDirectory(&directory)) {
        return failAnswering(0, win32ErrorFromErrno(errno));
    }
    return deliverDirectory(directory, bufferSize, buffer);
}

uint32_t getTempPath(uint32_t bufferSize, char* buffer) {
    return deliverDirectory(temporaryDirectory(), bufferSize, buffer);
}

bool getDiskFreeSpace(const char* root, uint32_t* sectorsPerCluster, uint32_t* bytesPerSector,
                      uint32_t* freeClusters, uint32_t* totalClusters) {
    struct statvfs volume;
    if (sys.statvfs(root, &volume) != 0) return failWithErrnoForPath(errno, root);
    // The space the caller may use: f_bavail, not the blocks kept for root.
    uint64_t blockSize = volume.f_frsize != 0 ? volume.f_frsize : volume.f_bsize;
    splitBlockSize(blockSize, sectorsPerCluster, bytesPerSector);
    *freeClusters = clampedCount(volume.f_bavail);
    *totalClusters = clampedCount(volume.f_blocks);
    return true;
}

// A path the file-status query accepts is measured on its own filesystem; a
// path it refuses, on the filesystem of its nearest existing ancestor.
bool volumeRootFor(const char* path, const FileStatRecord* status, std::string* root) {
    *root = status != nullptr ? std::string(path) : nearestExistingAncestor(path);
    return true;
}

}  // namespace qorvel::platform

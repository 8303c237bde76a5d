// GetCurrentDirectoryA, GetTempPathA and GetDiskFreeSpaceA: KERNEL32's own,
// and the drive root to measure for a path.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/kernel32.h"

namespace qorvel::platform {

using win32::kernel32;

uint32_t getCurrentDirectory(uint32_t bufferSize, char* buffer) {
    return kernel32.GetCurrentDirectoryA(bufferSize, buffer);
}

uint32_t getTempPath(uint32_t bufferSize, char* buffer) {
    return kernel32.GetTempPathA(bufferSize, buffer);
}

bool getDiskFreeSpace(const char* root, uint32_t* sectorsPerCluster, uint32_t* bytesPerSector,
                      uint32_t* freeClusters, uint32_t* totalClusters) {
    // DWORD is unsigned long here: the values travel through variables of that
    // type and are stored only when the call succeeds.
    DWORD sectors = 0, bytes = 0, free = 0, total = 0;
    if (!kernel32.GetDiskFreeSpaceA(root, &sectors, &bytes, &free, &total)) return false;
    *sectorsPerCluster = sectors;
    *bytesPerSector = bytes;
    *freeClusters = free;
    *totalClusters = total;
    return true;
}

namespace {

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool isNetworkPath(const char* path) { return path[0] == '\\' && path[1] == '\\'; }

std::string driveRoot(char letter) { return std::string(1, letter) + ":\\"; }

}  // namespace

// A path the C run time accepts is measured on the drive it reports; one it
// refuses, on the drive of its first letter. Network paths, and refused paths
// that do not begin with a letter, are climbed.
bool volumeRootFor(const char* path, const FileStatRecord* status, std::string* root) {
    if (status != nullptr && !isNetworkPath(path)) {
        *root = driveRoot(char('A' + status->drive));
        return true;
    }
    if (status == nullptr && isAsciiLetter(path[0])) {
        *root = driveRoot(path[0]);
        return true;
    }
    return false;
}

}  // namespace qorvel::platform

// The current directory, the temporary directory, and the free space of the
// volume that holds a path.
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "status/status.h"

namespace qorvel::path {
namespace {

using platform::win32error::kFilenameExcedRange;

// Both directory queries answer the length written (at most 260), or the
// size they would need; a directory that does not fit is a failure, never a
// truncated path.
bool fitsDirectoryBuffer(uint32_t answer) { return answer < CFILE_DIR_BUFFER_SIZE; }

cFileStatus currentDirectory(char* buffer) {
    // The platform writes into a buffer of the library's own, so the caller's
    // buffer stays untouched unless the whole directory fits.
    char directory[CFILE_DIR_BUFFER_SIZE];
    uint32_t answer = platform::getCurrentDirectory(CFILE_DIR_BUFFER_SIZE, directory);
    if (answer == 0) return cFileTranslateError(platform::lastError());
    if (!fitsDirectoryBuffer(answer)) return cFileTranslateError(kFilenameExcedRange);
    // strncpy semantics: the directory, then NUL bytes up to the buffer's end.
    std::memset(buffer, 0, CFILE_DIR_BUFFER_SIZE);
    std::memcpy(buffer, directory, answer);
    return 0;
}

cFileStatus tempDirectory(char* buffer) {
    // The platform leaves the buffer untouched when the directory does not fit.
    uint32_t answer = platform::getTempPath(CFILE_DIR_BUFFER_SIZE, buffer);
    if (answer == 0) return cFileTranslateError(platform::lastError());
    if (!fitsDirectoryBuffer(answer)) return cFileTranslateError(kFilenameExcedRange);
    return 0;
}

// The four values of the platform's free-space query. They keep what earlier
// queries of the same call stored: a failed query writes nothing.
struct VolumeValues {
    uint32_t sectorsPerCluster = 0;
    uint32_t bytesPerSector = 0;
    uint32_t freeClusters = 0;
    uint32_t totalClusters = 0;
};

bool queryFreeSpace(const char* root, VolumeValues* values) {
    return platform::getDiskFreeSpace(root, &values->sectorsPerCluster, &values->bytesPerSector,
                                      &values->freeClusters, &values->totalClusters);
}

// Free bytes, saturated at 0xFFFFFFFF: a figure taken modulo 2^32 would make
// a volume with room look full (or, at exactly 4 GiB, empty).
uint32_t freeBytesOf(const VolumeValues& values) {
    constexpr uint64_t kMost = 0xFFFFFFFFu;
    uint64_t cluster = uint64_t(values.sectorsPerCluster) * values.bytesPerSector;
    if (values.freeClusters != 0 && cluster > kMost / values.freeClusters) return uint32_t(kMost);
    return uint32_t(cluster * values.freeClusters);
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// The position of the separator that ends the parent of `copy`, which itself
// ends in a separator; npos when there is no parent left to measure.
size_t parentEnd(const std::string& copy) {
    if (copy.size() < 2) return std::string::npos;
    for (size_t i = copy.size() - 1; i-- > 0;) {
        if (isSeparator(copy[i])) return i == 0 ? std::string::npos : i;
    }
    return std::string::npos;
}

// Measures the path with a separator added, then each parent in turn, until a
// level reports free space; when the last query of the climb failed, the path
// as given is the final query. The copy grows with the path: any length.
bool climbToVolume(const char* path, VolumeValues* values) {
    std::string copy(path);
    if (!isSeparator(copy.back())) copy += '\\';
    bool measured = false;
    for (;;) {
        measured = queryFreeSpace(copy.c_str(), values);
        if (freeBytesOf(*values) != 0) break;
        size_t end = parentEnd(copy);
        if (end == std::string::npos) break;
        copy.resize(end + 1);
    }
    return measured || queryFreeSpace(path, values);
}

// A path the file-status query refuses is still measured; the answer is then
// the query's failure, with the free space stored.
cFileStatus diskFree(const char* path, uint32_t* freeBytes) {
    *freeBytes = 0;
    VolumeValues values;
    platform::FileStatRecord record;
    bool known = platform::statFile(path, platform::StatusUse::kWithoutReadOnlyState, &record);
    cFileStatus result = known ? 0 : cFileTranslateError(uint32_t(platform::crtErrno()));
    std::string root;
    bool measured = platform::volumeRootFor(path, known ? &record : nullptr, &root)
                        ? queryFreeSpace(root.c_str(), &values)
                        : climbToVolume(path, &values);
    if (!measured) return cFileTranslateError(platform::lastError());
    *freeBytes = freeBytesOf(values);
    return result;
}

}  // namespace
}  // namespace qorvel::path

using namespace qorvel;

extern "C" {

QORVEL_API cFileStatus QORVEL_CALL cFileGetCurrentDir(char* buffer) {
    if (buffer == nullptr) return invalidArgument();
    return path::currentDirectory(buffer);
}

QORVEL_API cFileStatus QORVEL_CALL cFileGetTempDir(char* buffer) {
    if (buffer == nullptr) return invalidArgument();
    return path::tempDirectory(buffer);
}

QORVEL_API cFileStatus QORVEL_CALL cFileGetDiskFree(const char* path, uint32_t* freeBytes) {
    if (path == nullptr || freeBytes == nullptr || path[0] == '\0') {
        return invalidArgument();
    }
    return path::diskFree(path, freeBytes);
}

}  // extern "C"

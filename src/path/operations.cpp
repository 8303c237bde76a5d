// Operations on files and directories named by path: remove, rename, make and
// remove directories, size and existence.
#include "path/operations.h"

#include "platform/platform.h"
#include "status/status.h"

namespace qorvel::path {
namespace {

// One platform call that answers true or false, as a status word.
cFileStatus statusOf(bool succeeded) {
    return succeeded ? 0 : cFileTranslateError(platform::lastError());
}

bool isEmpty(const char* path) { return path[0] == '\0'; }

cFileStatus invalidArgument() { return libraryStatus(CFILE_ERR_INVALID_ARG); }

}  // namespace

cFileStatus sizeByName(const char* path, uint32_t* size) {
    *size = 0;
    uint32_t answer = platform::getCompressedFileSize(path);
    // Every all-ones answer is a failure: the platform refuses sizes that do
    // not fit below it.
    if (answer == platform::kInvalidFileSize) return cFileTranslateError(platform::lastError());
    *size = answer;
    return 0;
}

}  // namespace qorvel::path

using namespace qorvel;

extern "C" {

QORVEL_API cFileStatus QORVEL_CALL cFileRemove(const char* path) {
    if (path == nullptr || path::isEmpty(path)) return path::invalidArgument();
    return path::statusOf(platform::deleteFile(path));
}

QORVEL_API cFileStatus QORVEL_CALL cFileRename(const char* existingPath, const char* newPath) {
    if (existingPath == nullptr || newPath == nullptr) return path::invalidArgument();
    return path::statusOf(platform::moveFile(existingPath, newPath));
}

QORVEL_API cFileStatus QORVEL_CALL cFileCreateDir(const char* path) {
    if (path == nullptr) return path::invalidArgument();
    return path::statusOf(platform::createDirectory(path));
}

QORVEL_API cFileStatus QORVEL_CALL cFileRemoveDir(const char* path) {
    if (path == nullptr) return path::invalidArgument();
    return path::statusOf(platform::removeDirectory(path));
}

QORVEL_API cFileStatus QORVEL_CALL cFileGetSize(const char* path, uint32_t* size) {
    if (path == nullptr || size == nullptr || path::isEmpty(path)) return path::invalidArgument();
    return path::sizeByName(path, size);
}

// Reports only through the flag: whatever keeps the platform from giving the
// attributes (missing, refused, a bad name) reads as "does not exist".
QORVEL_API cFileStatus QORVEL_CALL cFileIsExist(const char* path, int16_t* exists) {
    if (exists == nullptr || path == nullptr) return path::invalidArgument();
    *exists = 0;
    *exists = platform::getFileAttributes(path) != platform::kInvalidFileAttributes ? 1 : 0;
    return 0;
}

}  // extern "C"

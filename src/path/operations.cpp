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

}  // namespace

cFileStatus removeFile(const char* path) { return statusOf(platform::deleteFile(path)); }

cFileStatus renameFile(const char* existingPath, const char* newPath) {
    return statusOf(platform::moveFile(existingPath, newPath));
}

cFileStatus createDirectory(const char* path) { return statusOf(platform::createDirectory(path)); }

cFileStatus removeDirectory(const char* path) { return statusOf(platform::removeDirectory(path)); }

cFileStatus sizeByName(const char* path, uint32_t* size) {
    *size = 0;
    uint32_t answer = platform::getCompressedFileSize(path);
    // Every all-ones answer is a failure: the platform refuses sizes that do
    // not fit below it.
    if (answer == platform::kInvalidFileSize) return cFileTranslateError(platform::lastError());
    *size = answer;
    return 0;
}

void testExistence(const char* path, int16_t* exists) {
    *exists = 0;
    *exists = platform::getFileAttributes(path) != platform::kInvalidFileAttributes ? 1 : 0;
}

}  // namespace qorvel::path

using namespace qorvel;

extern "C" {

QORVEL_API cFileStatus QORVEL_CALL cFileRemove(const char* path) {
    if (path == nullptr || isEmptyPath(path)) return invalidArgument();
    return path::removeFile(path);
}

QORVEL_API cFileStatus QORVEL_CALL cFileRename(const char* existingPath, const char* newPath) {
    if (existingPath == nullptr || newPath == nullptr) return invalidArgument();
    return path::renameFile(existingPath, newPath);
}

QORVEL_API cFileStatus QORVEL_CALL cFileCreateDir(const char* path) {
    if (path == nullptr) return invalidArgument();
    return path::createDirectory(path);
}

QORVEL_API cFileStatus QORVEL_CALL cFileRemoveDir(const char* path) {
    if (path == nullptr) return invalidArgument();
    return path::removeDirectory(path);
}

QORVEL_API cFileStatus QORVEL_CALL cFileGetSize(const char* path, uint32_t* size) {
    if (path == nullptr || size == nullptr || isEmptyPath(path)) return invalidArgument();
    return path::sizeByName(path, size);
}

QORVEL_API cFileStatus QORVEL_CALL cFileIsExist(const char* path, int16_t* exists) {
    if (exists == nullptr || path == nullptr) return invalidArgument();
    path::testExistence(path, exists);
    return 0;
}

}  // extern "C"

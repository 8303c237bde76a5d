// Opening, creating, closing and flushing files.
#include "handle/open.h"

#include <cstring>

#include "status/status.h"

namespace qorvel::handle {

cFileStatus openFile(const char* path, cFileMode mode, platform::Disposition disposition,
                     cFileHandle* handle) {
    platform::Handle opened =
        platform::createFile(path, desiredAccessFor(mode), shareModeFor(mode), disposition);
    if (opened == platform::kInvalidHandle) {
        cFileStatus status = cFileTranslateError(platform::lastError());
        *handle = CFILE_INVALID_HANDLE;
        return status;
    }
    *handle = opened;
    return 0;
}

cFileStatus closeFile(cFileHandle handle) {
    if (platform::closeHandle(handle)) return 0;
    return cFileTranslateError(platform::lastError());
}

cFileStatus flushFile(cFileHandle handle) {
    if (platform::flushFileBuffers(handle)) return 0;
    uint32_t error = platform::lastError();
    if (error == platform::win32error::kAccessDenied) return 0;
    return cFileTranslateError(error);
}

}  // namespace qorvel::handle

using namespace qorvel;

extern "C" {

QORVEL_API cFileStatus QORVEL_CALL cFileOpen(const char* path, cFileMode mode,
                                             cFileHandle* handle) {
    if (path == nullptr || handle == nullptr || !handle::isValidMode(mode) || isEmptyPath(path)) {
        return invalidArgument();
    }
    return handle::openFile(path, mode, platform::Disposition::kOpenExisting, handle);
}

QORVEL_API cFileStatus QORVEL_CALL cFileCreate(const char* path, cFileMode mode, int32_t /*unused*/,
                                               cFileHandle* handle) {
    if (path == nullptr || handle == nullptr || !handle::isValidMode(mode) || isEmptyPath(path)) {
        return invalidArgument();
    }
    if (mode & CFILE_ACCESS_READ) return libraryStatus(CFILE_ERR_GENERAL);
    return handle::openFile(path, mode, platform::Disposition::kCreateAlways, handle);
}

QORVEL_API cFileStatus QORVEL_CALL cFileClose(cFileHandle handle) {
    if (handle == CFILE_INVALID_HANDLE) return invalidHandle();
    return handle::closeFile(handle);
}

QORVEL_API cFileStatus QORVEL_CALL cFileFlush(cFileHandle handle) {
    if (handle == CFILE_INVALID_HANDLE) return invalidHandle();
    return handle::flushFile(handle);
}

QORVEL_API cFileStatus QORVEL_CALL cFileGetPlatformHandle(cFileHandle handle, void* buffer,
                                                          uint16_t size) {
    if (buffer == nullptr || size < sizeof(cFileHandle)) {
        return invalidArgument();
    }
    if (handle == CFILE_INVALID_HANDLE) return invalidHandle();
    std::memcpy(buffer, &handle, sizeof(handle));
    return 0;
}

}  // extern "C"

// The one-call append to a named file.
//
// The file is opened for reading and appending: an append-only handle
// (FILE_APPEND_DATA on Windows, O_APPEND on POSIX) on which the kernel itself
// moves each write to the end of the file as it is at that moment and places
// it there in one step under the file's own lock. So among all appenders, in
// this process and in others, every text lands whole, once, after every text
// appended before it, and nothing is overwritten; the end is the file's true
// end, whatever storage a sparse or compressed file takes; and readers are
// never held up (platform::appendFile).
//
// The open is open-or-create, one atomic step in the platform layer: an
// existing file is never emptied, two appenders that find the file missing
// end up sharing one file, and an existing file that cannot be opened is
// left untouched, with that refusal as the answer. The handle takes part in
// sharing as an open with read and write access that shares both.
#include "util/append.h"

#include <cstring>

#include "handle/open.h"
#include "platform/platform.h"
#include "status/status.h"

namespace qorvel::util {
namespace {

constexpr uint32_t kAppendAccess = platform::kGenericRead | platform::kFileAppendData;
constexpr uint32_t kAppendSharing = platform::kFileShareRead | platform::kFileShareWrite;

// Writes are split so that each count fits the platform's 32-bit transfer
// with room to spare.
constexpr size_t kLargestWrite = size_t(1) << 30;

cFileStatus lastErrorStatus() { return cFileTranslateError(platform::lastError()); }

// Writes all of the text. A transfer that the platform reports as successful
// but short (a full disk met half-way) is resumed, so that what could be
// written lands; each part goes to the end of the file in one step.
cFileStatus writeAll(platform::Handle handle, const char* text, size_t length) {
    while (length > 0) {
        uint32_t chunk = static_cast<uint32_t>(length < kLargestWrite ? length : kLargestWrite);
        uint32_t written = 0;
        if (!platform::appendFile(handle, text, chunk, &written)) return lastErrorStatus();
        // A successful transfer of nothing would never finish.
        if (written == 0) return cFileTranslateError(platform::win32error::kWriteFault);
        text += written;
        length -= written;
    }
    return 0;
}

}  // namespace

cFileStatus appendToFile(const char* path, const char* text) {
    platform::Handle handle = platform::createFile(path, kAppendAccess, kAppendSharing,
                                                   platform::Disposition::kOpenAlways);
    if (handle == platform::kInvalidHandle) return lastErrorStatus();
    // An empty text still creates the file, but writes nothing.
    size_t length = std::strlen(text);
    cFileStatus status = length > 0 ? writeAll(handle, text, length) : 0;
    // The text is in the file, or the failure is the answer: the close's
    // status adds nothing a caller could act on.
    handle::closeFile(handle);
    return status;
}

}  // namespace qorvel::util

using namespace qorvel;

extern "C" {

QORVEL_API cFileStatus QORVEL_CALL cFileWriteToFile(const char* path, const char* text) {
    if (path == nullptr || text == nullptr || path[0] == '\0') {
        return invalidArgument();
    }
    return util::appendToFile(path, text);
}

}  // extern "C"

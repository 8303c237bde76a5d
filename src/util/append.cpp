// The one-call append to a named file.
//
// Every appender of a file takes the same gate: an exclusive byte-range lock
// on one byte far beyond anything a host can lock or a file can hold
// (platform::kAppendGateOffset). The lock belongs to the appender's own
// handle, so threads of one process exclude each other as surely as separate
// processes do, and it vanishes with the handle, also when a process dies
// mid-append. Between taking and releasing it the appender moves to the end of
// the file through its handle and writes: the end it measured is still the
// end when it writes. Readers take no part and are never held up, and the
// lock byte lies outside the file's data, so no read or write meets it.
//
// The file is opened with the open-or-create disposition, one atomic step in
// the platform layer: an existing file is never emptied, and two appenders
// that find the file missing end up sharing one file.
#include "util/append.h"

#include <cstring>

#include "handle/open.h"
#include "platform/platform.h"
#include "status/status.h"

namespace qorvel::util {
namespace {

constexpr uint32_t kGateFlags = platform::kLockfileExclusiveLock | platform::kLockfileFailImmediately;
constexpr uint64_t kGateLength = 1;

// The pause after the first refusal, and the longest one: short enough that a
// gate held for a single write is taken again soon after it is free, long
// enough that a waiting appender costs next to no processor time.
constexpr uint32_t kFirstPauseMicroseconds = 50;
constexpr uint32_t kLongestPauseMicroseconds = 2'000;

// Writes are split so that each count fits the platform's 32-bit transfer
// with room to spare.
constexpr size_t kLargestWrite = size_t(1) << 30;

cFileStatus lastErrorStatus() { return cFileTranslateError(platform::lastError()); }

// Takes the gate, waiting while another appender holds it, up to the budget.
// The wait is counted in requested pauses, so a loaded machine that oversleeps
// only lengthens it: an appender never gives up early.
cFileStatus takeGate(platform::Handle handle) {
    uint32_t waited = 0;
    uint32_t pause = kFirstPauseMicroseconds;
    for (;;) {
        if (platform::lockFileEx(handle, kGateFlags, platform::kAppendGateOffset, kGateLength)) {
            return 0;
        }
        uint32_t error = platform::lastError();
        if (error != platform::win32error::kLockViolation ||
            waited >= kAppendGateBudgetMicroseconds) {
            return cFileTranslateError(error);
        }
        platform::sleepMicroseconds(pause);
        waited += pause;
        pause = pause * 2 < kLongestPauseMicroseconds ? pause * 2 : kLongestPauseMicroseconds;
    }
}

void releaseGate(platform::Handle handle) {
    // Closing the handle would drop the lock as well; releasing it first lets
    // the next appender in without waiting for the close.
    platform::unlockFileEx(handle, platform::kAppendGateOffset, kGateLength);
}

// Moves to the end of the file as the handle sees it: its length, whatever
// storage it takes (a sparse or compressed file's storage size lies before
// its end), and in 64 bits, so a file beyond 4 GiB is appended to, not
// overwritten.
cFileStatus moveToEnd(platform::Handle handle) {
    int32_t high = 0;
    uint32_t low = platform::setFilePointer(handle, 0, &high, platform::kFileEnd);
    if (low == platform::kInvalidSetFilePointer &&
        platform::lastError() != platform::win32error::kSuccess) {
        return lastErrorStatus();
    }
    return 0;
}

// Writes all of the text, resuming after a transfer that the platform reports
// as successful but short, so that a text never lands torn by a short write.
cFileStatus writeAll(platform::Handle handle, const char* text, size_t length) {
    while (length > 0) {
        uint32_t chunk = static_cast<uint32_t>(length < kLargestWrite ? length : kLargestWrite);
        uint32_t written = 0;
        if (!platform::writeFile(handle, text, chunk, &written)) return lastErrorStatus();
        // A successful transfer of nothing would never finish.
        if (written == 0) return cFileTranslateError(platform::win32error::kWriteFault);
        text += written;
        length -= written;
    }
    return 0;
}

cFileStatus appendUnderGate(platform::Handle handle, const char* text, size_t length) {
    cFileStatus status = takeGate(handle);
    if (status != 0) return status;
    status = moveToEnd(handle);
    if (status == 0) status = writeAll(handle, text, length);
    releaseGate(handle);
    return status;
}

}  // namespace

cFileStatus appendToFile(const char* path, const char* text) {
    cFileHandle handle = CFILE_INVALID_HANDLE;
    cFileStatus status = handle::openFile(path, kAppendMode, platform::Disposition::kOpenAlways,
                                          &handle);
    if (status != 0) return status;
    // An empty text still creates the file, but needs neither gate nor write.
    size_t length = std::strlen(text);
    if (length > 0) status = appendUnderGate(handle, text, length);
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
        return libraryStatus(CFILE_ERR_INVALID_ARG);
    }
    return util::appendToFile(path, text);
}

}  // extern "C"

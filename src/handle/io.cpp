// Reading, writing, positioning and size through a handle.
//
// The library keeps no position of its own: every operation here reads or
// moves the platform's per-handle file pointer. Positions are 32-bit at the
// interface; the platform's pointer is 64-bit, so every move is made with a
// high part and checked against the 32-bit range (see moveFilePointer).
#include "handle/io.h"

#include "platform/platform.h"
#include "status/status.h"

namespace qorvel::handle {
namespace {

// 0xFFFFFFFF is both the platform's failure marker and the first position
// that the interface cannot report, so a move may end at 0xFFFFFFFE at most.
constexpr uint64_t kFirstPositionOutOfRange = 0xFFFFFFFFu;

cFileStatus lastErrorStatus() { return cFileTranslateError(platform::lastError()); }

// A move that would leave the 32-bit range.
cFileStatus fileTooLarge() { return cFileTranslateError(platform::win32error::kFileTooLarge); }

uint32_t moveMethodFor(uint32_t origin) {
    switch (origin) {
        case CFILE_SEEK_BEGIN: return platform::kFileBegin;
        case CFILE_SEEK_CURRENT: return platform::kFileCurrent;
        case CFILE_SEEK_END: return platform::kFileEnd;
        default: return origin;  // no method of its own: the platform refuses it
    }
}

// One SetFilePointer with a 64-bit distance. A result of 0xFFFFFFFF is a
// failure only when the last error says so: it is also the low half of real
// positions, after which the platform clears the last error.
bool setPlatformPointer(cFileHandle handle, uint64_t distance, uint32_t method,
                        uint64_t* newPosition) {
    int32_t high = static_cast<int32_t>(distance >> 32);
    uint32_t low = platform::setFilePointer(handle, static_cast<int32_t>(distance & 0xFFFFFFFFu),
                                            &high, method);
    if (low == platform::kInvalidSetFilePointer && platform::lastError() != 0) return false;
    *newPosition = (uint64_t(uint32_t(high)) << 32) | low;
    return true;
}

// A move only a position outside the 32-bit range can answer has no valid
// result: it is undone. Undoing a move from the current position needs only
// its own distance; for any other method the pointer's earlier place must be
// known before the move, from the caller or from one extra query.
bool needsEarlierPosition(uint32_t method, uint32_t distance) {
    if (method == platform::kFileCurrent) return false;
    if (method == platform::kFileBegin) return distance >= kFirstPositionOutOfRange;
    return true;
}

// The move routine, for callers that may already know where the pointer is
// (`knownPosition`, null when they do not).
cFileStatus moveWithinRange(cFileHandle handle, uint32_t distance, uint32_t origin,
                            uint32_t* position, const uint64_t* knownPosition) {
    uint32_t method = moveMethodFor(origin);
    uint64_t earlier = 0;
    if (needsEarlierPosition(method, distance)) {
        if (knownPosition != nullptr) {
            earlier = *knownPosition;
        } else if (!setPlatformPointer(handle, 0, platform::kFileCurrent, &earlier)) {
            return lastErrorStatus();
        }
        // The distance alone decides where this one ends: no move is made.
        if (method == platform::kFileBegin) return fileTooLarge();
    }
    uint64_t after = 0;
    if (!setPlatformPointer(handle, distance, method, &after)) return lastErrorStatus();
    if (after >= kFirstPositionOutOfRange) {
        uint64_t back = method == platform::kFileCurrent ? after - distance : earlier;
        uint64_t ignored = 0;
        // Nothing better can be done if putting it back fails: the status
        // already says the move did not succeed.
        if (back != after) setPlatformPointer(handle, back, platform::kFileBegin, &ignored);
        return fileTooLarge();
    }
    if (position != nullptr) *position = static_cast<uint32_t>(after);
    return 0;
}

}  // namespace

cFileStatus moveFilePointer(cFileHandle handle, uint32_t distance, uint32_t origin,
                            uint32_t* position) {
    return moveWithinRange(handle, distance, origin, position, nullptr);
}

cFileStatus readFile(cFileHandle handle, void* buffer, uint32_t count, uint32_t* transferred) {
    *transferred = 0;
    uint32_t done = 0;
    cFileStatus status = 0;
    if (!platform::readFile(handle, buffer, count, &done)) status = lastErrorStatus();
    *transferred = done;
    return status;
}

cFileStatus writeFile(cFileHandle handle, const void* buffer, uint32_t count,
                      uint32_t* transferred) {
    *transferred = 0;
    if (count == 0) return 0;
    uint32_t done = 0;
    cFileStatus status = 0;
    if (!platform::writeFile(handle, buffer, count, &done)) status = lastErrorStatus();
    *transferred = done;
    return status;
}

cFileStatus setFileSize(cFileHandle handle, uint32_t size) {
    uint32_t saved = 0;
    cFileStatus status = moveWithinRange(handle, 0, CFILE_SEEK_CURRENT, &saved, nullptr);
    if (status != 0) return status;
    uint64_t savedPosition = saved;
    status = moveWithinRange(handle, size, CFILE_SEEK_BEGIN, nullptr, &savedPosition);
    if (status != 0) return status;
    if (!platform::setEndOfFile(handle, size)) status = lastErrorStatus();
    // A position at or beyond the new size stays at the new end of the file.
    // A position that cannot be put back is a failure: the caller's next
    // read or write would land elsewhere.
    if (saved < size) {
        cFileStatus restored = moveWithinRange(handle, saved, CFILE_SEEK_BEGIN, nullptr, nullptr);
        if (status == 0) status = restored;
    }
    return status;
}

cFileStatus testEndOfFile(cFileHandle handle, int16_t* isEof) {
    *isEof = 0;
    uint32_t current = 0;
    cFileStatus status = moveWithinRange(handle, 0, CFILE_SEEK_CURRENT, &current, nullptr);
    if (status != 0) return status;
    uint32_t end = 0;
    uint64_t currentPosition = current;
    status = moveWithinRange(handle, 0, CFILE_SEEK_END, &end, &currentPosition);
    if (status != 0) return status;
    if (end == current) {
        *isEof = 1;
        return 0;
    }
    return moveWithinRange(handle, current, CFILE_SEEK_BEGIN, nullptr, nullptr);
}

}  // namespace qorvel::handle

using namespace qorvel;

extern "C" {

QORVEL_API cFileStatus QORVEL_CALL cFileRead(cFileHandle handle, void* buffer, uint32_t count,
                                             uint32_t* bytesRead) {
    if (buffer == nullptr || bytesRead == nullptr) return invalidArgument();
    if (handle == CFILE_INVALID_HANDLE) return invalidHandle();
    return handle::readFile(handle, buffer, count, bytesRead);
}

QORVEL_API cFileStatus QORVEL_CALL cFileWrite(cFileHandle handle, const void* buffer,
                                              uint32_t count, uint32_t* bytesWritten) {
    if (buffer == nullptr || bytesWritten == nullptr) {
        return invalidArgument();
    }
    if (handle == CFILE_INVALID_HANDLE) return invalidHandle();
    return handle::writeFile(handle, buffer, count, bytesWritten);
}

QORVEL_API cFileStatus QORVEL_CALL cFileSeek(cFileHandle handle, uint32_t distance, uint32_t origin,
                                             uint32_t* position) {
    if (handle == CFILE_INVALID_HANDLE) return invalidHandle();
    return handle::moveFilePointer(handle, distance, origin, position);
}

QORVEL_API cFileStatus QORVEL_CALL cFileGetPosition(cFileHandle handle, uint32_t* position) {
    if (position == nullptr) return invalidArgument();
    if (handle == CFILE_INVALID_HANDLE) return invalidHandle();
    // A move by 0 from the current position: the position, or 0 on failure.
    *position = 0;
    return handle::moveFilePointer(handle, 0, CFILE_SEEK_CURRENT, position);
}

QORVEL_API cFileStatus QORVEL_CALL cFileSetSize(cFileHandle handle, uint32_t size) {
    if (handle == CFILE_INVALID_HANDLE) return invalidHandle();
    return handle::setFileSize(handle, size);
}

QORVEL_API cFileStatus QORVEL_CALL cFileIsEof(cFileHandle handle, int16_t* isEof) {
    if (isEof == nullptr) return invalidArgument();
    if (handle == CFILE_INVALID_HANDLE) return invalidHandle();
    return handle::testEndOfFile(handle, isEof);
}

}  // extern "C"

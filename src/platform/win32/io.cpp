// ReadFile, WriteFile, SetFilePointer and SetEndOfFile: KERNEL32's own.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/kernel32.h"

namespace qorvel::platform {

using win32::kernel32;

namespace {

// Kernel handles fit in 32 bits; LongToHandle sign-extends, so -1 stays
// INVALID_HANDLE_VALUE.
HANDLE kernelHandle(Handle handle) { return LongToHandle(handle); }

constexpr DWORD kAppendGateOffsetHigh = 0x100;  // the byte at 2^40

}  // namespace

bool readFile(Handle handle, void* buffer, uint32_t count, uint32_t* transferred) {
    DWORD done = 0;
    BOOL ok = kernel32.ReadFile(kernelHandle(handle), buffer, count, &done, nullptr);
    *transferred = done;
    return ok != FALSE;
}

// A synchronous write to a file writes everything or fails; a device that
// takes less (a pipe, a console) is given the rest, as the POSIX layer does.
bool writeFile(Handle handle, const void* buffer, uint32_t count, uint32_t* transferred) {
    const char* bytes = static_cast<const char*>(buffer);
    uint32_t done = 0;
    for (;;) {
        DWORD written = 0;
        BOOL ok =
            kernel32.WriteFile(kernelHandle(handle), bytes + done, count - done, &written, nullptr);
        done += written;
        if (!ok) {
            *transferred = done;
            return false;
        }
        if (done == count) break;
        if (written == 0) {
            // No progress and no error: the device takes nothing more.
            *transferred = done;
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
    }
    *transferred = done;
    return true;
}

// Windows places each write through an append-only handle at the end in one
// step. Wine does not: it finds the end and writes there in two steps, and an
// appender in another process can land in between and be overwritten. So
// appenders also take turns on a gate: an exclusive lock on one byte at 2^40,
// beyond any file's data (readers and writers of the data never meet it) and
// beyond every range a host can lock through the library (those end below
// 2^33). The lock call waits for the gate; Windows releases a lock whose
// process ends, so a crashed appender never leaves it held.
bool appendFile(Handle handle, const void* buffer, uint32_t count, uint32_t* transferred) {
    *transferred = 0;
    OVERLAPPED gate = {};
    gate.OffsetHigh = kAppendGateOffsetHigh;
    if (!kernel32.LockFileEx(kernelHandle(handle), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &gate)) {
        return false;
    }
    bool written = writeFile(handle, buffer, count, transferred);
    DWORD error = GetLastError();
    OVERLAPPED release = {};
    release.OffsetHigh = kAppendGateOffsetHigh;
    kernel32.UnlockFileEx(kernelHandle(handle), 0, 1, 0, &release);
    SetLastError(error);
    return written;
}

uint32_t setFilePointer(Handle handle, int32_t distanceLow, int32_t* distanceHigh,
                        uint32_t moveMethod) {
    // LONG is 32 bits on Windows, as int32_t is.
    static_assert(sizeof(LONG) == sizeof(int32_t), "LONG is 32 bits");
    return kernel32.SetFilePointer(kernelHandle(handle), distanceLow,
                                   reinterpret_cast<PLONG>(distanceHigh), moveMethod);
}

bool setEndOfFile(Handle handle) { return kernel32.SetEndOfFile(kernelHandle(handle)) != FALSE; }

}  // namespace qorvel::platform

// ReadFile, WriteFile, SetFilePointer and SetEndOfFile: KERNEL32's own.
#include <windows.h>

#include <algorithm>

#include "platform/platform.h"
#include "platform/win32/handles.h"
#include "platform/win32/kernel32.h"

namespace qorvel::platform {

using win32::kernel32;

namespace {

using win32::toKernelHandle;

// The append gate: one byte at 2^40, beyond any file's data (readers and
// writers of the data never meet it) and beyond every range a host can lock.
constexpr DWORD kAppendGateOffsetHigh = 0x100;
static_assert((uint64_t{kAppendGateOffsetHigh} << 32) >= kHostLockRangeEnd,
              "the append gate lies beyond every range a host can lock");

// How long an appender waits for the gate before it gives up, and the
// longest pause between two tries.
constexpr ULONGLONG kAppendGateWaitMilliseconds = 10000;
constexpr DWORD kAppendGatePauseMilliseconds = 16;

// Wine's ntdll exports wine_get_version; Windows' does not. Asked once.
bool runningUnderWine() {
    static const bool underWine = [] {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return underWine;
}

OVERLAPPED appendGate() {
    OVERLAPPED gate = {};
    gate.OffsetHigh = kAppendGateOffsetHigh;
    return gate;
}

// Tries the gate without waiting, pausing a little longer after each refusal,
// until it is had or the wait is over. A holder that hangs keeps the gate for
// as long as it lives; the others then fail with ERROR_TIMEOUT rather than
// hang with it.
bool takeAppendGate(HANDLE file) {
    const ULONGLONG deadline = GetTickCount64() + kAppendGateWaitMilliseconds;
    DWORD pause = 0;
    for (;;) {
        OVERLAPPED gate = appendGate();
        if (kernel32.LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                                &gate)) {
            return true;
        }
        if (GetLastError() != ERROR_LOCK_VIOLATION) return false;
        if (GetTickCount64() >= deadline) {
            SetLastError(ERROR_TIMEOUT);
            return false;
        }
        Sleep(pause);
        pause = pause == 0 ? 1 : std::min<DWORD>(2 * pause, kAppendGatePauseMilliseconds);
    }
}

void releaseAppendGate(HANDLE file) {
    OVERLAPPED gate = appendGate();
    kernel32.UnlockFileEx(file, 0, 1, 0, &gate);
}

}  // namespace

bool readFile(Handle handle, void* buffer, uint32_t count, uint32_t* transferred) {
    DWORD done = 0;
    BOOL ok = kernel32.ReadFile(toKernelHandle(handle), buffer, count, &done, nullptr);
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
        BOOL ok = kernel32.WriteFile(toKernelHandle(handle), bytes + done, count - done, &written,
                                     nullptr);
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
// appender in another process can land in between and be overwritten. Under
// Wine, appenders therefore take turns on the gate. Windows (and Wine)
// release a lock whose process ends, so a crashed appender never leaves the
// gate held.
bool appendFile(Handle handle, const void* buffer, uint32_t count, uint32_t* transferred) {
    *transferred = 0;
    if (!runningUnderWine()) return writeFile(handle, buffer, count, transferred);
    HANDLE file = toKernelHandle(handle);
    if (!takeAppendGate(file)) return false;
    bool written = writeFile(handle, buffer, count, transferred);
    DWORD error = GetLastError();
    releaseAppendGate(file);
    SetLastError(error);
    return written;
}

uint32_t setFilePointer(Handle handle, int32_t distanceLow, int32_t* distanceHigh,
                        uint32_t moveMethod) {
    // LONG is 32 bits on Windows, as int32_t is.
    static_assert(sizeof(LONG) == sizeof(int32_t), "LONG is 32 bits");
    return kernel32.SetFilePointer(toKernelHandle(handle), distanceLow,
                                   reinterpret_cast<PLONG>(distanceHigh), moveMethod);
}

bool setEndOfFile(Handle handle, uint64_t /*position: the pointer's*/) {
    return kernel32.SetEndOfFile(toKernelHandle(handle)) != FALSE;
}

}  // namespace qorvel::platform

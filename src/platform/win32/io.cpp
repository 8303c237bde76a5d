// ReadFile, WriteFile, SetFilePointer and SetEndOfFile: KERNEL32's own.
#include <windows.h>

#include "platform/platform.h"

namespace qorvel::platform {
namespace {

// Kernel handles fit in 32 bits; LongToHandle sign-extends, so -1 stays
// INVALID_HANDLE_VALUE.
HANDLE kernelHandle(Handle handle) { return LongToHandle(handle); }

}  // namespace

bool readFile(Handle handle, void* buffer, uint32_t count, uint32_t* transferred) {
    DWORD done = 0;
    BOOL ok = ReadFile(kernelHandle(handle), buffer, count, &done, nullptr);
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
        BOOL ok = WriteFile(kernelHandle(handle), bytes + done, count - done, &written, nullptr);
        done += written;
        if (!ok) {
            *transferred = done;
            return false;
        }
        if (done == count || written == 0) break;
    }
    *transferred = done;
    return true;
}

uint32_t setFilePointer(Handle handle, int32_t distanceLow, int32_t* distanceHigh,
                        uint32_t moveMethod) {
    // LONG is 32 bits on Windows, as int32_t is.
    static_assert(sizeof(LONG) == sizeof(int32_t), "LONG is 32 bits");
    return SetFilePointer(kernelHandle(handle), distanceLow, reinterpret_cast<PLONG>(distanceHigh),
                          moveMethod);
}

bool setEndOfFile(Handle handle) { return SetEndOfFile(kernelHandle(handle)) != FALSE; }

}  // namespace qorvel::platform

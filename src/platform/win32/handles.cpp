// CreateFileA, CloseHandle and FlushFileBuffers: KERNEL32's own, with one
// addition. Emptying an existing file counts as writing it for the share
// check, whatever access the new handle keeps; Windows already does so, and
// this makes it hold wherever CREATE_ALWAYS with no write access would slip
// past a handle that denies write sharing (Wine lets it through).
#include "platform/win32/handles.h"

#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/kernel32.h"

namespace qorvel::platform {

using win32::kernel32;

namespace {

using win32::fromKernelHandle;
using win32::toKernelHandle;

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Every handle the library opens is inheritable: a host's child process
// started with inheritance receives it. The record is filled for each call,
// as CreateFileA may be given it from several threads at once.
HANDLE open(const char* path, DWORD desiredAccess, DWORD shareMode, DWORD disposition) {
    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return kernel32.CreateFileA(path, desiredAccess, shareMode, &inheritable, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Closes a handle that a failed step leaves behind, keeping the error of
// that step as the thread's last error.
void discard(HANDLE handle) {
    DWORD error = GetLastError();
    kernel32.CloseHandle(handle);
    SetLastError(error);
}

// CREATE_ALWAYS for a handle without data access. The file is created or
// emptied through a writing handle that shares everything it can: it is
// refused exactly when another handle denies write sharing. The caller's
// handle is then opened beside it, while the writing handle (which does not
// share delete access) keeps the name on the same file; it takes no part in
// sharing, as an open without data access never does.
HANDLE createAlwaysWithoutAccess(const char* path, DWORD shareMode) {
    HANDLE emptying = open(path, GENERIC_WRITE, kShareReadWrite, CREATE_ALWAYS);
    if (emptying == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
    DWORD created = GetLastError();  // 0, or 183 when the file existed
    HANDLE handle = open(path, 0, shareMode, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) {
        discard(emptying);
        return INVALID_HANDLE_VALUE;
    }
    kernel32.CloseHandle(emptying);
    SetLastError(created);
    return handle;
}

// CREATE_ALWAYS for a handle that may read but not write: the file is opened
// with write access added, so it holds the file as a writer does, and the
// handle is then narrowed to the access asked for. The file object keeps the
// share access it was opened with, as the POSIX layer's handle does.
HANDLE createAlwaysReadOnly(const char* path, DWORD desiredAccess, DWORD shareMode) {
    HANDLE writing = open(path, desiredAccess | GENERIC_WRITE, shareMode, CREATE_ALWAYS);
    if (writing == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
    DWORD created = GetLastError();
    HANDLE self = GetCurrentProcess();
    HANDLE handle = nullptr;
    if (!kernel32.DuplicateHandle(self, writing, self, &handle, desiredAccess, TRUE, 0)) {
        discard(writing);
        return INVALID_HANDLE_VALUE;
    }
    kernel32.CloseHandle(writing);
    SetLastError(created);
    return handle;
}

HANDLE createFileHandle(const char* path, DWORD desiredAccess, DWORD shareMode,
                        Disposition disposition) {
    if (disposition == Disposition::kCreateAlways && !(desiredAccess & GENERIC_WRITE)) {
        return desiredAccess == 0 ? createAlwaysWithoutAccess(path, shareMode)
                                  : createAlwaysReadOnly(path, desiredAccess, shareMode);
    }
    return open(path, desiredAccess, shareMode, static_cast<DWORD>(disposition));
}

}  // namespace

static_assert(static_cast<DWORD>(Disposition::kCreateAlways) == CREATE_ALWAYS);
static_assert(static_cast<DWORD>(Disposition::kOpenExisting) == OPEN_EXISTING);
static_assert(static_cast<DWORD>(Disposition::kOpenAlways) == OPEN_ALWAYS);
static_assert(kGenericRead == GENERIC_READ && kGenericWrite == GENERIC_WRITE);
static_assert(kFileShareRead == FILE_SHARE_READ && kFileShareWrite == FILE_SHARE_WRITE);

Handle createFile(const char* path, uint32_t desiredAccess, uint32_t shareMode,
                  Disposition disposition) {
    HANDLE handle = createFileHandle(path, desiredAccess, shareMode, disposition);
    if (handle == INVALID_HANDLE_VALUE) return kInvalidHandle;
    return fromKernelHandle(handle);
}

bool closeHandle(Handle handle) { return kernel32.CloseHandle(toKernelHandle(handle)) != FALSE; }

bool flushFileBuffers(Handle handle) {
    return kernel32.FlushFileBuffers(toKernelHandle(handle)) != FALSE;
}

}  // namespace qorvel::platform

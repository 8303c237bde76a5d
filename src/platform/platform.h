// The platform layer: the one interface through which the workers reach the
// operating system.
//
// Every call mirrors a Win32 (KERNEL32 or C runtime) call the library was
// designed around, with the same arguments, the same success and failure
// markers, and the same per-thread last-error number in Win32 numbering. The
// posix backend carries out the Win32 semantics the library relies on (share
// modes, per-handle exclusive byte-range locks, the read-only attribute, a
// rename that never replaces, Win32 error numbers).
//
// The win32 backend passes each call to KERNEL32 or the C run time unchanged,
// except in exactly these places (docs/windows.md gives the measurements):
//   * createFile, win32/handles.cpp: CREATE_ALWAYS without write access opens
//     through a writing handle first, so that emptying a file always counts
//     as writing it for the share check (Wine lets it past a handle that
//     denies write sharing; Windows does not);
//   * writeFile, win32/io.cpp: a device that takes part of a write (a pipe, a
//     console) is given the rest, and one that takes nothing fails with
//     ERROR_WRITE_FAULT, as the posix backend does;
//   * appendFile, win32/io.cpp: under Wine only, appenders take turns on a
//     gate lock, because Wine's append-only writes are not atomic across
//     processes; the wait is bounded (kAppendGateWaitMilliseconds), then the
//     write fails with ERROR_TIMEOUT. On Windows the write goes straight on;
//   * getCompressedFileSize, win32/paths.cpp: a size of 4 GiB or more, or
//     one whose low half is the failure marker, fails with
//     ERROR_FILE_TOO_LARGE instead of answering its low 32 bits;
//   * volumeRootFor, win32/volume.cpp: the drive root is made from the C run
//     time's drive number or the path's first letter.
//
// Rules for callers (the workers in src/handle, src/path and src/util):
//   * after a call reports failure, read lastError() before making any other
//     platform call;
//   * a successful call may leave lastError() unchanged, as Win32 does.
#ifndef QORVEL_PLATFORM_PLATFORM_H
#define QORVEL_PLATFORM_PLATFORM_H

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/win32_errors.h"

namespace qorvel::platform {

// The library's handle value: a file descriptor on POSIX, a kernel handle
// (HandleToLong) on Windows.
using Handle = int32_t;
constexpr Handle kInvalidHandle = -1;

// Win32 error numbers the library produces or tests for, one constant per row
// of the list in win32_errors.h.
namespace win32error {
#define QORVEL_WIN32_ERROR_CONSTANT(number, constant, name, meaning) \
    constexpr uint32_t constant = number;
QORVEL_WIN32_ERRORS(QORVEL_WIN32_ERROR_CONSTANT)
#undef QORVEL_WIN32_ERROR_CONSTANT
}  // namespace win32error

// The thread's last-error number (GetLastError / SetLastError).
uint32_t lastError();
void setLastError(uint32_t error);

// ---- Handles (CreateFileA, CloseHandle, FlushFileBuffers) -----------------

constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
// FILE_APPEND_DATA without GENERIC_WRITE: every write goes to the end of the
// file as it is at that moment, placed there atomically by the kernel, so
// appenders in any number of threads and processes never overwrite each other.
// It is writing for the share check.
constexpr uint32_t kFileAppendData = 0x00000004u;
constexpr uint32_t kFileShareRead = 0x1u;
constexpr uint32_t kFileShareWrite = 0x2u;

enum class Disposition : uint32_t {
    kCreateAlways = 2,  // create, or empty an existing file
    kOpenExisting = 3,
    kOpenAlways = 4,  // open, or create when missing; never empties
};

// CreateFileA with an inheritable security record, FILE_ATTRIBUTE_NORMAL and
// no template. Answers the handle, or kInvalidHandle with lastError() set.
Handle createFile(const char* path, uint32_t desiredAccess, uint32_t shareMode,
                  Disposition disposition);
bool closeHandle(Handle handle);
bool flushFileBuffers(Handle handle);

// ---- Data transfer and position (ReadFile, WriteFile, SetFilePointer,
//      SetEndOfFile) ---------------------------------------------------------

constexpr uint32_t kFileBegin = 0;
constexpr uint32_t kFileCurrent = 1;
constexpr uint32_t kFileEnd = 2;
constexpr uint32_t kInvalidSetFilePointer = 0xFFFFFFFFu;

// One transfer of the caller's buffer. *transferred is written also on failure.
bool readFile(Handle handle, void* buffer, uint32_t count, uint32_t* transferred);
bool writeFile(Handle handle, const void* buffer, uint32_t count, uint32_t* transferred);
// WriteFile through a handle opened with kFileAppendData: the whole count
// lands at the end of the file in one step, after everything appended before
// it through any handle, in any process, also on other machines. Where a file
// system shares the file with other machines, POSIX appenders take turns
// cluster-wide (posix/shared_file_system.h); a Windows file server places each
// append-only write at the end itself.
bool appendFile(Handle handle, const void* buffer, uint32_t count, uint32_t* transferred);

// SetFilePointer: the distance is (*distanceHigh << 32 | distanceLow) when
// distanceHigh is given, else distanceLow sign-extended. Answers the low 32
// bits of the new position and stores the high 32 bits in *distanceHigh, or
// kInvalidSetFilePointer with lastError() set (and lastError() 0 when that
// value is a real position).
uint32_t setFilePointer(Handle handle, int32_t distanceLow, int32_t* distanceHigh,
                        uint32_t moveMethod);
// SetEndOfFile, called right after setFilePointer moved the handle to
// `position`, which is where the file ends: Windows ends it at the handle's
// pointer, POSIX at the position given (it cannot learn the pointer without a
// system call of its own).
bool setEndOfFile(Handle handle, uint64_t position);

// ---- Byte-range locks (GetVersionExA, LockFile[Ex], UnlockFile[Ex]) -------

// Every byte range a host can lock through the library ends below this: a
// 32-bit start plus a 32-bit length. The backends' encodings of the lock
// space (posix/lock_space.h) and the Wine append gate
// (win32/io.cpp) place their own locks from here up.
constexpr uint64_t kHostLockRangeEnd = uint64_t{1} << 33;
static_assert(uint64_t{0xFFFFFFFFu} + uint64_t{0xFFFFFFFFu} < kHostLockRangeEnd,
              "a 32-bit start plus a 32-bit length ends below the bound");

constexpr uint32_t kPlatformWin32s = 0;
constexpr uint32_t kPlatformWin32Windows = 1;
constexpr uint32_t kPlatformWin32Nt = 2;

// GetVersionExA, of which only dwPlatformId is read.
bool getVersionEx(uint32_t* platformId);

constexpr uint32_t kLockfileFailImmediately = 0x1u;
constexpr uint32_t kLockfileExclusiveLock = 0x2u;

// The 64-bit ranges are passed on as given: start + length is never wrapped.
bool lockFileEx(Handle handle, uint32_t flags, uint64_t start, uint64_t length);
bool unlockFileEx(Handle handle, uint64_t start, uint64_t length);
bool lockFile(Handle handle, uint64_t start, uint64_t length);
bool unlockFile(Handle handle, uint64_t start, uint64_t length);

// ---- Paths (DeleteFileA, MoveFileA, CreateDirectoryA, RemoveDirectoryA,
//      GetFileAttributesA, GetCompressedFileSizeA) -------------------------

constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
constexpr uint32_t kInvalidFileSize = 0xFFFFFFFFu;

bool deleteFile(const char* path);
bool moveFile(const char* existingPath, const char* newPath);
bool createDirectory(const char* path);
bool removeDirectory(const char* path);
uint32_t getFileAttributes(const char* path);
// The low 32 bits of the file's size in storage (no high part is asked for).
uint32_t getCompressedFileSize(const char* path);

// ---- Directories and volumes (GetCurrentDirectoryA, GetTempPathA,
//      GetDiskFreeSpaceA) ---------------------------------------------------

// Both answer the length written (without the NUL), the size needed (with the
// NUL) when the buffer is too small and then leave it untouched, or 0 with
// lastError() set.
uint32_t getCurrentDirectory(uint32_t bufferSize, char* buffer);
uint32_t getTempPath(uint32_t bufferSize, char* buffer);
bool getDiskFreeSpace(const char* root, uint32_t* sectorsPerCluster, uint32_t* bytesPerSector,
                      uint32_t* freeClusters, uint32_t* totalClusters);

// ---- C run-time support (stat, chmod, errno, tzset, time, localtime) ------

// What the library reads of the C run time's file-status record.
struct FileStatRecord {
    int32_t drive;         // 0 for A:, 1 for B:, ...; the current drive when none is named
    uint16_t mode;         // 0x80 (write permission) set exactly when not read-only
    int32_t creationTime;  // seconds since 1970; the last-write time when none is recorded
};
constexpr uint16_t kStatWriteBit = 0x80;

// Whether a caller of the query reads the read-only state: a directory's
// costs the POSIX layer a system call of its own. Without it, the mode's
// write bit means nothing.
enum class StatusUse { kWithReadOnlyState, kWithoutReadOnlyState };

// The file-status query. Answers false and sets crtErrno() on failure.
bool statFile(const char* path, StatusUse use, FileStatRecord* record);
int crtErrno();

constexpr int kPermissionWrite = 0x80;  // _S_IWRITE
constexpr int kPermissionRead = 0x100;  // _S_IREAD

// The permission change: kPermissionWrite clears the read-only attribute,
// anything else sets it. Answers false on failure.
bool changeMode(const char* path, int permission);

// Where the free space of the volume that holds `path` is measured. `record`
// is the file-status query's record of the path, or null when the query
// refused it. Answers true with the root to hand to getDiskFreeSpace in
// *root, or false when the volume is to be found by climbing: the path with a
// separator added, then each parent in turn. Windows names a drive root
// ("C:\\") from the drive number or the path's first letter, and climbs
// network paths; POSIX, without drives, measures the path itself, or the
// nearest existing ancestor of a path the query refused.
bool volumeRootFor(const char* path, const FileStatRecord* record, std::string* root);

// tzset + a thread-safe localtime. Answers false when the conversion yields
// no broken-down time.
void reloadTimeZone();
bool localTime(std::time_t when, std::tm* out);

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_PLATFORM_H

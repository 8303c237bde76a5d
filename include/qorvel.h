/**
 * @file qorvel.h
 * @brief qorvel: one flat C interface to files, directories and volumes.
 *
 * Every operation answers a 32-bit status word (::cFileStatus): 0 is success;
 * otherwise bits 0-15 hold a library error code (`CFILE_ERR_*`) and bits 16-31
 * the low 16 bits of the operating system's error number, in Win32 numbering
 * on every platform. The library's own argument checks answer exactly
 * 0x00000302, 0x00000303 or 0x00000307.
 *
 * The header compiles as C99 and as C++.
 *
 * **Thread safety and state.** Any thread may call any export at any time.
 * Calls on one handle must be serialised by the caller (cFileSetSize() and
 * cFileIsEof() move the file position away and back in separate steps). On
 * Windows the library keeps no state between calls. On Linux it keeps one
 * registry per process of the descriptors it opened (what it needs to give
 * Windows' answers: which descriptors are its own and the byte-range locks
 * taken through each; no descriptor), a record per descriptor under a small
 * guard of its own: 4096 byte-range locks per handle,
 * beyond which cFileLock() answers 0x00240305, and descriptor numbers below
 * 2^20, beyond which an open answers 0x00040307.
 *
 * **Buffers.** Every buffer belongs to the caller; the library writes into it
 * only within the sizes stated here and keeps no pointer after a call.
 *
 * Platform differences are summarised in one line where they matter; the
 * full account is in the
 * <a href="../platform-notes.md">platform notes</a>.
 */
#ifndef QORVEL_H
#define QORVEL_H

#include <stdint.h>

/** @name Release version
 * The release of the library this header belongs to (semantic versioning:
 * the interface is fixed within a major version, which is also the SONAME,
 * `libqorvel.so.1`). Unrelated to the nine words of cFileVersion().
 * @{ */
/** Major version: changes when the interface changes incompatibly. */
#define QORVEL_VERSION_MAJOR 1
/** Minor version: changes when behaviour is added compatibly. */
#define QORVEL_VERSION_MINOR 0
/** Patch version: changes for fixes. */
#define QORVEL_VERSION_PATCH 0
/** @} */

/**
 * @def QORVEL_CALL
 * The calling convention of every export. On 32-bit Windows it is `__cdecl`,
 * the C default: the exported names stay undecorated, and the two C++
 * exports keep exactly the names g++ gives them. Elsewhere it is empty.
 */
#if defined(_WIN32) && !defined(_WIN64)
#define QORVEL_CALL __cdecl
#else
#define QORVEL_CALL
#endif

/**
 * @def QORVEL_API
 * Marks an export: `__declspec(dllimport)` for Windows hosts, default
 * visibility while the library is built, empty for hosts elsewhere and when
 * `QORVEL_STATIC` is defined.
 */
#if defined(QORVEL_STATIC)
#define QORVEL_API
#elif defined(_WIN32)
#if defined(QORVEL_BUILDING_LIBRARY)
#define QORVEL_API __declspec(dllexport)
#else
#define QORVEL_API __declspec(dllimport)
#endif
#elif defined(QORVEL_BUILDING_LIBRARY)
#define QORVEL_API __attribute__((visibility("default")))
#else
#define QORVEL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Status words ------------------------------------------------------ */

/**
 * @defgroup status Status words
 * The answer of (almost) every export. Take one apart with
 * CFILE_STATUS_CODE() and CFILE_STATUS_ERROR(), name it with
 * cFileStatusText() of qorvel_status.h, or from a shell with
 * `qorvel status WORD`. The full translation table:
 * <a href="../status-codes.md">status codes</a>.
 * @{
 */

/**
 * A 32-bit status word. 0 is success; otherwise the low half is one of the
 * `CFILE_ERR_*` codes and the high half the platform's error number in Win32
 * numbering (0 when the library itself rejected an argument). Example:
 * 0x00020304 is ::CFILE_ERR_NOT_FOUND with Win32 error 2,
 * `ERROR_FILE_NOT_FOUND`.
 */
typedef uint32_t cFileStatus;

/** Success. */
#define CFILE_OK 0x0000u
/** Access refused; the object cannot be made, removed, read or written
 * (Win32 errors 5, 82, 145, 267, 29, 30, 16). */
#define CFILE_ERR_ACCESS 0x0301u
/** An argument was rejected: by the library's own checks (high half 0) or
 * by the platform (Win32 error 13). */
#define CFILE_ERR_INVALID_ARG 0x0302u
/** The handle is not usable: ::CFILE_INVALID_HANDLE (high half 0), or a
 * handle the platform does not know (Win32 errors 6, 114). */
#define CFILE_ERR_INVALID_HANDLE 0x0303u
/** The file, or a directory on its path, does not exist (Win32 errors 2, 3). */
#define CFILE_ERR_NOT_FOUND 0x0304u
/** No more files can be held open for sharing, or no more byte-range locks
 * recorded (Win32 error 36). */
#define CFILE_ERR_TOO_MANY_SHARED 0x0305u
/** Another open of the file conflicts with the sharing asked for (Win32
 * error 32). */
#define CFILE_ERR_SHARING 0x0306u
/** Any other failure: every Win32 error not listed with another code (for
 * instance 33, a lock conflict; 158, not locked; 183, the name exists). */
#define CFILE_ERR_GENERAL 0x0307u
/** The volume has no room left (Win32 errors 112, 39, 277). */
#define CFILE_ERR_DISK_FULL 0x0308u

/* C++ hosts get the same values through C++ casts, so that the macros build
 * under -Wold-style-cast. */
#ifdef __cplusplus
/** The library error code of a status word (bits 0-15). */
#define CFILE_STATUS_CODE(status) (static_cast<uint16_t>((status)&0xFFFFu))
/** The platform error number of a status word (bits 16-31), Win32 numbering. */
#define CFILE_STATUS_ERROR(status) (static_cast<uint16_t>(((status) >> 16) & 0xFFFFu))
#else
/** The library error code of a status word (bits 0-15). */
#define CFILE_STATUS_CODE(status)  ((uint16_t)((status)&0xFFFFu))
/** The platform error number of a status word (bits 16-31), Win32 numbering. */
#define CFILE_STATUS_ERROR(status) ((uint16_t)(((status) >> 16) & 0xFFFFu))
#endif

/** @} */

/* ---- Handles and open modes -------------------------------------------- */

/**
 * @defgroup handles Handles, open modes and constants
 * @{
 */

/**
 * The platform's own file handle: a file descriptor on POSIX systems, a
 * kernel handle (which always fits in 32 bits) on Windows. The library keeps
 * no table of handles; a handle belongs to the caller from cFileOpen() or
 * cFileCreate() until cFileClose().
 */
typedef int32_t cFileHandle;
#ifdef __cplusplus
/** The no-file handle (-1). Every export that takes a handle answers
 * 0x00000303 for it; a failed open or create stores it. */
#define CFILE_INVALID_HANDLE (static_cast<cFileHandle>(-1))
#else
/** The no-file handle (-1). Every export that takes a handle answers
 * 0x00000303 for it; a failed open or create stores it. */
#define CFILE_INVALID_HANDLE ((cFileHandle)-1)
#endif

/**
 * The 16-bit open-mode word: one access bit and at most one share bit. Valid
 * when `(mode & CFILE_MODE_ACCESS_MASK) != 0` and
 * `(mode & CFILE_MODE_INVALID_MASK) == 0`. A word without a share bit keeps
 * every other open out. Examples: 0x0021 reads and lets others read; 0x0044
 * reads and writes with full sharing; 0x0002 writes and shares nothing.
 * Several access bits together (3, 5, 6, 7) give a handle without data
 * access; several share bits together share nothing.
 */
typedef uint16_t cFileMode;
/** Read access. */
#define CFILE_ACCESS_READ 0x0001u
/** Write access. */
#define CFILE_ACCESS_WRITE 0x0002u
/** Read and write access. */
#define CFILE_ACCESS_READWRITE 0x0004u
/** Other opens of the file may write. */
#define CFILE_SHARE_WRITE 0x0010u
/** Other opens of the file may read. */
#define CFILE_SHARE_READ 0x0020u
/** Other opens of the file may read and write. */
#define CFILE_SHARE_READWRITE 0x0040u
/** The access bits: at least one must be set. */
#define CFILE_MODE_ACCESS_MASK 0x0007u
/** Bits that must be clear (bits 8 and 9 are accepted and ignored). */
#define CFILE_MODE_INVALID_MASK 0xFC88u

/** Seek origin of cFileSeek(): from the start of the file. */
#define CFILE_SEEK_BEGIN 0u
/** Seek origin of cFileSeek(): from the current position. */
#define CFILE_SEEK_CURRENT 1u
/** Seek origin of cFileSeek(): from the end of the file. */
#define CFILE_SEEK_END 2u

/** Attribute selector: the flag is 1 when the path is read-only. */
#define CFILE_ATTR_READONLY 1u
/** Attribute selector: the flag is 1 when the path is writable. */
#define CFILE_ATTR_WRITABLE 4u

/** Size of a buffer that receives a directory path: 260 bytes and a NUL
 * (cFileGetCurrentDir(), cFileGetTempDir()). */
#define CFILE_DIR_BUFFER_SIZE 261

/** @} */

/* ---- Records ------------------------------------------------------------ */

/**
 * @defgroup records Records
 * @{
 */

/** Nine constant 16-bit words filled by cFileVersion(). */
typedef struct cFileVersionInfo {
    /** 0 3 202 6 0 0 0 1 5, in every release. */
    uint16_t word[9];
} cFileVersionInfo;

/** @cond INTERNAL */
#if defined(_MSC_VER)
#pragma pack(push, 1)
#define QORVEL_PACKED
#else
#define QORVEL_PACKED __attribute__((packed))
#endif
/** @endcond */
/**
 * The ten tagged fields of a status-line record, read by
 * cFileBuildNftBuffer(). Packed: every field starts where the one before it
 * ends, so the pointers are not aligned. A null text pointer takes the
 * field's fallback; a pointer to an empty text gives an empty value. Texts
 * are copied byte for byte, without quoting.
 */
typedef struct QORVEL_PACKED cFileNftRecord {
    int16_t severity;  /**< " /S=": 0 or 1 give "Err"; anything else "Warn" */
    const char *eText; /**< " /E=", "NA" when null */
    const char *uText; /**< " /U=", "NA" when null */
    const char *aText; /**< " /A=", "NA" when null */
    const char *vText; /**< " /V=", "0" when null */
    const char *fText; /**< " /F=", "NA" when null */
    int32_t oValue;    /**< " /O=", decimal (1 to 11 characters) */
    const char *pText; /**< " /P=", "NA" when null */
    int16_t rValue;    /**< " /R=", decimal (1 to 6 characters) */
    const char *tText; /**< " /T=", "N" when null */
} cFileNftRecord;
/** @cond INTERNAL */
#if defined(_MSC_VER)
#pragma pack(pop)
#endif
#undef QORVEL_PACKED
/** @endcond */

/** @} */

/* ---- Handle-based file I/O ---------------------------------------------- */

/**
 * @defgroup handleio Handle-based file I/O
 * Checks run in the order given; a rejected argument answers without any
 * platform call and without writing an out-parameter. Pointer checks come
 * before the handle check.
 * @{
 */

/**
 * Opens an existing file with the access and sharing of a mode word.
 * @param path   the file's name, NUL-terminated, passed to the platform
 *               unchanged (8-bit code page on Windows, bytes on Linux)
 * @param mode   the open-mode word (::cFileMode)
 * @param handle receives the handle on success, ::CFILE_INVALID_HANDLE when
 *               the platform refuses; untouched when an argument is rejected
 * @return 0; 0x00000302 for a null `path` or `handle`, an invalid mode or an
 *         empty path; otherwise the platform's refusal, for instance
 *         0x00020304 (no such file), 0x00030304 (no such directory),
 *         0x00050301 (access denied, also a read-only file opened for
 *         writing), 0x00200306 (another open does not share the file),
 *         0x00040307 (too many open files), 0x00CE0307 (name too long).
 * @note A handle is one platform handle (on Linux one descriptor) with
 *       exactly the access its mode asks for, and the library holds nothing
 *       else for it. Handles are inherited by child processes (on Linux by
 *       every `fork` and `exec`): a child gets that handle, its access and
 *       nothing more, and with it the share mode, which then lasts until
 *       every process holding the handle has closed it. Byte-range locks
 *       stay the locking process's: a child is not granted the ranges its
 *       parent locked through the handle and cannot unlock them. A host that
 *       does not want this sets close-on-exec on the
 *       platform handle from cFileGetPlatformHandle(): `fcntl(fd, F_SETFD,
 *       FD_CLOEXEC)` on Linux, `SetHandleInformation(h, HANDLE_FLAG_INHERIT,
 *       0)` on Windows; a started program then gets nothing of it.
 * @note Linux: sharing is enforced between every open made through the
 *       library, in any process; opens that bypass it are not kept out
 *       (<a href="../platform-notes.md#share-modes">share modes</a>). While
 *       another program holds a POSIX lock over the whole file, an open its
 *       lock is in the way of answers 0x00210307; a read lock there is in
 *       the way of every open with data access, since the share modes
 *       behind it cannot be seen.
 */
QORVEL_API cFileStatus QORVEL_CALL cFileOpen(const char *path, cFileMode mode, cFileHandle *handle);
/**
 * Creates a file, or empties an existing one, and opens it.
 * @param path   the file's name, as for cFileOpen()
 * @param mode   the open-mode word; it must not ask to read
 *               (::CFILE_ACCESS_READ clear)
 * @param unused not read; pass 0
 * @param handle receives the handle on success, ::CFILE_INVALID_HANDLE when
 *               the platform refuses; untouched when an argument is rejected
 * @return 0; 0x00000302 for a null `path` or `handle`, an invalid mode or an
 *         empty path; 0x00000307 for a mode with ::CFILE_ACCESS_READ set;
 *         otherwise the platform's refusal as for cFileOpen() (emptying a
 *         read-only file answers 0x00050301).
 */
QORVEL_API cFileStatus QORVEL_CALL cFileCreate(const char *path, cFileMode mode, int32_t unused,
                                               cFileHandle *handle);
/**
 * Releases a handle, and with it the byte-range locks taken through it.
 * @param handle a handle from cFileOpen() or cFileCreate()
 * @return 0; 0x00000303 for ::CFILE_INVALID_HANDLE; 0x00060303 for a handle
 *         the platform does not know (also one closed already); on a file
 *         system other machines share, the error of syncing what the handle
 *         wrote, which it does before its locks go (the handle is closed
 *         all the same).
 */
QORVEL_API cFileStatus QORVEL_CALL cFileClose(cFileHandle handle);
/**
 * Has the platform write the file's buffers out.
 * @param handle an open handle
 * @return 0 for every handle but ::CFILE_INVALID_HANDLE, which answers
 *         0x00000303: the platform's answer is not examined.
 */
QORVEL_API cFileStatus QORVEL_CALL cFileFlush(cFileHandle handle);
/**
 * Copies the 32-bit handle value into a buffer, in the machine's byte order.
 * @param handle the handle
 * @param buffer receives 4 bytes; the rest is not touched
 * @param size   the buffer's size in bytes, at least 4
 * @return 0; 0x00000302 for a null buffer or a size below 4 (tested before
 *         the handle); 0x00000303 for ::CFILE_INVALID_HANDLE. No platform
 *         call is made.
 */
QORVEL_API cFileStatus QORVEL_CALL cFileGetPlatformHandle(cFileHandle handle, void *buffer,
                                                          uint16_t size);

/**
 * Reads up to `count` bytes at the position, in one platform call.
 * @param handle    an open handle with read access
 * @param buffer    receives the bytes; at least `count` bytes long
 * @param count     the number of bytes wanted
 * @param bytesRead set to 0 first, then to the number of bytes that arrived,
 *                  also when the read fails; 0 at the end of the file
 * @return 0; 0x00000302 for a null `buffer` or `bytesRead`; 0x00000303 for
 *         ::CFILE_INVALID_HANDLE; 0x00050301 for a handle without read
 *         access; 0x00210307 when part of the range is locked through
 *         another handle; 0x00060303 for an unknown handle.
 * @note Byte-range locks are mandatory on both platforms: a read over a
 *       range another handle has locked is refused
 *       (<a href="../platform-notes.md#byte-range-locks">locks</a>).
 */
QORVEL_API cFileStatus QORVEL_CALL cFileRead(cFileHandle handle, void *buffer, uint32_t count,
                                             uint32_t *bytesRead);
/**
 * Writes `count` bytes at the position.
 * @param handle       an open handle with write access
 * @param buffer       the bytes, at least `count` of them
 * @param count        the number of bytes; 0 answers 0 without a platform call
 * @param bytesWritten set to 0 first, then to the number of bytes that
 *                     reached the file, also when the write fails
 * @return 0; 0x00000302 for a null `buffer` or `bytesWritten`; 0x00000303
 *         for ::CFILE_INVALID_HANDLE; 0x00050301 for a handle without write
 *         access; 0x00210307 when part of the range is locked through
 *         another handle; 0x00700308 when the volume is full (the count says
 *         how much arrived); 0x00DF0307 past 4 GiB.
 * @note Linux completes a write that the kernel cut short, as a synchronous
 *       Windows write does
 *       (<a href="../platform-notes.md#reading-writing-and-positions">I/O</a>).
 */
QORVEL_API cFileStatus QORVEL_CALL cFileWrite(cFileHandle handle, const void *buffer,
                                              uint32_t count, uint32_t *bytesWritten);
/**
 * Moves the position forward from an origin. The distance is unsigned:
 * every move goes forward from its origin, never back; a position past the
 * end is allowed, one at 0xFFFFFFFF or beyond is not (32-bit positions).
 * @param handle   an open handle
 * @param distance bytes to move forward from the origin
 * @param origin   ::CFILE_SEEK_BEGIN, ::CFILE_SEEK_CURRENT or ::CFILE_SEEK_END
 * @param position receives the new position on success; may be null; never
 *                 written on failure
 * @return 0; 0x00000303 for ::CFILE_INVALID_HANDLE; 0x00570307 for another
 *         origin; 0x00DF0307 for a move that would end at 0xFFFFFFFF or
 *         beyond (the position stays); 0x00060303 for an unknown handle.
 */
QORVEL_API cFileStatus QORVEL_CALL cFileSeek(cFileHandle handle, uint32_t distance, uint32_t origin,
                                             uint32_t *position);
/**
 * Tells the position.
 * @param handle   an open handle
 * @param position set to 0 first, then to the position on success
 * @return 0; 0x00000302 for a null `position`; 0x00000303 for
 *         ::CFILE_INVALID_HANDLE; the platform's refusal otherwise.
 */
QORVEL_API cFileStatus QORVEL_CALL cFileGetPosition(cFileHandle handle, uint32_t *position);
/**
 * Cuts or extends the file to `size` bytes (on Linux an extension reads as
 * zeros).
 * The position stays where it was when that is below the new size, and is
 * at the new size otherwise. Not safe against other calls on the same handle
 * at the same time.
 * @param handle an open handle with write access
 * @param size   the new size in bytes
 * @return 0; 0x00000303 for ::CFILE_INVALID_HANDLE; 0x00050301 for a handle
 *         without write access; 0x00700308 when the volume is full; the
 *         platform's refusal otherwise.
 */
QORVEL_API cFileStatus QORVEL_CALL cFileSetSize(cFileHandle handle, uint32_t size);
/**
 * Tells whether the position equals the end of the file. The position is
 * left where it was. Not safe against other calls on the same handle at the
 * same time.
 * @param handle an open handle
 * @param isEof  set to 0 first, then to 1 when the position is exactly at
 *               the end (a position past the end gives 0)
 * @return 0; 0x00000302 for a null `isEof`; 0x00000303 for
 *         ::CFILE_INVALID_HANDLE; the platform's refusal otherwise.
 */
QORVEL_API cFileStatus QORVEL_CALL cFileIsEof(cFileHandle handle, int16_t *isEof);

/**
 * Locks a byte range exclusively, without waiting. The range covers `length`
 * bytes from `start`, as 64-bit positions (it may reach beyond 4 GiB and
 * beyond the end of the file). While it is held, reads, writes and locks of
 * overlapping bytes through any other handle are refused.
 * @param handle an open handle
 * @param start  the first byte of the range
 * @param length the number of bytes; 0 is passed on like any other length
 * @return 0; 0x00000303 for ::CFILE_INVALID_HANDLE; 0x00210307 when part of
 *         the range is locked already (through this or another handle);
 *         0x00240305 when no more locks can be recorded; 0x00050301 for a
 *         handle opened with no access right (two or three access bits),
 *         which takes no lock; 0x00060303 for an unknown handle.
 * @note cFilePrepLock() is not needed. Linux keeps locks per handle (open
 *       file description), as Windows does
 *       (<a href="../platform-notes.md#byte-range-locks">locks</a>). On a
 *       file system other machines share, a lock that has bytes makes them
 *       current: reads inside it see what other machines wrote under their
 *       locks (<a href="../distributed.md#data-between-machines">data
 *       between machines</a>).
 */
QORVEL_API cFileStatus QORVEL_CALL cFileLock(cFileHandle handle, uint32_t start, uint32_t length);
/**
 * Releases a range locked through this handle with exactly this start and
 * length.
 * @param handle the handle the lock was taken through
 * @param start  the start given to cFileLock()
 * @param length the length given to cFileLock()
 * @return 0; 0x00000303 for ::CFILE_INVALID_HANDLE; 0x009E0307 when no lock
 *         with exactly this range is held through the handle (Wine answers
 *         0x00210307); on a file system other machines share, the error of
 *         syncing what the handle wrote, which it does first (the lock then
 *         stays held).
 */
QORVEL_API cFileStatus QORVEL_CALL cFileUnlock(cFileHandle handle, uint32_t start, uint32_t length);

/** @} */

/* ---- Path-based operations and queries ---------------------------------- */

/**
 * @defgroup paths Path-based operations and queries
 * Paths are NUL-terminated and passed on unchanged. Windows refuses paths of
 * 261 bytes or more, Linux names over 255 bytes and paths of 4096 bytes or
 * more, with 0x00CE0307
 * (<a href="../platform-notes.md#paths">paths</a>).
 * @{
 */

/**
 * Removes a file.
 * @param path the file's name
 * @return 0; 0x00000302 for a null or empty path; 0x00020304 or 0x00030304
 *         when it is missing; 0x00050301 for a directory or a read-only
 *         file; 0x00200306 while a handle holds the file open with data
 *         access.
 */
QORVEL_API cFileStatus QORVEL_CALL cFileRemove(const char *path);
/**
 * Renames or moves a file or directory. An existing name is never replaced.
 * Moving a file to another volume copies it, and removes the source only
 * after the copy is complete.
 * @param existingPath the present name
 * @param newPath      the new name
 * @return 0; 0x00000302 for a null path; 0x00B70307 when `newPath` exists;
 *         0x00020304 or 0x00030304 when a name is missing; 0x00200306 while
 *         a handle holds the file open with data access; 0x00110307 for a
 *         directory that would have to change volumes.
 */
QORVEL_API cFileStatus QORVEL_CALL cFileRename(const char *existingPath, const char *newPath);
/**
 * Creates a directory; its parent must exist.
 * @param path the directory's name
 * @return 0; 0x00000302 for a null path; 0x00B70307 when the name exists;
 *         0x00030304 when the parent is missing; 0x00050301 when the parent
 *         cannot be written.
 */
QORVEL_API cFileStatus QORVEL_CALL cFileCreateDir(const char *path);
/**
 * Removes an empty directory.
 * @param path the directory's name
 * @return 0; 0x00000302 for a null path; 0x00910301 when it is not empty;
 *         0x00050301 for a read-only directory (made so with
 *         cFileSetAttribute()); 0x00200306 for the current directory;
 *         0x00020304 or 0x00030304 when it is missing; 0x007B0307 for an
 *         empty path.
 */
QORVEL_API cFileStatus QORVEL_CALL cFileRemoveDir(const char *path);
/**
 * Tells whether a file or directory exists.
 * @param path   the name; an empty or unreachable name counts as missing
 * @param exists set to 0 first, then to 1 when the platform reports
 *               attributes for the path
 * @return 0 whenever both pointers are given; 0x00000302 for a null `exists`
 *         or `path`. Never a platform error.
 */
QORVEL_API cFileStatus QORVEL_CALL cFileIsExist(const char *path, int16_t *exists);
/**
 * The size of a named file in bytes (0 for a directory).
 * @param path the file's name
 * @param size set to 0 first, then to the size on success
 * @return 0; 0x00000302 for a null `path` or `size`, or an empty path;
 *         0x00020304 or 0x00030304 when it is missing; 0x00DF0307 for a file
 *         of 0xFFFFFFFF bytes or more (size 0).
 */
QORVEL_API cFileStatus QORVEL_CALL cFileGetSize(const char *path, uint32_t *size);

/**
 * Reads the read-only state of a path. Answers 0 or 1, never a status word.
 * @param path     the name of a file or directory
 * @param selector ::CFILE_ATTR_READONLY or ::CFILE_ATTR_WRITABLE
 * @param flag     receives 1 when the path is read-only (selector 1) or
 *                 writable (selector 4), else 0; written 0 when the path
 *                 cannot be examined
 * @return 0 on success; 1 for another selector (nothing written), a null
 *         pointer, or a path that cannot be examined.
 * @note Linux reads the owner-write permission bit as the attribute
 *       (<a href="../platform-notes.md#the-read-only-attribute">read-only</a>).
 */
QORVEL_API int32_t QORVEL_CALL cFileGetAttribute(const char *path, uint16_t selector,
                                                 int16_t *flag);
/**
 * Makes a path read-only or writable. Answers 0 or 1, never a status word.
 * A read-only file cannot be opened for writing, emptied or removed; a
 * read-only directory cannot be removed. Renaming stays allowed.
 * @param path     the name of a file or directory
 * @param selector ::CFILE_ATTR_READONLY (value non-zero makes it read-only)
 *                 or ::CFILE_ATTR_WRITABLE (value non-zero makes it writable)
 * @param value    the flag
 * @return 0 on success (also when the state was already so); 1 for another
 *         selector, a null path, or a path that cannot be changed.
 * @note Linux clears every write permission bit to make a path read-only
 *       and sets the owner-write bit to make it writable
 *       (<a href="../platform-notes.md#the-read-only-attribute">read-only</a>).
 */
QORVEL_API int32_t QORVEL_CALL cFileSetAttribute(const char *path, uint16_t selector,
                                                 int16_t value);
/**
 * The creation time of a path, in seconds since 1970 (UTC). Answers 0 or 1,
 * never a status word.
 * @param path     the name of a file or directory
 * @param selector ::CFILE_ATTR_READONLY or ::CFILE_ATTR_WRITABLE (both give
 *                 the same time)
 * @param time     receives the time; -1 for a time 32 bits cannot hold;
 *                 not written on failure
 * @return 0 on success; 1 for another selector, a null pointer or a path
 *         that cannot be examined.
 * @note Linux reports the birth time where the filesystem records one, else
 *       the last-write time; Windows converts through local time
 *       (<a href="../platform-notes.md#times">times</a>).
 */
QORVEL_API int32_t QORVEL_CALL cFileGetTime(const char *path, uint16_t selector, int32_t *time);

/**
 * The current directory.
 * @param buffer at least ::CFILE_DIR_BUFFER_SIZE (261) bytes; receives the
 *               directory, NUL-terminated and NUL-filled to 261 bytes;
 *               untouched on failure
 * @return 0; 0x00000302 for a null buffer; 0x00CE0307 for a directory
 *         longer than 260 bytes; 0x00020304 when it was removed.
 */
QORVEL_API cFileStatus QORVEL_CALL cFileGetCurrentDir(char *buffer);
/**
 * The directory for temporary files, ending with a separator.
 * @param buffer at least ::CFILE_DIR_BUFFER_SIZE (261) bytes; receives the
 *               directory and its NUL, nothing after it; untouched on failure
 * @return 0; 0x00000302 for a null buffer; 0x00CE0307 for a directory
 *         longer than 260 bytes.
 * @note Linux answers `TMPDIR` when it names a directory, else `/tmp/`
 *       (<a href="../platform-notes.md#volumes-current-and-temporary-directory">volumes</a>).
 */
QORVEL_API cFileStatus QORVEL_CALL cFileGetTempDir(char *buffer);
/**
 * The free bytes, available to the caller, of the volume that holds a path.
 * @param path      a file or directory; a missing one is measured on its
 *                  nearest existing ancestor's volume (Linux) or the drive
 *                  its first letter names (Windows)
 * @param freeBytes set to 0 first, then to the free bytes, at most
 *                  0xFFFFFFFF ("at least this much"); it may be set also
 *                  when the answer is not 0
 * @return 0; 0x00000302 for a null `path` or `freeBytes`, or an empty path;
 *         0x00020304 when the path itself could not be examined (the free
 *         space is still stored when found); the platform's refusal of the
 *         volume query otherwise.
 * @note Windows measures drive roots and climbs network paths; Linux
 *       measures the path's own filesystem
 *       (<a href="../platform-notes.md#volumes-current-and-temporary-directory">volumes</a>).
 */
QORVEL_API cFileStatus QORVEL_CALL cFileGetDiskFree(const char *path, uint32_t *freeBytes);

/** @} */

/* ---- Composite utilities ------------------------------------------------ */

/**
 * @defgroup utilities Composite utilities
 * The status-line record and the one-call append
 * (<a href="../logging.md">logging</a>).
 * @{
 */

/**
 * Builds one status-line record:
 * `/D=STAMP /S=Err|Warn /E= /U= /A= /V= /F= /O= /P= /R= /T=` with each
 * field's value, CR LF and a NUL. Touches no file.
 * @param stamp  the text after "/D=", or null for the local time as
 *               "YYY/MM/DD hh:mm:ss" (years since 1900: 126 is 2026; `TZ` is
 *               honoured and re-read on every call; "0" when the time cannot
 *               be converted)
 * @param record the fields (::cFileNftRecord); null gives the line of a
 *               record with every field absent and both numbers 0
 * @param out    receives the line from its first byte. The interface
 *               carries no size: the caller provides 46 bytes plus the stamp
 *               (18 for the clock stamp until 2899), the severity word (3 or
 *               4), each text or its fallback ("NA" 2, `vText` "0" 1, `tText`
 *               "N" 1) and the two numbers (at most 11 and 6). With every
 *               text absent 97 bytes suffice. `out` must not overlap the
 *               inputs.
 * @return 0; 0x00000302 for a null `out`, writing nothing.
 */
QORVEL_API cFileStatus QORVEL_CALL cFileBuildNftBuffer(const char *stamp,
                                                       const cFileNftRecord *record, char *out);
/**
 * Appends a text to a named file in one call, creating the file when it is
 * missing. The text lands at the file's true end in one step, also with
 * other appenders in this or other processes; an existing file is never
 * emptied. Nothing stays open.
 * @param path the file's name
 * @param text the bytes before its NUL are written; no line end is added
 * @return 0 (also for an empty text); 0x00000302 for a null `path` or
 *         `text`, or an empty path; the status of the open, the size query
 *         or the write otherwise (for instance 0x00050301 for a read-only
 *         file, 0x00200306 when another open does not share the file,
 *         0x00700308 when the volume is full).
 */
QORVEL_API cFileStatus QORVEL_CALL cFileWriteToFile(const char *path, const char *text);

/** @} */

/* ---- Version and lock preparation --------------------------------------- */

/**
 * @defgroup version Version and lock preparation
 * @{
 */

/**
 * Fills the nine constant version words: 0 3 202 6 0 0 0 1 5. They identify
 * the interface and are the same in every release; the release is
 * ::QORVEL_VERSION_MAJOR.::QORVEL_VERSION_MINOR.::QORVEL_VERSION_PATCH.
 * @param info the record to fill; must not be null
 * @return `info`.
 */
QORVEL_API cFileVersionInfo *QORVEL_CALL cFileVersion(cFileVersionInfo *info);
/**
 * Does nothing; kept for old hosts. Locking needs no preparation.
 * @param value ignored
 * @return 0.
 */
QORVEL_API cFileStatus QORVEL_CALL cFilePrepLock(uint16_t value);
/**
 * Does nothing; kept for old hosts.
 * @return 0.
 */
QORVEL_API cFileStatus QORVEL_CALL cFileTermLock(void);

/** @} */

#ifdef __cplusplus
} /* extern "C" */

/**
 * @ingroup version
 * The same no-op as cFilePrepLock(), exported under its C++ name
 * `_Z13iFilePrepLockt`.
 * @param value ignored
 * @return 0.
 */
QORVEL_API int32_t QORVEL_CALL iFilePrepLock(unsigned short value);
/**
 * @ingroup version
 * The same no-op as cFileTermLock(), exported under its C++ name
 * `_Z13iFileTermLockv`.
 * @return 0.
 */
QORVEL_API int32_t QORVEL_CALL iFileTermLock();
#endif

#endif /* QORVEL_H */

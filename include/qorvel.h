/*
 * qorvel: one flat C interface to files, directories and volumes.
 *
 * Every operation answers a 32-bit status word (cFileStatus): 0 is success;
 * otherwise bits 0-15 hold a library error code (CFILE_ERR_*) and bits 16-31
 * the low 16 bits of the operating system's error number, in Win32 numbering
 * on every platform. The library's own argument checks answer exactly
 * 0x00000302, 0x00000303 or 0x00000307.
 *
 * The header compiles as C99 and as C++.
 */
#ifndef QORVEL_H
#define QORVEL_H

#include <stdint.h>

/*
 * QORVEL_CALL is the calling convention of every export. On 32-bit Windows it
 * is __cdecl, the C default: the exported names stay undecorated, and the two
 * C++ exports keep exactly the names g++ gives them. Elsewhere it is empty.
 */
#if defined(_WIN32) && !defined(_WIN64)
#define QORVEL_CALL __cdecl
#else
#define QORVEL_CALL
#endif

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

typedef uint32_t cFileStatus;

#define CFILE_OK                  0x0000u
#define CFILE_ERR_ACCESS          0x0301u /* access refused; cannot make, remove, read or write */
#define CFILE_ERR_INVALID_ARG     0x0302u /* an argument was rejected */
#define CFILE_ERR_INVALID_HANDLE  0x0303u /* the handle is not usable */
#define CFILE_ERR_NOT_FOUND       0x0304u /* the file, or a directory on its path, does not exist */
#define CFILE_ERR_TOO_MANY_SHARED 0x0305u /* no more files can be held open for sharing */
#define CFILE_ERR_SHARING         0x0306u /* another open conflicts with the sharing asked for */
#define CFILE_ERR_GENERAL         0x0307u /* any other failure */
#define CFILE_ERR_DISK_FULL       0x0308u /* the volume has no room left */

/* The library error code and the platform error number of a status word.
 * C++ hosts get the same values through C++ casts, so that the macros build
 * under -Wold-style-cast. */
#ifdef __cplusplus
#define CFILE_STATUS_CODE(status)  (static_cast<uint16_t>((status) & 0xFFFFu))
#define CFILE_STATUS_ERROR(status) (static_cast<uint16_t>(((status) >> 16) & 0xFFFFu))
#else
#define CFILE_STATUS_CODE(status)  ((uint16_t)((status) & 0xFFFFu))
#define CFILE_STATUS_ERROR(status) ((uint16_t)(((status) >> 16) & 0xFFFFu))
#endif

/* ---- Handles and open modes -------------------------------------------- */

/* The platform's own file handle: a file descriptor on POSIX systems, a
 * kernel handle (which always fits in 32 bits) on Windows. */
typedef int32_t cFileHandle;
#ifdef __cplusplus
#define CFILE_INVALID_HANDLE (static_cast<cFileHandle>(-1))
#else
#define CFILE_INVALID_HANDLE ((cFileHandle)-1)
#endif

typedef uint16_t cFileMode;
#define CFILE_ACCESS_READ       0x0001u
#define CFILE_ACCESS_WRITE      0x0002u
#define CFILE_ACCESS_READWRITE  0x0004u
#define CFILE_SHARE_WRITE       0x0010u
#define CFILE_SHARE_READ        0x0020u
#define CFILE_SHARE_READWRITE   0x0040u
#define CFILE_MODE_ACCESS_MASK  0x0007u
#define CFILE_MODE_INVALID_MASK 0xFC88u

/* Seek origins. */
#define CFILE_SEEK_BEGIN   0u
#define CFILE_SEEK_CURRENT 1u
#define CFILE_SEEK_END     2u

/* Attribute selectors. */
#define CFILE_ATTR_READONLY 1u
#define CFILE_ATTR_WRITABLE 4u

/* Size of a buffer that receives a directory path: 260 bytes and a NUL. */
#define CFILE_DIR_BUFFER_SIZE 261

/* ---- Records ------------------------------------------------------------ */

/* Nine constant 16-bit words filled by cFileVersion. */
typedef struct cFileVersionInfo {
    uint16_t word[9];
} cFileVersionInfo;

/* The ten tagged fields of a status-line record. Packed: every field starts
 * where the one before it ends, so the pointers are not aligned. */
#if defined(_MSC_VER)
#pragma pack(push, 1)
#define QORVEL_PACKED
#else
#define QORVEL_PACKED __attribute__((packed))
#endif
typedef struct QORVEL_PACKED cFileNftRecord {
    int16_t severity;     /* 0 or 1: "Err"; anything else: "Warn" */
    const char *eText;    /* " /E=", "NA" when null */
    const char *uText;    /* " /U=", "NA" when null */
    const char *aText;    /* " /A=", "NA" when null */
    const char *vText;    /* " /V=", "0" when null */
    const char *fText;    /* " /F=", "NA" when null */
    int32_t oValue;       /* " /O=", decimal */
    const char *pText;    /* " /P=", "NA" when null */
    int16_t rValue;       /* " /R=", decimal */
    const char *tText;    /* " /T=", "N" when null */
} cFileNftRecord;
#if defined(_MSC_VER)
#pragma pack(pop)
#endif
#undef QORVEL_PACKED

/* ---- Handle-based file I/O ---------------------------------------------- */

QORVEL_API cFileStatus QORVEL_CALL cFileOpen(const char *path, cFileMode mode, cFileHandle *handle);
QORVEL_API cFileStatus QORVEL_CALL cFileCreate(const char *path, cFileMode mode, int32_t unused,
                                               cFileHandle *handle);
QORVEL_API cFileStatus QORVEL_CALL cFileClose(cFileHandle handle);
QORVEL_API cFileStatus QORVEL_CALL cFileFlush(cFileHandle handle);
QORVEL_API cFileStatus QORVEL_CALL cFileGetPlatformHandle(cFileHandle handle, void *buffer,
                                                          uint16_t size);

QORVEL_API cFileStatus QORVEL_CALL cFileRead(cFileHandle handle, void *buffer, uint32_t count,
                                             uint32_t *bytesRead);
QORVEL_API cFileStatus QORVEL_CALL cFileWrite(cFileHandle handle, const void *buffer,
                                              uint32_t count, uint32_t *bytesWritten);
QORVEL_API cFileStatus QORVEL_CALL cFileSeek(cFileHandle handle, uint32_t distance,
                                             uint32_t origin, uint32_t *position);
QORVEL_API cFileStatus QORVEL_CALL cFileGetPosition(cFileHandle handle, uint32_t *position);
QORVEL_API cFileStatus QORVEL_CALL cFileSetSize(cFileHandle handle, uint32_t size);
QORVEL_API cFileStatus QORVEL_CALL cFileIsEof(cFileHandle handle, int16_t *isEof);

QORVEL_API cFileStatus QORVEL_CALL cFileLock(cFileHandle handle, uint32_t start, uint32_t length);
QORVEL_API cFileStatus QORVEL_CALL cFileUnlock(cFileHandle handle, uint32_t start, uint32_t length);

/* ---- Path-based operations and queries ---------------------------------- */

QORVEL_API cFileStatus QORVEL_CALL cFileRemove(const char *path);
QORVEL_API cFileStatus QORVEL_CALL cFileRename(const char *existingPath, const char *newPath);
QORVEL_API cFileStatus QORVEL_CALL cFileCreateDir(const char *path);
QORVEL_API cFileStatus QORVEL_CALL cFileRemoveDir(const char *path);
QORVEL_API cFileStatus QORVEL_CALL cFileIsExist(const char *path, int16_t *exists);
QORVEL_API cFileStatus QORVEL_CALL cFileGetSize(const char *path, uint32_t *size);

/* These three answer 0 for success and 1 for failure, never a status word. */
QORVEL_API int32_t QORVEL_CALL cFileGetAttribute(const char *path, uint16_t selector, int16_t *flag);
QORVEL_API int32_t QORVEL_CALL cFileSetAttribute(const char *path, uint16_t selector, int16_t value);
QORVEL_API int32_t QORVEL_CALL cFileGetTime(const char *path, uint16_t selector, int32_t *time);

QORVEL_API cFileStatus QORVEL_CALL cFileGetCurrentDir(char *buffer);
QORVEL_API cFileStatus QORVEL_CALL cFileGetTempDir(char *buffer);
QORVEL_API cFileStatus QORVEL_CALL cFileGetDiskFree(const char *path, uint32_t *freeBytes);

/* ---- Composite utilities ------------------------------------------------ */

QORVEL_API cFileStatus QORVEL_CALL cFileBuildNftBuffer(const char *stamp,
                                                       const cFileNftRecord *record, char *out);
QORVEL_API cFileStatus QORVEL_CALL cFileWriteToFile(const char *path, const char *text);

/* ---- Version and lock preparation --------------------------------------- */

QORVEL_API cFileVersionInfo *QORVEL_CALL cFileVersion(cFileVersionInfo *info);
QORVEL_API cFileStatus QORVEL_CALL cFilePrepLock(uint16_t value);
QORVEL_API cFileStatus QORVEL_CALL cFileTermLock(void);

#ifdef __cplusplus
} /* extern "C" */

/* Exported under their C++ names (_Z13iFilePrepLockt, _Z13iFileTermLockv);
 * C hosts reach the same no-ops through cFilePrepLock and cFileTermLock. */
QORVEL_API int32_t QORVEL_CALL iFilePrepLock(unsigned short value);
QORVEL_API int32_t QORVEL_CALL iFileTermLock();
#endif

#endif /* QORVEL_H */

/* qorvel_status.h: the names and one-line meanings of status words.
 *
 * Made by cmake/status-header.cmake from the library's own lists of its
 * codes (src/status/codes.h) and of the Win32 errors it answers
 * (src/platform/win32_errors.h); do not edit it: the test
 * test_status_header fails when it and the lists disagree, and
 * `cmake -P cmake/status-header.cmake` writes it anew.
 *
 * Header only: every function is static inline, so nothing here is an
 * export of the library and a host needs no newer library to use it. C99
 * and C++; no allocation, no locale, no standard I/O. Laid out by its
 * template, not by clang-format. */
/* clang-format off */
#ifndef QORVEL_STATUS_H
#define QORVEL_STATUS_H

#include <stddef.h>

#include "qorvel.h"

#ifdef __cplusplus
extern "C" {
#endif

/**
 * @file qorvel_status.h
 * Names and one-line meanings of status words, for hosts that log or show
 * them: `#include "qorvel_status.h"` beside qorvel.h. Header only (static
 * inline functions, no export), so any build of the library serves.
 */

/**
 * @addtogroup status
 * @{
 */

/** Bytes that always hold the text of cFileStatusText(), its NUL included. */
#define CFILE_STATUS_TEXT_SIZE 320

/**
 * The name of a library code (the low half of a status word), such as
 * `"CFILE_ERR_NOT_FOUND"`.
 * @param code CFILE_STATUS_CODE() of a status word.
 * @return The name, or NULL when the code is not one of the library's.
 */
static inline const char *cFileStatusCodeName(uint32_t code) {
    switch (code) {
    case CFILE_OK: return "CFILE_OK";
    case CFILE_ERR_ACCESS: return "CFILE_ERR_ACCESS";
    case CFILE_ERR_INVALID_ARG: return "CFILE_ERR_INVALID_ARG";
    case CFILE_ERR_INVALID_HANDLE: return "CFILE_ERR_INVALID_HANDLE";
    case CFILE_ERR_NOT_FOUND: return "CFILE_ERR_NOT_FOUND";
    case CFILE_ERR_TOO_MANY_SHARED: return "CFILE_ERR_TOO_MANY_SHARED";
    case CFILE_ERR_SHARING: return "CFILE_ERR_SHARING";
    case CFILE_ERR_GENERAL: return "CFILE_ERR_GENERAL";
    case CFILE_ERR_DISK_FULL: return "CFILE_ERR_DISK_FULL";
    default: return NULL;
    }
}

/**
 * What a library code means, in one line without a final full stop.
 * @param code CFILE_STATUS_CODE() of a status word.
 * @return The meaning, or NULL when the code is not one of the library's.
 */
static inline const char *cFileStatusCodeMeaning(uint32_t code) {
    switch (code) {
    case CFILE_OK: return "success";
    case CFILE_ERR_ACCESS: return "access refused, or the object cannot be made, removed, read or written";
    case CFILE_ERR_INVALID_ARG: return "an argument was rejected";
    case CFILE_ERR_INVALID_HANDLE: return "the handle is not usable";
    case CFILE_ERR_NOT_FOUND: return "the file, or a directory on its path, does not exist";
    case CFILE_ERR_TOO_MANY_SHARED: return "no more files can be held open for sharing";
    case CFILE_ERR_SHARING: return "another open of the file conflicts with the sharing asked for";
    case CFILE_ERR_GENERAL: return "any other failure";
    case CFILE_ERR_DISK_FULL: return "the volume has no room left";
    default: return NULL;
    }
}

/**
 * The name of a Win32 error number (the high half of a status word), such as
 * `"ERROR_FILE_NOT_FOUND"`, for every number the library answers.
 * @param error CFILE_STATUS_ERROR() of a status word.
 * @return The name, or NULL for a number the library never answers.
 */
static inline const char *cFileStatusErrorName(uint32_t error) {
    switch (error) {
    case 0: return "ERROR_SUCCESS";
    case 1: return "ERROR_INVALID_FUNCTION";
    case 2: return "ERROR_FILE_NOT_FOUND";
    case 3: return "ERROR_PATH_NOT_FOUND";
    case 4: return "ERROR_TOO_MANY_OPEN_FILES";
    case 5: return "ERROR_ACCESS_DENIED";
    case 6: return "ERROR_INVALID_HANDLE";
    case 8: return "ERROR_NOT_ENOUGH_MEMORY";
    case 13: return "ERROR_INVALID_DATA";
    case 15: return "ERROR_INVALID_DRIVE";
    case 16: return "ERROR_CURRENT_DIRECTORY";
    case 17: return "ERROR_NOT_SAME_DEVICE";
    case 19: return "ERROR_WRITE_PROTECT";
    case 21: return "ERROR_NOT_READY";
    case 29: return "ERROR_WRITE_FAULT";
    case 30: return "ERROR_READ_FAULT";
    case 31: return "ERROR_GEN_FAILURE";
    case 32: return "ERROR_SHARING_VIOLATION";
    case 33: return "ERROR_LOCK_VIOLATION";
    case 36: return "ERROR_SHARING_BUFFER_EXCEEDED";
    case 38: return "ERROR_HANDLE_EOF";
    case 39: return "ERROR_HANDLE_DISK_FULL";
    case 50: return "ERROR_NOT_SUPPORTED";
    case 80: return "ERROR_FILE_EXISTS";
    case 82: return "ERROR_CANNOT_MAKE";
    case 87: return "ERROR_INVALID_PARAMETER";
    case 109: return "ERROR_BROKEN_PIPE";
    case 112: return "ERROR_DISK_FULL";
    case 114: return "ERROR_INVALID_TARGET_HANDLE";
    case 122: return "ERROR_INSUFFICIENT_BUFFER";
    case 123: return "ERROR_INVALID_NAME";
    case 131: return "ERROR_NEGATIVE_SEEK";
    case 145: return "ERROR_DIR_NOT_EMPTY";
    case 158: return "ERROR_NOT_LOCKED";
    case 170: return "ERROR_BUSY";
    case 183: return "ERROR_ALREADY_EXISTS";
    case 206: return "ERROR_FILENAME_EXCED_RANGE";
    case 223: return "ERROR_FILE_TOO_LARGE";
    case 267: return "ERROR_DIRECTORY";
    case 277: return "ERROR_EA_TABLE_FULL";
    case 995: return "ERROR_OPERATION_ABORTED";
    case 998: return "ERROR_NOACCESS";
    case 1117: return "ERROR_IO_DEVICE";
    case 1142: return "ERROR_TOO_MANY_LINKS";
    case 1460: return "ERROR_TIMEOUT";
    case 1921: return "ERROR_CANT_RESOLVE_FILENAME";
    default: return NULL;
    }
}

/**
 * What a Win32 error number means, in one line without a final full stop.
 * @param error CFILE_STATUS_ERROR() of a status word.
 * @return The meaning, or NULL for a number the library never answers.
 */
static inline const char *cFileStatusErrorMeaning(uint32_t error) {
    switch (error) {
    case 0: return "no platform error";
    case 1: return "incorrect function";
    case 2: return "the file does not exist";
    case 3: return "a directory on the path does not exist";
    case 4: return "the process holds too many open files";
    case 5: return "access is denied";
    case 6: return "the handle is invalid";
    case 8: return "not enough memory";
    case 13: return "the data is invalid";
    case 15: return "the drive cannot be found";
    case 16: return "the directory is the current directory";
    case 17: return "the file cannot be moved to another volume";
    case 19: return "the medium is write-protected";
    case 21: return "the device is not ready";
    case 29: return "the device cannot be written";
    case 30: return "the device cannot be read";
    case 31: return "the device does not function";
    case 32: return "another open of the file does not share it";
    case 33: return "another handle has locked part of the range";
    case 36: return "too many files are open for sharing";
    case 38: return "reached the end of the file";
    case 39: return "the disk is full";
    case 50: return "the request is not supported";
    case 80: return "the file exists";
    case 82: return "the directory or file cannot be created";
    case 87: return "a parameter is incorrect";
    case 109: return "the pipe has been ended";
    case 112: return "there is not enough space on the disk";
    case 114: return "the target handle is invalid";
    case 122: return "the data area is too small";
    case 123: return "the name is not valid";
    case 131: return "a move before the start of the file";
    case 145: return "the directory is not empty";
    case 158: return "the range is not locked";
    case 170: return "the resource is in use";
    case 183: return "the name exists already";
    case 206: return "the name is too long";
    case 223: return "the file is too large";
    case 267: return "the name is not a directory";
    case 277: return "the extended-attribute table is full";
    case 995: return "the operation was aborted";
    case 998: return "invalid access to a memory location";
    case 1117: return "an I/O device error";
    case 1142: return "too many links to the file";
    case 1460: return "the operation timed out";
    case 1921: return "the name cannot be resolved (a link loop)";
    default: return NULL;
    }
}

/** @cond INTERNAL */
/* Appends `text` after the `used` bytes of `buffer`, as much as fits before
 * its final NUL; answers the new length. */
static inline size_t cFileStatusAppend_(char *buffer, size_t size, size_t used, const char *text) {
    while (*text != '\0' && used + 1 < size) buffer[used++] = *text++;
    buffer[used] = '\0';
    return used;
}

/* Appends `value` in hexadecimal (`digits` digits, 0x first) or in decimal
 * (`digits` 0). */
static inline size_t cFileStatusAppendNumber_(char *buffer, size_t size, size_t used,
                                              uint32_t value, int digits) {
    char text[16];
    char *at = text + sizeof text - 1;
    *at = '\0';
    if (digits > 0) {
        while (digits-- > 0) {
            *--at = "0123456789ABCDEF"[value & 0xFu];
            value >>= 4;
        }
        *--at = 'x';
        *--at = '0';
    } else {
        do {
            *--at = "0123456789"[value % 10u];
            value /= 10u;
        } while (value != 0);
    }
    return cFileStatusAppend_(buffer, size, used, at);
}
/** @endcond */

/**
 * One line describing a status word, for a log or a person:
 *
 *     0x00020304 CFILE_ERR_NOT_FOUND (the file, or a directory on its path, does not exist); Win32 error 2 ERROR_FILE_NOT_FOUND (the file does not exist)
 *     0x00000302 CFILE_ERR_INVALID_ARG (an argument was rejected); no platform error
 *     0x00000000 CFILE_OK (success)
 *
 * A word the library never answers is said to be one: an unknown code, or
 * a zero code under a non-zero error number ("no code (...)").
 * @param status The status word.
 * @param buffer Receives the text, cut short at `size` - 1 bytes and always
 *        NUL-terminated; ::CFILE_STATUS_TEXT_SIZE bytes hold any text whole.
 * @param size Bytes at `buffer`; 0 writes nothing.
 * @return `buffer`.
 */
static inline char *cFileStatusText(cFileStatus status, char *buffer, size_t size) {
    uint32_t code = status & 0xFFFFu;
    uint32_t error = (status >> 16) & 0xFFFFu;
    const char *codeName = cFileStatusCodeName(code);
    const char *errorName = cFileStatusErrorName(error);
    size_t used;
    if (size == 0) return buffer;
    used = cFileStatusAppendNumber_(buffer, size, 0, status, 8);
    used = cFileStatusAppend_(buffer, size, used, " ");
    if (code == CFILE_OK && error != 0) {
        used = cFileStatusAppend_(buffer, size, used,
                                  "no code (a failure without one is not an answer of the library)");
    } else if (codeName == NULL) {
        used = cFileStatusAppendNumber_(buffer, size, used, code, 4);
        used = cFileStatusAppend_(buffer, size, used, " (not a code of the library)");
    } else {
        used = cFileStatusAppend_(buffer, size, used, codeName);
        used = cFileStatusAppend_(buffer, size, used, " (");
        used = cFileStatusAppend_(buffer, size, used, cFileStatusCodeMeaning(code));
        used = cFileStatusAppend_(buffer, size, used, ")");
    }
    if (status == CFILE_OK) return buffer;
    if (error == 0) {
        cFileStatusAppend_(buffer, size, used, "; no platform error");
        return buffer;
    }
    used = cFileStatusAppend_(buffer, size, used, "; Win32 error ");
    used = cFileStatusAppendNumber_(buffer, size, used, error, 0);
    if (errorName != NULL) {
        used = cFileStatusAppend_(buffer, size, used, " ");
        used = cFileStatusAppend_(buffer, size, used, errorName);
        used = cFileStatusAppend_(buffer, size, used, " (");
        used = cFileStatusAppend_(buffer, size, used, cFileStatusErrorMeaning(error));
        cFileStatusAppend_(buffer, size, used, ")");
    } else {
        cFileStatusAppend_(buffer, size, used, " (no name known)");
    }
    return buffer;
}

/** @} */

#ifdef __cplusplus
}
#endif

#endif /* QORVEL_STATUS_H */

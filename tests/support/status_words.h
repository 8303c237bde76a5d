// Status words as a host reads them, written out as numbers so that a test
// compares the library's answer with the documented word, not with an
// expression of the library's own.
#ifndef QORVEL_TESTS_SUPPORT_STATUS_WORDS_H
#define QORVEL_TESTS_SUPPORT_STATUS_WORDS_H

#include "qorvel.h"

namespace qtest::words {

constexpr cFileStatus kInvalidArg = 0x00000302u;             // an argument check refused the call
constexpr cFileStatus kFileNotFound = 0x00020304u;           // ERROR_FILE_NOT_FOUND
constexpr cFileStatus kPathNotFound = 0x00030304u;           // ERROR_PATH_NOT_FOUND
constexpr cFileStatus kTooManyOpenFiles = 0x00040307u;       // ERROR_TOO_MANY_OPEN_FILES
constexpr cFileStatus kAccessDenied = 0x00050301u;           // ERROR_ACCESS_DENIED
constexpr cFileStatus kInvalidHandle = 0x00060303u;          // ERROR_INVALID_HANDLE
constexpr cFileStatus kNotEnoughMemory = 0x00080307u;        // ERROR_NOT_ENOUGH_MEMORY
constexpr cFileStatus kNotSameDevice = 0x00110307u;          // ERROR_NOT_SAME_DEVICE
constexpr cFileStatus kWriteProtect = 0x00130307u;           // ERROR_WRITE_PROTECT
constexpr cFileStatus kGenFailure = 0x001F0307u;             // ERROR_GEN_FAILURE
constexpr cFileStatus kSharingViolation = 0x00200306u;       // ERROR_SHARING_VIOLATION
constexpr cFileStatus kLockViolation = 0x00210307u;          // ERROR_LOCK_VIOLATION
constexpr cFileStatus kSharingBufferExceeded = 0x00240305u;  // ERROR_SHARING_BUFFER_EXCEEDED
constexpr cFileStatus kInvalidParameter = 0x00570307u;       // ERROR_INVALID_PARAMETER
constexpr cFileStatus kDiskFull = 0x00700308u;               // ERROR_DISK_FULL
constexpr cFileStatus kInvalidName = 0x007B0307u;            // ERROR_INVALID_NAME
constexpr cFileStatus kDirNotEmpty = 0x00910301u;            // ERROR_DIR_NOT_EMPTY
constexpr cFileStatus kNotLocked = 0x009E0307u;              // ERROR_NOT_LOCKED
constexpr cFileStatus kBusy = 0x00AA0307u;                   // ERROR_BUSY
constexpr cFileStatus kAlreadyExists = 0x00B70307u;          // ERROR_ALREADY_EXISTS
constexpr cFileStatus kNameTooLong = 0x00CE0307u;            // ERROR_FILENAME_EXCED_RANGE
constexpr cFileStatus kFileTooLarge = 0x00DF0307u;           // ERROR_FILE_TOO_LARGE
constexpr cFileStatus kIsDirectory = 0x010B0301u;            // ERROR_DIRECTORY
constexpr cFileStatus kIoError = 0x045D0307u;                // ERROR_IO_DEVICE

}  // namespace qtest::words

#endif  // QORVEL_TESTS_SUPPORT_STATUS_WORDS_H

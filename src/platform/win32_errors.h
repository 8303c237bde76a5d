// The Win32 error numbers the library produces, translates or names: the one
// list from which the platform layer's constants (platform.h, win32error::),
// the program's error names (tools/output.cpp) and the table of
// docs/status-codes.md are made.
//
// QORVEL_WIN32_ERRORS(X) calls X(number, constant, NAME, meaning) once per
// error, in ascending order of number:
//   number    the Win32 error number;
//   constant  the name of the win32error:: constant;
//   NAME      the system's name without its ERROR_ prefix (taken as text
//             only, so that <windows.h>'s macros of the same names never
//             replace it);
//   meaning   one line for a person reading a status word.
//
// This header includes nothing and defines nothing else, so that the program,
// which is built from the public header alone, can include it too.
#ifndef QORVEL_PLATFORM_WIN32_ERRORS_H
#define QORVEL_PLATFORM_WIN32_ERRORS_H

// clang-format off
#define QORVEL_WIN32_ERRORS(X)                                                                    \
    X(0, kSuccess, SUCCESS, "no platform error")                                                  \
    X(1, kInvalidFunction, INVALID_FUNCTION, "incorrect function")                                \
    X(2, kFileNotFound, FILE_NOT_FOUND, "the file does not exist")                                \
    X(3, kPathNotFound, PATH_NOT_FOUND, "a directory on the path does not exist")                 \
    X(4, kTooManyOpenFiles, TOO_MANY_OPEN_FILES, "the process holds too many open files")         \
    X(5, kAccessDenied, ACCESS_DENIED, "access is denied")                                        \
    X(6, kInvalidHandle, INVALID_HANDLE, "the handle is invalid")                                 \
    X(8, kNotEnoughMemory, NOT_ENOUGH_MEMORY, "not enough memory")                                \
    X(13, kInvalidData, INVALID_DATA, "the data is invalid")                                      \
    X(15, kInvalidDrive, INVALID_DRIVE, "the drive cannot be found")                              \
    X(16, kCurrentDirectory, CURRENT_DIRECTORY, "the directory is the current directory")         \
    X(17, kNotSameDevice, NOT_SAME_DEVICE, "the file cannot be moved to another volume")          \
    X(19, kWriteProtect, WRITE_PROTECT, "the medium is write-protected")                          \
    X(21, kNotReady, NOT_READY, "the device is not ready")                                        \
    X(29, kWriteFault, WRITE_FAULT, "the device cannot be written")                               \
    X(30, kReadFault, READ_FAULT, "the device cannot be read")                                    \
    X(31, kGenFailure, GEN_FAILURE, "the device does not function")                               \
    X(32, kSharingViolation, SHARING_VIOLATION, "another open of the file does not share it")     \
    X(33, kLockViolation, LOCK_VIOLATION, "another handle has locked part of the range")          \
    X(36, kSharingBufferExceeded, SHARING_BUFFER_EXCEEDED, "too many files are open for sharing") \
    X(38, kHandleEof, HANDLE_EOF, "reached the end of the file")                                  \
    X(39, kHandleDiskFull, HANDLE_DISK_FULL, "the disk is full")                                  \
    X(50, kNotSupported, NOT_SUPPORTED, "the request is not supported")                           \
    X(80, kFileExists, FILE_EXISTS, "the file exists")                                            \
    X(82, kCannotMake, CANNOT_MAKE, "the directory or file cannot be created")                    \
    X(87, kInvalidParameter, INVALID_PARAMETER, "a parameter is incorrect")                       \
    X(109, kBrokenPipe, BROKEN_PIPE, "the pipe has been ended")                                   \
    X(112, kDiskFull, DISK_FULL, "there is not enough space on the disk")                         \
    X(114, kInvalidTargetHandle, INVALID_TARGET_HANDLE, "the target handle is invalid")           \
    X(122, kInsufficientBuffer, INSUFFICIENT_BUFFER, "the data area is too small")                \
    X(123, kInvalidName, INVALID_NAME, "the name is not valid")                                   \
    X(131, kNegativeSeek, NEGATIVE_SEEK, "a move before the start of the file")                   \
    X(145, kDirNotEmpty, DIR_NOT_EMPTY, "the directory is not empty")                             \
    X(158, kNotLocked, NOT_LOCKED, "the range is not locked")                                     \
    X(170, kBusy, BUSY, "the resource is in use")                                                 \
    X(183, kAlreadyExists, ALREADY_EXISTS, "the name exists already")                             \
    X(206, kFilenameExcedRange, FILENAME_EXCED_RANGE, "the name is too long")                     \
    X(223, kFileTooLarge, FILE_TOO_LARGE, "the file is too large")                                \
    X(267, kDirectory, DIRECTORY, "the name is not a directory")                                  \
    X(277, kEaTableFull, EA_TABLE_FULL, "the extended-attribute table is full")                   \
    X(995, kOperationAborted, OPERATION_ABORTED, "the operation was aborted")                     \
    X(998, kNoAccess, NOACCESS, "invalid access to a memory location")                            \
    X(1117, kIoDevice, IO_DEVICE, "an I/O device error")                                          \
    X(1142, kTooManyLinks, TOO_MANY_LINKS, "too many links to the file")                          \
    X(1460, kTimeout, TIMEOUT, "the operation timed out")                                         \
    X(1921, kCantResolveFilename, CANT_RESOLVE_FILENAME, "the name cannot be resolved (a link loop)")
// clang-format on

#endif  // QORVEL_PLATFORM_WIN32_ERRORS_H

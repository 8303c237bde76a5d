// The library's error codes with their one-line meanings: the list from which
// the public header qorvel_status.h is made (cmake/status-header.cmake). The
// values themselves are qorvel.h's CFILE_* macros, named here without their
// CFILE_ prefix.
//
// QORVEL_LIBRARY_CODES(X) calls X(NAME, meaning) once per code, in ascending
// order of value. Like win32_errors.h, this header includes nothing.
#ifndef QORVEL_STATUS_CODES_H
#define QORVEL_STATUS_CODES_H

// clang-format off
#define QORVEL_LIBRARY_CODES(X)                                                              \
    X(OK, "success")                                                                         \
    X(ERR_ACCESS, "access refused, or the object cannot be made, removed, read or written") \
    X(ERR_INVALID_ARG, "an argument was rejected")                                           \
    X(ERR_INVALID_HANDLE, "the handle is not usable")                                        \
    X(ERR_NOT_FOUND, "the file, or a directory on its path, does not exist")                 \
    X(ERR_TOO_MANY_SHARED, "no more files can be held open for sharing")                     \
    X(ERR_SHARING, "another open of the file conflicts with the sharing asked for")          \
    X(ERR_GENERAL, "any other failure")                                                      \
    X(ERR_DISK_FULL, "the volume has no room left")
// clang-format on

#endif  // QORVEL_STATUS_CODES_H

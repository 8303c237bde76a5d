// Open modes and the workers that open, create, close and flush files.
#ifndef QORVEL_HANDLE_OPEN_H
#define QORVEL_HANDLE_OPEN_H

#include <cstdint>

#include "platform/platform.h"
#include "qorvel.h"

namespace qorvel::handle {

// Valid when at least one access bit is set and no bit of 0xFC88 is.
constexpr bool isValidMode(cFileMode mode) {
    return (mode & CFILE_MODE_ACCESS_MASK) != 0 && (mode & CFILE_MODE_INVALID_MASK) == 0;
}

// The platform's desired access for the low four bits of a mode: one access
// bit maps to its right, any combination to no access right at all.
constexpr uint32_t desiredAccessFor(cFileMode mode) {
    switch (mode & 0x000F) {
        case CFILE_ACCESS_READ: return platform::kGenericRead;
        case CFILE_ACCESS_WRITE: return platform::kGenericWrite;
        case CFILE_ACCESS_READWRITE: return platform::kGenericRead | platform::kGenericWrite;
        default: return 0;
    }
}

// The platform's share mode for bits 4-7 of a mode: one share bit maps to its
// flags, any combination to no sharing.
constexpr uint32_t shareModeFor(cFileMode mode) {
    switch (mode & 0x00F0) {
        case CFILE_SHARE_WRITE: return platform::kFileShareWrite;
        case CFILE_SHARE_READ: return platform::kFileShareRead;
        case CFILE_SHARE_READWRITE: return platform::kFileShareRead | platform::kFileShareWrite;
        default: return 0;
    }
}

// Opens with a valid mode (the caller has checked it); stores the handle, or
// CFILE_INVALID_HANDLE after a platform failure.
cFileStatus openFile(const char* path, cFileMode mode, platform::Disposition disposition,
                     cFileHandle* handle);
cFileStatus closeFile(cFileHandle handle);

}  // namespace qorvel::handle

#endif  // QORVEL_HANDLE_OPEN_H

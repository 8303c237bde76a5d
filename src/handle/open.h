// Open modes and the workers that open, create, close and flush files.
#ifndef QORVEL_HANDLE_OPEN_H
#define QORVEL_HANDLE_OPEN_H

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "qorvel.h"

namespace qorvel::handle {

// Valid when at least one access bit is set and no bit of 0xFC88 is.
constexpr bool isValidMode(cFileMode mode) {
    return (mode & CFILE_MODE_ACCESS_MASK) != 0 && (mode & CFILE_MODE_INVALID_MASK) == 0;
}

// One bit pattern of a group of mode bits and the platform flags it maps to.
struct ModeMapping {
    unsigned bits;
    uint32_t flags;
};

// The flags of the row whose pattern equals the group exactly; any other
// group (a combination of bits, or none) maps to 0.
template <size_t N>
constexpr uint32_t flagsFor(unsigned group, const ModeMapping (&rows)[N]) {
    for (const ModeMapping& row : rows) {
        if (row.bits == group) return row.flags;
    }
    return 0;
}

constexpr ModeMapping kAccessMapping[] = {
    {CFILE_ACCESS_READ, platform::kGenericRead},
    {CFILE_ACCESS_WRITE, platform::kGenericWrite},
    {CFILE_ACCESS_READWRITE, platform::kGenericRead | platform::kGenericWrite},
};

constexpr ModeMapping kShareMapping[] = {
    {CFILE_SHARE_WRITE, platform::kFileShareWrite},
    {CFILE_SHARE_READ, platform::kFileShareRead},
    {CFILE_SHARE_READWRITE, platform::kFileShareRead | platform::kFileShareWrite},
};

// The platform's desired access for the low four bits of a mode: one access
// bit maps to its right, any combination to no access right at all.
constexpr uint32_t desiredAccessFor(cFileMode mode) {
    return flagsFor(mode & 0x000Fu, kAccessMapping);
}

// The platform's share mode for bits 4-7 of a mode: one share bit maps to its
// flags, any combination to no sharing.
constexpr uint32_t shareModeFor(cFileMode mode) { return flagsFor(mode & 0x00F0u, kShareMapping); }

// Opens with a valid mode (the caller has checked it); stores the handle, or
// CFILE_INVALID_HANDLE after a platform failure.
cFileStatus openFile(const char* path, cFileMode mode, platform::Disposition disposition,
                     cFileHandle* handle);
cFileStatus closeFile(cFileHandle handle);

// A flush that fails answers its status, except that a handle without write
// access has nothing to write out (Windows refuses to flush it with 5).
cFileStatus flushFile(cFileHandle handle);

}  // namespace qorvel::handle

#endif  // QORVEL_HANDLE_OPEN_H

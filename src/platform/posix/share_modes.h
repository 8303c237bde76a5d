// Windows' share modes on POSIX: each handle with data access publishes what
// it holds and what it denies as OFD locks in the share area of the file's
// lock space (lock_space.h), through its own descriptor: the share mode is
// inherited with the handle and ends with the last close of its description.
// Of two conflicting handles the later is refused, by the kernel in the call
// that publishes or by a look that follows it, and one look tells whether
// any handle holds a file about to be removed or renamed. share_modes.cpp
// explains the layout, next to its table.
#ifndef QORVEL_PLATFORM_POSIX_SHARE_MODES_H
#define QORVEL_PLATFORM_POSIX_SHARE_MODES_H

#include <cstdint>

namespace qorvel::platform::posix {

// What a handle holds (its access) and denies (what it does not share), per
// access class. A handle without data access takes no part: all false.
struct ShareRoles {
    bool holdsRead;
    bool deniesRead;
    bool holdsWrite;
    bool deniesWrite;
};

ShareRoles shareRolesFor(bool read, bool write, uint32_t shareMode);

// Publishes the roles through the handle's own descriptor, which may take
// every lock they need: read locks only where it can read, write locks only
// where it can write. `firstSlot` spreads where one-byte locks are looked for
// (slotSalt). Answers 0, or the Win32 error: 32 for a handle of the library
// in the way, 33 for another program's lock over the share area (one that a
// look cannot see behind included), 36 when every slot of a region is taken,
// else the translated errno. On failure the locks already taken stay: the
// caller closes the descriptor.
uint32_t publishShareMode(const ShareRoles& roles, int fd, unsigned firstSlot);

// A starting slot that differs between processes, threads and descriptors,
// so that handles rarely meet; no system call.
unsigned slotSalt(int fd);

// Windows refuses to delete or rename a file while any handle with data
// access is open on it, since the library never shares delete access. Every
// such handle publishes a share-mode lock, so one look answers. The look
// needs a descriptor: read-only, or write-only where the file may not be read.
// Answers true when the removal may go ahead; false with lastError() set: 32
// when a handle holds the file, 33 when another program's lock hides the
// share modes, the translated error when the file could not be looked at (5
// when the process may neither read nor write it, 4 at the descriptor
// limit), so that a check that cannot look never lets a held file go.
// Symbolic links are not followed.
bool mayRemove(const char* path);

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_SHARE_MODES_H

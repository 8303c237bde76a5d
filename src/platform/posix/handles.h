// Handles of the POSIX backend: descriptors with exactly the access their
// handle was given, and the share modes that keep conflicting opens out.
//
// A handle is a plain file descriptor, opened O_RDONLY, O_WRONLY or O_RDWR
// as its access says (O_APPEND for an append handle), without O_CLOEXEC:
// handles are inheritable. The kernel therefore refuses every transfer a
// handle was not granted (EBADF, answered as 5), a child that inherits a read
// handle cannot write through it, and a reader never opens the file for
// writing: no copy-up on overlayfs, no IN_CLOSE_WRITE for inotify watchers,
// no broken read leases. A handle with no data access at all is a descriptor
// of access mode 3, which Linux gives neither reading nor writing (O_PATH
// where the file's permissions refuse that); it may still move its position,
// as on Windows, and takes no part in sharing or locking.
//
// The descriptor is all a handle holds: its share mode is OFD locks taken
// through it (share_modes.cpp), so a child that inherits the handle inherits
// the share mode with it, which then lasts until the last process holding
// the description closes it or ends; a handle the host marks FD_CLOEXEC
// leaves nothing of itself in a program it starts. The library holds no other
// descriptor of the file, save for the moment a create with no access right
// empties it: a write-only, close-on-exec descriptor, closed before the call
// returns.
//
// registry.h keeps what the backend knows of each descriptor it opened.
#ifndef QORVEL_PLATFORM_POSIX_HANDLES_H
#define QORVEL_PLATFORM_POSIX_HANDLES_H

namespace qorvel::platform::posix {

// ---- Removal and rename -------------------------------------------------------

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

#endif  // QORVEL_PLATFORM_POSIX_HANDLES_H

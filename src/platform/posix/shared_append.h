// The append's extra step on file systems that several machines share.
//
// On a local file system an O_APPEND write is placed at the end in one step
// under the inode's lock, so appenders in any number of processes never meet.
// Where other machines write the file too, that step is not one: the client
// may send one write as several requests, and GlusterFS's write-behind holds
// a write back after the call has returned and sends it later. Appends from
// two machines then interleave, and one line tears another (measured on
// GlusterFS: 8 torn of 4,000 lines). There, appenders take turns
// cluster-wide:
//
//   1. wait for the append gate: an OFD write lock on one byte beyond every
//      lock the library takes otherwise. The lock travels to the file server,
//      which grants it to one appender of all machines at a time and drops it
//      when its holder's descriptor goes (a killed process) or when the
//      holder's client is lost;
//   2. ask for the file's size with AT_STATX_FORCE_SYNC: a client that places
//      O_APPEND writes itself writes at the size it holds, and this makes it
//      the server's. (GlusterFS places them at the brick, which opens the
//      file O_APPEND, at its true end; its client answers this query from its
//      metadata cache, without a round trip);
//   3. (the caller writes)
//   4. fsync, so every part of the text is at the server before the gate
//      lets the next appender write (on GlusterFS neither the write nor the
//      close waits for that); the gate goes with the handle's close.
//
// Every appender takes steps 1, 2 and 4, so while one holds the gate no other
// text can land, and the text of each lands whole after every text appended
// before. Which files need the turn is learnt once, when the handle opens
// (describeOpenedFile, kept in the registry): only a file system on no block
// device of its own can be one other machines share, so a file on a local
// disk costs nothing more; for the others the kernel is asked the type of the
// file's mount (statmount), which it answers itself, where fstatfs would be a
// round trip to the file server. FUSE, NFS, SMB/CIFS, CephFS, 9p, AFS and
// Lustre take the turn.
//
// The same fact makes the close of such a handle give up its locks in one
// request before it closes (closeDescription): a FUSE client sends the
// release of a closed description's locks after close() has returned, so a
// host that closes and opens again at once would otherwise meet its own
// closed handle.
#ifndef QORVEL_PLATFORM_POSIX_SHARED_APPEND_H
#define QORVEL_PLATFORM_POSIX_SHARED_APPEND_H

#include <sys/stat.h>

#include <cstdint>

namespace qorvel::platform::posix {

// What an open learns of its file: its type and identity, and whether it
// lies on a file system other machines may share.
struct OpenedFile {
    mode_t mode = 0;
    dev_t device = 0;
    ino_t inode = 0;
    bool onSharedFileSystem = false;
};

// Answers 0, or the Win32 error when the file could not be asked.
uint32_t describeOpenedFile(int fd, OpenedFile* file);

// Takes the turn (steps 1 and 2 above). Answers 0, or the Win32 error; the
// gate is then not held.
uint32_t beginAppend(int fd);

// Ends the turn (step 4) after a write that succeeded. Answers 0, or the
// Win32 error when the text could not be made to reach the server. The gate
// stays held until the handle is closed, which the caller does next.
uint32_t endAppend(int fd);

// Closes a descriptor; one on a shared file system gives up its locks first.
int closeDescription(int fd, bool onSharedFileSystem);

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_SHARED_APPEND_H

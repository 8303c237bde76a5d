// What a file system that several machines share needs beyond a local one.
//
// Which file systems. Learnt once, when a handle opens (describeOpenedFile,
// kept in the registry as kOnSharedFileSystem, the one thing that chooses
// the policy below): only a file system on no
// block device of its own can be one other machines share, so a file on a
// local disk costs nothing more; for the others the kernel is asked the type
// of the file's mount (statmount), which it answers itself, where fstatfs
// would be a round trip to the file server. FUSE, NFS, SMB/CIFS, CephFS, 9p,
// AFS and Lustre are shared.
//
// The append. On a local file system an O_APPEND write is placed at the end
// in one step under the inode's lock, so appenders in any number of
// processes never meet. Where other machines write the file too, that step
// is not one: the client may send one write as several requests, and
// GlusterFS's write-behind holds a write back after the call has returned and
// sends it later. Appends from two machines then interleave, and one line
// tears another (measured on GlusterFS: 8 torn of 4,000 lines). There,
// appenders take turns cluster-wide:
//
//   1. wait for the append gate: an OFD write lock on one byte beyond every
//      lock the library takes otherwise. The lock travels to the file server,
//      which grants it to one appender of all machines at a time and drops it
//      when its holder's descriptor goes (a killed process) or when the
//      holder's client is lost. (Ceph's metadata server can keep the lock
//      for ever for a waiter killed as it was granted: on CephFS the
//      appender asks again and again instead of waiting, waitForGate);
//   2. ask for the file's size with AT_STATX_FORCE_SYNC: a client that places
//      O_APPEND writes itself writes at the size it holds, and this makes it
//      the server's, asked again while the kernel keeps an older one
//      (refreshSize). (GlusterFS places them at the brick, which opens the
//      file O_APPEND, at its true end);
//   3. (the caller writes)
//   4. fsync, so every part of the text is at the server before the gate
//      lets the next appender write (on GlusterFS neither the write nor the
//      close waits for that); the gate goes with the handle's close.
//
// Every appender takes steps 1, 2 and 4, so while one holds the gate no other
// text can land, and the text of each lands whole after every text appended
// before.
//
// An appender killed in the middle of its write. A FUSE client's buffered
// write goes through the page cache a page at a time and sends what it
// copied when its process is killed between two pages: the start of a text
// that crosses a page boundary, which the next appender's text follows (a
// torn line, measured on GlusterFS: 1 of 6,663 lines). So on FUSE step 2
// also makes the handle's writes direct (O_DIRECT): the kernel sends the
// whole text as one request, which it either never sends or waits for,
// unless it had to fault in a page of the text first; the caller therefore
// writes from a copy it has just made (appendSource). A text longer than
// kWholeAppend may still be cut at a request boundary.
//
// Data under a lock. A client keeps what it read and holds back what it
// wrote, so a host on one machine that locks a record, reads it, changes it
// and unlocks would otherwise read bytes another machine replaced long ago,
// and write its change over theirs. A lock names the bytes it protects, so
// the library makes the data of those bytes current there, as an NFS client
// does on its own: a range lock, once granted, asks the server for the
// file's size (statx, AT_STATX_FORCE_SYNC) and drops the kernel's cached
// pages of the range (afterLock); an unlock, and a close, of a handle that
// wrote since it last did so first sync its data to the server
// (beforeUnlock). Caches the client keeps itself are beyond the library's
// reach (GlusterFS's quick-read and stat-prefetch: docs/distributed.md).
// The same sync is how a holder that a partition cut off from the server
// learns that writes it was answered 0 for never arrived: its unlock and its
// close fail. (That its writes never land in the range once the server gave
// it to another machine is the client's part: GlusterFS's
// client.strict-locks, docs/distributed.md.)
//
// Closing. A FUSE client sends the release of a closed description's locks
// after close() has returned, so the close of a handle gives them up itself
// first, so that they are gone when close returns: every lock of the
// description in one request, when no other process can hold it. Another
// process may hold it when this process did not open it, forked since it
// opened it, or may have started a program that inherited it: posix_spawn,
// vfork and system() run no fork handler, so no count sees them, and the
// close asks the descriptor instead (one fcntl, answered locally): only one
// without close-on-exec can have reached such a program. (Whether this
// process has a child at the close would not do: a program that system()
// left running in the background is no child of it.) Handles are
// inheritable unless the host sets close-on-exec, so by default every
// handle's close takes this way. It keeps what is not this process's: only
// its byte-range locks (handles.cpp) and the append gate go, and the share
// mode goes with the description's last close, a moment after close returns
// when that was this one (the client's release). An open refused by the
// share mode of such a handle this process closed a moment ago is tried
// again for a short while (retriesOpen); another process's open may be
// refused in that moment (on GlusterFS none of 80 was, docs/distributed.md).
//
// Where the policy is consulted. The few points where such a handle differs
// call the functions at the end of this header, which return at once for a
// local file (its facts, read once by the caller): the open (retriesOpen),
// the write and the resize (afterWrite), the append (beginAppend ...
// endAppend), the lock (afterLock), the unlock (beforeUnlock), the look for
// others' locks (skipsOwnLock), and the close (beforeClose, then
// closeDescription). Tests run the policy on a local file by having the
// mount's type answered as FUSE's (sys.statmount, sys.fstatfs) for a file on
// a file system of no block device (tmpfs).
#ifndef QORVEL_PLATFORM_POSIX_SHARED_FILE_SYSTEM_H
#define QORVEL_PLATFORM_POSIX_SHARED_FILE_SYSTEM_H

#include <stdio.h>
#include <sys/stat.h>

#include <cstdint>
#include <memory>

#include "platform/posix/registry.h"

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

// The largest text a FUSE client sends as one request (GlusterFS: 128 KiB).
constexpr uint32_t kWholeAppend = 128 * 1024;

// What the caller of an append on a shared file system writes: a copy of a
// text of up to kWholeAppend bytes, in *copy, or the text itself (a longer
// one, or when no memory is left for the copy).
const void* appendSource(const void* text, uint32_t count, std::unique_ptr<char[]>* copy);

// Ends the turn (step 4) after a write that succeeded. Answers 0, or the
// Win32 error when the text could not be made to reach the server. The gate
// stays held until the handle is closed, which the caller does next.
uint32_t endAppend(int fd);

// Closes a descriptor whose record ended (registry.h). On a shared file
// system, what this process published through it goes first (above), and
// the file of one that another process may hold too is remembered for a
// moment (retriesOpen).
int closeDescription(int fd, const Released& record);

// ---- The points (above: where the policy is consulted) ----------------------

inline bool onSharedFileSystem(uint8_t facts) { return (facts & kOnSharedFileSystem) != 0; }

// Whether an open of `file` that `error` refused is tried again: the share
// mode of a handle of that file this process closed a moment ago refused it.
// Answers once the wait before attempt `attempt` + 1 is over; false when the
// attempts are used up (about half a second in all).
bool retriesOpen(uint32_t error, uint8_t facts, const FileIdentity& file, unsigned attempt);

// Notes a write through the handle, for beforeUnlock.
void afterWrite(int fd, uint8_t facts);

// Makes the bytes [start, start + length) that the handle just locked
// current (above). Answers 0, or the Win32 error.
uint32_t afterLock(int fd, uint8_t facts, uint64_t start, uint64_t length);

// Before a range lock goes, and before the handle closes: syncs what the
// handle wrote since it last did so (above). Answers 0, or the Win32 error;
// the writes then count as not synced still.
uint32_t beforeUnlock(int fd, uint8_t facts);
inline uint32_t beforeClose(int fd, uint8_t facts) { return beforeUnlock(fd, facts); }

// Whether a transfer's look for others' locks is skipped for one inside a
// lock of the handle's own (locks.cpp: there the look is a round trip).
inline bool skipsOwnLock(uint8_t facts, int whence) {
    return onSharedFileSystem(facts) && whence == SEEK_CUR;
}

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_SHARED_FILE_SYSTEM_H

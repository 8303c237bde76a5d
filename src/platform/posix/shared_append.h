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
// before. Which file systems need the turn is known from the file system's
// type (fstatfs): FUSE, NFS, SMB/CIFS, CephFS, 9p, AFS, Lustre, GFS2 and
// OCFS2. Everything else takes one fstatfs more than a plain append and
// nothing else.
#ifndef QORVEL_PLATFORM_POSIX_SHARED_APPEND_H
#define QORVEL_PLATFORM_POSIX_SHARED_APPEND_H

namespace qorvel::platform::posix {

// The turn an appender holds: the descriptor when it took the gate, -1 when
// its file system needs no turn.
struct AppendTurn {
    int gateHolder = -1;
};

// Takes the turn when the descriptor's file system needs one (steps 1 and 2
// above). Answers false with lastError() set when the file system could not
// be asked, or the gate or the size could not be had; no gate is then held.
bool beginAppend(int fd, AppendTurn* turn);

// Ends the turn (step 4) after the caller's write. `written` is the write's
// result; after a failed write nothing is synced and lastError() stays the
// write's. Answers the write's result, or false with lastError() set when the
// text could not be made to reach the server. The gate stays held until the
// handle is closed, which the caller does next.
bool endAppend(const AppendTurn& turn, bool written);

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_SHARED_APPEND_H

// The append's extra step on file systems that several machines share.
//
// On a local file system an O_APPEND write is placed at the end in one step
// under the inode's lock, so appenders in any number of processes never meet.
// A file system whose files other machines write as well cannot give that:
// each machine's kernel places the write at the end it knows, and that end
// is stale as soon as another machine has appended (the client caches the
// size, and GlusterFS's write-behind holds a write back after the call has
// returned). Two machines then write at one offset and one line tears the
// other. There, appenders take turns cluster-wide:
//
//   1. wait for the append gate: an OFD write lock on one byte beyond every
//      lock the library takes otherwise. The lock travels to the file server,
//      which grants it to one appender of all machines at a time and drops it
//      when its holder's descriptor goes (a killed process) or when the
//      holder's client is lost;
//   2. ask the server for the file's size (statx with AT_STATX_FORCE_SYNC),
//      which moves this machine's end of the file, the one O_APPEND writes
//      at, to the true end;
//   3. (the caller writes)
//   4. fsync, so the text is on the server before the gate lets the next
//      appender measure; then release the gate.
//
// Every appender that writes the file takes steps 1, 2 and 4, so while one
// holds the gate no other text can land, the size it is told is the end of
// every text appended before, and its own text is at the server before the
// next appender is told a size. Which file systems need the turn is known
// from the file system's type (fstatfs): FUSE, NFS, SMB/CIFS, CephFS, 9p,
// AFS, Lustre, GFS2 and OCFS2. Everything else takes one fstatfs more than
// a plain append and nothing else.
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
// result: after a failed write the gate is only released, and lastError()
// stays the write's. Answers the write's result, or false with lastError()
// set when the text could not be made to reach the server.
bool endAppend(const AppendTurn& turn, bool written);

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_SHARED_APPEND_H

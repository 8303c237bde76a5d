// Handles of the POSIX backend: descriptors with exactly the access their
// handle was given, and the share modes that keep conflicting opens out.
//
// A handle is a plain file descriptor, opened O_RDONLY, O_WRONLY or O_RDWR
// as its access says (O_APPEND for an append handle). The kernel therefore
// refuses every transfer a handle was not granted (EBADF, answered as 5), a
// child that inherits a read handle cannot write through it, and a reader
// never opens the file for writing: no copy-up on overlayfs, no
// IN_CLOSE_WRITE for inotify watchers, no broken read leases. A handle with
// no data access at all is a descriptor of access mode 3, which Linux gives
// neither reading nor writing (O_PATH where the file's permissions refuse
// that); it may still move its position, as on Windows.
//
// Windows checks share modes when a file is opened; POSIX does not, so each
// handle publishes what it holds and what it denies as open-file-description
// (OFD) locks far beyond any byte a host can lock. They belong to the open
// file description, so they vanish with its last descriptor, also when a
// process crashes: nothing stale is left, on disk or in memory. The kernel
// refuses the later of two conflicting handles atomically, in the same call
// that publishes.
//
// An OFD read lock needs a readable description and a write lock a writable
// one, so the layout gives each role a lock type its descriptors can take.
// Two regions, one per access class:
//
//   read class  (region A): holders read-lock all of A; a handle that denies
//                           reading write-locks one byte ("slot") of A;
//   write class (region B): holders write-lock a slot of B; a handle that
//                           denies writing read-locks all of B.
//
// A conflict is a holder of a class meeting a denier of it, so each conflict
// is a read lock meeting a write lock; two handles of one slot-taking role
// that pick the same byte collide (write against write) and the later one
// moves to the next byte. Where a handle both holds and denies a class, it
// conflicts with every other participant of the class and takes a write lock
// over the whole region instead; a handle that denies everything takes one
// write lock over A and B. The regions are adjacent, so these modes cost one
// lock call per open:
//
//   0x0021 read, share read      read lock over A+B
//   0x0041 read, share both      read lock over A
//   0x0042 write, share both     a slot of B
//   0x0022 write, share read     write lock over B
//   0x0014 both, share write     write lock over A and the first slot of B
//   0x0001/0x0002/0x0004         write lock over A+B (deny everything)
//
// and these two: 0x0044 (read lock over A, a slot of B) and 0x0024 (read
// lock over A, write lock over B); 0x0012 takes a slot in each region. No
// single OFD lock can serve them: 0x0044 must meet the read lock of 0x0021,
// which only a write lock does, and the slots of 0x0012, which are write
// locks that 0x0012 handles must not share, while two 0x0044 handles must
// not meet each other.
//
// A read handle that denies reading (0x0001, 0x0011) needs a write lock. It
// gets it through a second, close-on-exec description of the same file,
// reopened through /proc/self/fd/N (the same inode, even after a rename),
// which carries the handle's share-mode locks and is closed with the
// handle; the host's descriptor stays read-only. Where the process may not
// write the file, that description cannot be had: the denial of reading is
// then checked when the handle opens, not published.
//
// Lock-space layout of every file (byte offsets of OFD locks):
//   [0, kZeroLengthRegion)   byte-range locks, on the very bytes they lock
//                            (host ranges end below kHostLockRangeEnd)
//   [kZeroLengthRegion, +2^61)  zero-length locks: X at kZeroLengthRegion + X
//   [kShareReadRegion, +kShareSlots)    region A, the read class
//   [kShareWriteRegion, +kShareSlots)   region B, the write class
#ifndef QORVEL_PLATFORM_POSIX_HANDLES_H
#define QORVEL_PLATFORM_POSIX_HANDLES_H

#include <sys/types.h>

#include <cstdint>

namespace qorvel::platform::posix {

// Handle 0 is the null handle on Windows, never a file, and every call
// refuses it with ERROR_INVALID_HANDLE. On POSIX descriptor 0 is the
// process's standard input: unless the library itself opened descriptor 0,
// the calls refuse it the same way, so that a host's 0 never closes, flushes,
// reads, writes or locks standard input.
bool isNullHandle(int fd);

// True for a handle the library opened that shares neither reading nor
// writing: no other handle with data access can be open on its file, so its
// transfers need not look for byte-range locks of other handles. Only ever
// true for a descriptor the library opened; a descriptor the host opened
// itself under a number the library used before is never bound by others'
// locks, so a stale answer only skips a check the library owes to its own
// handles.
bool sharesNothing(int fd);

// ---- Lock-space layout -------------------------------------------------------

constexpr off_t kZeroLengthRegion = off_t(1) << 61;
constexpr off_t kLockCallSpaceEnd = off_t(1) << 62;
constexpr off_t kShareSlots = 4096;
constexpr off_t kShareReadRegion = off_t(1) << 62;
constexpr off_t kShareWriteRegion = kShareReadRegion + kShareSlots;
constexpr off_t kShareAreaEnd = kShareWriteRegion + kShareSlots;

// Releases the byte-range locks the host took through this descriptor (the
// record of them, kept by the lock calls), and the record of a number the
// library hands out again. Called by closeHandle before the descriptor is
// closed, and by createFile for the descriptor it opened.
void forgetByteRangeLocks(int fd);

// The description a handle without data access locks through: its own can
// take no lock at all, so a second, read-only, close-on-exec description of
// the same file is opened when the handle first locks, and closed with the
// handle. Answers it, or -1 with lastError() set.
int lockDescriptionOf(int fd);

// Whether a byte range locked through another handle overlaps the `count`
// bytes from the descriptor's position, or from the end of the file
// (locks.cpp). One lock query each. Answers false with lastError() set when
// the kernel could not be asked.
bool lockedAtPosition(int fd, uint32_t count, bool* locked);
bool lockedAtEnd(int fd, uint32_t count, bool* locked);

// ---- Removal and rename -------------------------------------------------------

// Windows refuses to delete or rename a file while any handle with data
// access is open on it, since the library never shares delete access. Every
// such handle publishes a share-mode lock, so one look through a read-only
// description answers. Answers true when the removal may go ahead; false with
// lastError() set: 32 when a handle holds the file, the translated error when
// the file could not be looked at (the descriptor limit, say), so that a
// check that cannot look never lets a held file go. Symbolic links are not
// followed; a file the process may not read cannot be looked at and is
// allowed, as nothing in this process can hold it.
bool mayRemove(const char* path);

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_HANDLES_H

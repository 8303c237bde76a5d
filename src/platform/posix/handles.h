// Handles of the POSIX backend: what the library granted each file
// descriptor it opened, and the share modes that keep conflicting opens out.
//
// A handle is a plain file descriptor. Windows grants a handle its access
// rights and checks share modes when the file is opened; POSIX does neither,
// so the backend keeps two things:
//
//  * A rights record per descriptor (one byte in a table indexed by the
//    descriptor): which of read and write the caller asked for. Descriptors
//    are opened O_RDWR whenever the file allows it, because an open file
//    description can only take write locks when it is writable, and Windows
//    lets any handle take an exclusive byte-range lock. The record, not the
//    kernel, then answers 5 for a transfer the handle's rights do not allow.
//
//  * Share-mode locks: open-file-description (OFD) locks far beyond any byte a
//    host can lock. They belong to the open file description, so they vanish
//    with the last descriptor of it, also when a process crashes: nothing
//    stale is ever left, on disk or in memory. Each access class (read,
//    write) owns a region of kShareSlots bytes. A conflict exists exactly
//    when one handle holds a class that another denies (does not share), so
//    one role of each class takes a read lock over the whole region and the
//    other a write lock on one byte of it; the kernel then refuses the later
//    of two conflicting handles atomically, one lock call per class checking
//    and publishing at once:
//      read class:  holders read-lock the region, deniers write-lock a byte;
//      write class: deniers read-lock the region, holders write-lock a byte.
//    Two handles of the same byte-taking role that pick the same byte also
//    collide; the later one sees a write lock in the way (not a read lock of
//    the opposite role) and tries the next byte. The regions are adjacent,
//    so the usual reader (holds read, denies write) takes one lock call, and
//    a descriptor opened read-only can still publish both of those.
//
// Lock-space layout of every file (byte offsets of OFD locks):
//   [0, kLockCallSpaceEnd)          the images of the ranges the lock calls
//                                   take: each byte b of a range takes the
//                                   lock-space bytes 2b and 2b+1 (locks.cpp);
//                                   host ranges (a 32-bit start plus a 32-bit
//                                   length end below 2^33) stay below 2^34
//   [kShareReadRegion, +kShareSlots)    read class
//   [kShareWriteRegion, +kShareSlots)   write class
#ifndef QORVEL_PLATFORM_POSIX_HANDLES_H
#define QORVEL_PLATFORM_POSIX_HANDLES_H

#include <sys/types.h>

#include <cstdint>

namespace qorvel::platform::posix {

// ---- Rights record ----------------------------------------------------------

constexpr uint8_t kRightRead = 0x1;
constexpr uint8_t kRightWrite = 0x2;
constexpr uint8_t kRightTracked = 0x80;  // the library opened this descriptor

// Descriptors at or above this number are not recorded: they are opened with
// exactly the access asked for, and the kernel enforces it.
constexpr int kTrackedDescriptors = 1 << 20;

// The record of a descriptor the library opened, or 0 for any other value.
uint8_t handleRights(int fd);

// Handle 0 is the null handle on Windows, never a file, and every call
// refuses it with ERROR_INVALID_HANDLE. On POSIX descriptor 0 is the
// process's standard input: unless the library itself opened descriptor 0,
// the calls refuse it the same way, so that a host's 0 never closes, flushes,
// reads, writes or locks standard input.
bool isNullHandle(int fd);

// ---- Lock-space layout -------------------------------------------------------

constexpr off_t kLockCallSpaceEnd = off_t(1) << 40;
constexpr off_t kShareSlots = 4096;
constexpr off_t kShareReadRegion = off_t(1) << 62;
constexpr off_t kShareWriteRegion = kShareReadRegion + kShareSlots;
constexpr off_t kShareAreaEnd = kShareWriteRegion + kShareSlots;

// Releases the byte-range locks the host took through this descriptor (the
// record of them, kept by the lock calls). Called by closeHandle before the
// descriptor is closed; the kernel drops the locks themselves with it.
void forgetByteRangeLocks(int fd);

// ---- Removal and rename -------------------------------------------------------

// Windows refuses to delete or rename a file while any handle with data
// access is open on it, since the library never shares delete access. A claim
// opens the file and takes a write lock over both share regions: it fails when
// any open through the library holds read or write access (conflict() is
// true), and while it is held, new opens of the file are refused with 32, so
// the check and the removal happen as one step. Directories, symbolic links
// and files the process can neither read nor write get no claim (there is
// nothing to conflict with, or nothing that can be checked).
class RemovalClaim {
public:
    explicit RemovalClaim(const char* path);
    ~RemovalClaim();
    RemovalClaim(const RemovalClaim&) = delete;
    RemovalClaim& operator=(const RemovalClaim&) = delete;

    bool conflict() const { return conflict_; }

private:
    int fd_ = -1;
    bool conflict_ = false;
};

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_HANDLES_H

// What the POSIX backend keeps of each descriptor: one record per descriptor
// number, found by the number, guarded by a small lock of its own.
//
// A record is adopted when the library opens a descriptor and released when
// the library closes it: which process's library opened it (descriptor 0 is
// then a handle, not standard input), whether it has data access and whether
// it shares nothing, the file it is open on, and the byte-range locks this
// process took through it (locks.cpp), which OFD locks alone cannot tell
// apart or check for exactness. A record holds no descriptor: the handle's
// share mode lives on the handle's own description (share_modes.h), and
// releasing a record closes nothing.
//
// The records are static: one for each descriptor number below
// kMaxDescriptors (Linux's own default ceiling on open files, fs.nr_open),
// 48 bytes of address space each, of which only the pages of numbers in use
// are ever touched; the locks of a record live in an array of its own, grown
// as locks are taken (at most kMaxHeldLocks per descriptor). An open that
// receives a number at or above the limit is refused with error 4 (too many
// open files); so is a lock through such a number.
//
// Each record's guard is taken only to read or change that record, never
// across a system call: the lock path claims its range, makes its calls to
// the kernel (on a shared file system, round trips to the server) with no
// guard held, then settles the claim. Threads at work on different handles
// never wait for each other.
//
// Processes. Locks belong to the process that took them: a record says which
// process opened the descriptor and whose locks it lists. A forked child
// starts with a copy of every record; for the child they are its parent's,
// so its transfers through an inherited handle look at the file's locks
// afresh (locks.cpp), and its first lock through one starts a list of its
// own. A guard held at the instant of the fork, by a thread that does not
// exist in the child, is recognised as its parent's and taken over. The
// process is told apart by a number that each forked child raises
// (pthread_atfork), so no process-wide lock is ever held, and a fork at any
// instant leaves the child nothing to wait for.
//
// Numbers come back: when a host closes a library descriptor itself, the
// record stays until the library next opens or closes a descriptor of that
// number; adoption starts every record afresh, so a record never speaks for a
// descriptor the library opened. A descriptor the host opened itself under
// such a stale number is judged by the stale record (its locks and their
// unlocks, whether its transfers look for others' locks): the library costs
// no system call on its lock and unlock paths to tell the two apart.
#ifndef QORVEL_PLATFORM_POSIX_REGISTRY_H
#define QORVEL_PLATFORM_POSIX_REGISTRY_H

#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace qorvel::platform::posix {

constexpr int kMaxDescriptors = 1 << 20;
constexpr uint32_t kMaxHeldLocks = 4096;

enum Fact : uint8_t {
    kOpenedHere = 0x1,
    kHasDataAccess = 0x2,
    kSharesNothing = 0x4,
    kReadable = 0x8,
    kWritable = 0x10,
    kOnSharedFileSystem = 0x20,  // shared_file_system.h
    kUnpushedWrites = 0x40,      // shared_file_system.h: written since last synced
    kHoldsAppendGate = 0x80,     // shared_file_system.h
};

// Read without the guard: a byte written whole. 0 for a number the library
// did not open. A forked child sees its parent's facts of an inherited
// handle: they describe the open file description, which both share.
uint8_t factsOf(int fd);

// Handle 0 is the null handle on Windows, never a file, and every call
// refuses it with ERROR_INVALID_HANDLE. On POSIX descriptor 0 is the
// process's standard input: unless the library itself opened descriptor 0,
// the calls refuse it the same way, so that a host's 0 never closes, flushes,
// reads, writes or locks standard input.
inline bool isNullHandle(int fd) { return fd == 0 && !(factsOf(0) & kOpenedHere); }

// Sets, or clears and answers, facts of a descriptor the library opened (no
// effect, and false, for another).
void addFacts(int fd, uint8_t facts);
bool takeFacts(int fd, uint8_t facts);

// Whether the library of this very process opened `fd`: false for a number
// it did not open, and in a forked child for the handles it inherited.
bool openedByThisProcess(int fd);

// Whether this process may hold a recorded byte-range lock through `fd`.
// Read without the guard.
bool mayHoldLocks(int fd);

// Whether a range lock this process holds through `fd` holds every byte of
// [start, start + length).
bool insideHeldLock(int fd, uint64_t start, uint64_t length);

// The file a descriptor is open on.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
};

// Starts the record of a descriptor the library just opened, with `facts`
// and kOpenedHere, after dropping whatever a stale record of the number held.
// Answers 0, or the Win32 error (4) for a number beyond the limit.
uint32_t adopt(int fd, uint8_t facts, const FileIdentity& file);

// A byte-range lock held through a descriptor, as locks.cpp records it.
struct HeldLock {
    uint64_t start;
    uint64_t length;
    uint32_t count;  // zero-length locks at one offset stack
    uint16_t lane;   // where a zero-length lock is marked
    bool marked;     // a read handle's range, with its mark (locks.cpp)
    bool settled;    // false while its lock or unlock calls are under way
};

// The locks this process held through a descriptor when its record ended.
struct EndedLocks {
    std::unique_ptr<HeldLock[]> list;
    uint32_t count = 0;

    const HeldLock* begin() const { return list.get(); }
    const HeldLock* end() const { return list.get() + count; }
};

// What a record held when it ended; for a descriptor an open gives up before
// adopting it, what its record would have held.
struct Released {
    EndedLocks locks;  // this process's byte-range locks
    uint8_t facts = 0;
    // Whether another process may hold the description too: one that this
    // process did not open, or opened before it forked. (A program started
    // without a fork handler the registry cannot see: the closer asks the
    // descriptor, handles.cpp.)
    bool mayBeInherited = false;
    FileIdentity file;
};

// Ends the record of a descriptor the library is about to close: hands back
// what it held, for the caller to give up this process's locks before the
// descriptor closes.
Released release(int fd);

struct Record;

// The byte-range locks this process records for one descriptor, reached only
// while an object of this class holds the record's guard. No system call is
// made while it does.
class RecordedLocks {
public:
    explicit RecordedLocks(int fd);
    ~RecordedLocks();
    RecordedLocks(const RecordedLocks&) = delete;
    RecordedLocks& operator=(const RecordedLocks&) = delete;

    // False for a number beyond the records: nothing can be recorded.
    bool available() const { return record_ != nullptr; }
    HeldLock* find(uint64_t start, uint64_t length);
    // Whether any lock, settled or not, satisfies `refuses`.
    template <typename Predicate>
    bool any(Predicate refuses) const {
        return std::any_of(begin(), end(), refuses);
    }
    // False when the memory for it cannot be had, or at kMaxHeldLocks.
    bool add(const HeldLock& lock);
    void remove(HeldLock* held);
    HeldLock* begin() const;
    HeldLock* end() const;

private:
    friend uint32_t adopt(int fd, uint8_t facts, const FileIdentity& file);
    friend Released release(int fd);

    Record* record_;
};

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_REGISTRY_H

// The one place where the POSIX backend keeps what it knows of the
// descriptors it opened.
//
// A record is adopted when the library opens a descriptor and released when
// the library closes it: that the library opened it (descriptor 0 is then a
// handle, not standard input), whether it has data access and whether it
// shares nothing, and the byte-range locks taken through it (locks.cpp),
// which OFD locks alone cannot tell apart or check for exactness. A record
// holds no descriptor: the handle's share mode lives on the handle's own
// description (share_modes.h), and releasing a record closes nothing.
//
// The storage is fixed and static, under one mutex: a record for each
// descriptor number below kMaxDescriptors (Linux's own default ceiling on
// open files, fs.nr_open), and kMaxHeldLocks byte-range locks for the whole
// process. No heap memory: 4 bytes of address space per number (4 MiB),
// of which only the pages of numbers in use are ever touched. An
// open that receives a number at or above the limit is refused with error 4
// (too many open files); a lock beyond kMaxHeldLocks with error 36.
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

#include <cstdint>

namespace qorvel::platform::posix {

constexpr int kMaxDescriptors = 1 << 20;
constexpr size_t kMaxHeldLocks = 4096;

enum Fact : uint8_t {
    kOpenedHere = 0x1,
    kHasDataAccess = 0x2,
    kSharesNothing = 0x4,
    kReadable = 0x8,
    kWritable = 0x10,
    kOnSharedFileSystem = 0x20,  // shared_file_system.h
    kUnpushedWrites = 0x40,      // shared_file_system.h: written since last synced
};

// Read without the mutex: a byte written whole. 0 for a number the library
// did not open.
uint8_t factsOf(int fd);

// Sets, or clears and answers, facts of a descriptor the library opened (no
// effect, and false, for another).
void addFacts(int fd, uint8_t facts);
bool takeFacts(int fd, uint8_t facts);

// Whether `fd` may hold a recorded byte-range lock: false only for a
// descriptor whose record counts none. Read without the mutex.
bool mayHoldLocks(int fd);

// Whether a range lock the library recorded for `fd` holds every byte of
// [start, start + length). Never waits: while another thread holds the
// registry (its lock calls may wait on a file server) it answers false, and
// the caller asks the kernel instead.
bool insideHeldLock(int fd, uint64_t start, uint64_t length);

// Starts the record of a descriptor the library just opened, forgetting
// whatever a stale record of the number said. Answers 0, or the Win32 error
// (4) for a number beyond the limit.
uint32_t adopt(int fd, uint8_t facts);

// Ends the record of a descriptor the library is about to close: forgets its
// byte-range locks (a number beyond the records has only locks to forget).
void release(int fd);

// A byte-range lock held through a descriptor, as locks.cpp records it.
struct HeldLock {
    int fd;
    uint64_t start;
    uint64_t length;
    uint32_t count;  // zero-length locks at one offset stack
    bool marked;     // a read handle's range, with its mark (locks.cpp)
    unsigned lane;   // where a zero-length lock is marked
};

// The byte-range locks of every descriptor, reached only while an object of
// this class holds the registry's mutex.
class HeldLocks {
public:
    HeldLocks();
    ~HeldLocks();
    HeldLocks(const HeldLocks&) = delete;
    HeldLocks& operator=(const HeldLocks&) = delete;

    bool full() const;
    HeldLock* find(int fd, uint64_t start, uint64_t length);
    // Whether any lock of `fd` satisfies `refuses`.
    template <typename Predicate>
    bool any(int fd, Predicate refuses) const;
    void add(const HeldLock& lock);
    void remove(HeldLock* held);

private:
    const HeldLock* begin() const;
    const HeldLock* end() const;
};

template <typename Predicate>
bool HeldLocks::any(int fd, Predicate refuses) const {
    for (const HeldLock* held = begin(); held != end(); ++held) {
        if (held->fd == fd && refuses(*held)) return true;
    }
    return false;
}

}  // namespace qorvel::platform::posix

#endif  // QORVEL_PLATFORM_POSIX_REGISTRY_H

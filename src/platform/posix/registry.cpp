#include "platform/posix/registry.h"

#include <atomic>
#include <mutex>

#include "platform/platform.h"

namespace qorvel::platform::posix {
namespace {

struct Record {
    std::atomic<uint8_t> facts;
    // How many entries of gHeld are this descriptor's; written under the
    // mutex, read without it by insideHeldLock.
    std::atomic<uint16_t> heldLocks;
};

static_assert(sizeof(Record) <= 4, "the address space registry.h states");

std::mutex gMutex;
Record gRecords[kMaxDescriptors];
HeldLock gHeld[kMaxHeldLocks];
size_t gHeldCount = 0;

bool isRecorded(int fd) { return fd >= 0 && fd < kMaxDescriptors; }

// A descriptor beyond the records (one the host opened) keeps no count: its
// locks are looked for all the same.
void forgetHeldLocks(int fd) {
    for (size_t i = 0; i < gHeldCount;) {
        if (gHeld[i].fd == fd) {
            gHeld[i] = gHeld[--gHeldCount];
        } else {
            ++i;
        }
    }
    if (isRecorded(fd)) gRecords[fd].heldLocks.store(0, std::memory_order_relaxed);
}

// With the mutex held.
void clear(int fd) {
    Record& record = gRecords[fd];
    record.facts.store(0, std::memory_order_relaxed);
    if (record.heldLocks.load(std::memory_order_relaxed) > 0) forgetHeldLocks(fd);
}

}  // namespace

uint8_t factsOf(int fd) {
    return isRecorded(fd) ? gRecords[fd].facts.load(std::memory_order_relaxed) : 0;
}

bool mayHoldLocks(int fd) {
    return !isRecorded(fd) || gRecords[fd].heldLocks.load(std::memory_order_relaxed) > 0;
}

bool insideHeldLock(int fd, uint64_t start, uint64_t length) {
    if (!mayHoldLocks(fd)) return false;
    std::unique_lock<std::mutex> guard(gMutex, std::try_to_lock);
    if (!guard.owns_lock()) return false;
    for (size_t i = 0; i < gHeldCount; ++i) {
        const HeldLock& held = gHeld[i];
        if (held.fd == fd && held.length != 0 && held.start <= start &&
            start + length <= held.start + held.length) {
            return true;
        }
    }
    return false;
}

void addFacts(int fd, uint8_t facts) {
    if (isRecorded(fd) && (gRecords[fd].facts.load(std::memory_order_relaxed) & kOpenedHere)) {
        gRecords[fd].facts.fetch_or(facts, std::memory_order_relaxed);
    }
}

bool takeFacts(int fd, uint8_t facts) {
    if (!isRecorded(fd)) return false;
    return (gRecords[fd].facts.fetch_and(uint8_t(~facts), std::memory_order_relaxed) & facts) != 0;
}

uint32_t adopt(int fd, uint8_t facts) {
    if (!isRecorded(fd)) return win32error::kTooManyOpenFiles;
    std::lock_guard<std::mutex> guard(gMutex);
    clear(fd);
    gRecords[fd].facts.store(facts, std::memory_order_relaxed);
    return 0;
}

void release(int fd) {
    std::lock_guard<std::mutex> guard(gMutex);
    if (isRecorded(fd)) {
        clear(fd);
    } else if (fd >= 0) {
        forgetHeldLocks(fd);
    }
}

HeldLocks::HeldLocks() { gMutex.lock(); }
HeldLocks::~HeldLocks() { gMutex.unlock(); }

bool HeldLocks::full() const { return gHeldCount == kMaxHeldLocks; }

HeldLock* HeldLocks::find(int fd, uint64_t start, uint64_t length) {
    if (isRecorded(fd) && gRecords[fd].heldLocks.load(std::memory_order_relaxed) == 0) {
        return nullptr;
    }
    for (size_t i = 0; i < gHeldCount; ++i) {
        HeldLock& held = gHeld[i];
        if (held.fd == fd && held.start == start && held.length == length) return &held;
    }
    return nullptr;
}

void HeldLocks::add(const HeldLock& lock) {
    gHeld[gHeldCount++] = lock;
    if (isRecorded(lock.fd)) gRecords[lock.fd].heldLocks.fetch_add(1, std::memory_order_relaxed);
}

void HeldLocks::remove(HeldLock* held) {
    if (isRecorded(held->fd)) gRecords[held->fd].heldLocks.fetch_sub(1, std::memory_order_relaxed);
    *held = gHeld[--gHeldCount];
}

const HeldLock* HeldLocks::begin() const { return gHeld; }
const HeldLock* HeldLocks::end() const { return gHeld + gHeldCount; }

}  // namespace qorvel::platform::posix

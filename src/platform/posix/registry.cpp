#include "platform/posix/registry.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <new>

#include "platform/platform.h"

namespace qorvel::platform::posix {

struct Record {
    // 0, or the process one of whose threads holds the guard.
    std::atomic<uint32_t> guard;
    // The process whose library opened the descriptor (0: none).
    std::atomic<uint32_t> opener;
    // The process whose locks `locks` lists.
    std::atomic<uint32_t> holder;
    // Entries of `locks`; written under the guard, read without it.
    std::atomic<uint32_t> lockCount;
    std::atomic<uint8_t> facts;
    uint16_t capacity;
    // The forks this process had made when it opened the descriptor.
    uint32_t forksAtOpen;
    HeldLock* locks;
    FileIdentity file;
};

namespace {

static_assert(sizeof(Record) <= 48, "the address space registry.h states");

// This process, told apart from every process whose memory it holds a copy
// of: a forked child counts one more than its parent, so the numbers along
// a line of descent never repeat.
std::atomic<uint32_t> gProcess{1};

// The forks this process made (and its parent had made): a descriptor opened
// before one may be held by a child too.
std::atomic<uint32_t> gForks{0};

void countFork() { gForks.fetch_add(1, std::memory_order_relaxed); }
void countForkedChild() { gProcess.fetch_add(1, std::memory_order_relaxed); }

// Registered when the library is loaded, before any handle can exist.
[[maybe_unused]] const int gForkHandler = pthread_atfork(countFork, nullptr, countForkedChild);

uint32_t thisProcess() { return gProcess.load(std::memory_order_relaxed); }

Record gRecords[kMaxDescriptors];

bool isRecorded(int fd) { return fd >= 0 && fd < kMaxDescriptors; }

// A guard held by a thread of an earlier process (copied at the fork) has no
// thread here to give it back: it is taken over. One held by a thread of
// this process is waited for; it is held only for a few loads and stores.
void takeGuard(Record& record) {
    uint32_t me = thisProcess();
    uint32_t seen = 0;
    while (!record.guard.compare_exchange_weak(seen, me, std::memory_order_acquire,
                                               std::memory_order_relaxed)) {
        if (seen != 0 && seen != me) continue;
        seen = 0;
        sched_yield();
    }
}

void giveGuard(Record& record) { record.guard.store(0, std::memory_order_release); }

class Guard {
public:
    explicit Guard(Record& record) : record_(record) { takeGuard(record_); }
    ~Guard() { giveGuard(record_); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    Record& record_;
};

// Under the guard: gives the record's list of locks to this process. A list
// copied from a parent at the fork is the parent's; the child's copy of its
// memory goes.
void holdHere(Record& record) {
    uint32_t me = thisProcess();
    if (record.holder.load(std::memory_order_relaxed) == me) return;
    delete[] record.locks;
    record.locks = nullptr;
    record.capacity = 0;
    record.lockCount.store(0, std::memory_order_relaxed);
    record.holder.store(me, std::memory_order_relaxed);
}

// Under the guard.
Released endRecord(Record& record) {
    Released ended;
    ended.facts = record.facts.exchange(0, std::memory_order_relaxed);
    ended.mayBeInherited = record.opener.load(std::memory_order_relaxed) != thisProcess() ||
                           record.forksAtOpen != gForks.load(std::memory_order_relaxed);
    holdHere(record);
    ended.locks = EndedLocks(record.locks, record.lockCount.load(std::memory_order_relaxed));
    record.locks = nullptr;
    record.capacity = 0;
    record.lockCount.store(0, std::memory_order_relaxed);
    record.opener.store(0, std::memory_order_relaxed);
    ended.file = record.file;
    record.file = FileIdentity{};
    return ended;
}

}  // namespace

uint8_t factsOf(int fd) {
    return isRecorded(fd) ? gRecords[fd].facts.load(std::memory_order_relaxed) : 0;
}

bool openedByThisProcess(int fd) {
    return isRecorded(fd) && (factsOf(fd) & kOpenedHere) &&
           gRecords[fd].opener.load(std::memory_order_relaxed) == thisProcess();
}

bool mayHoldLocks(int fd) {
    if (!isRecorded(fd)) return false;
    const Record& record = gRecords[fd];
    return record.holder.load(std::memory_order_relaxed) == thisProcess() &&
           record.lockCount.load(std::memory_order_relaxed) > 0;
}

bool insideHeldLock(int fd, uint64_t start, uint64_t length) {
    if (!mayHoldLocks(fd)) return false;
    RecordedLocks held(fd);
    return held.any([&](const HeldLock& lock) {
        return lock.settled && lock.length != 0 && lock.start <= start &&
               start + length <= lock.start + lock.length;
    });
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

// The stale record's locks went with its descriptor: nothing to give up.
uint32_t adopt(int fd, uint8_t facts, const FileIdentity& file) {
    if (!isRecorded(fd)) return win32error::kTooManyOpenFiles;
    Record& record = gRecords[fd];
    Released stale;
    {
        Guard guard(record);
        stale = endRecord(record);
        record.file = file;
        record.forksAtOpen = gForks.load(std::memory_order_relaxed);
        record.opener.store(thisProcess(), std::memory_order_relaxed);
        record.facts.store(facts, std::memory_order_relaxed);
    }
    return 0;
}

Released release(int fd) {
    if (!isRecorded(fd)) return Released();
    Guard guard(gRecords[fd]);
    return endRecord(gRecords[fd]);
}

RecordedLocks::RecordedLocks(int fd) : record_(isRecorded(fd) ? &gRecords[fd] : nullptr) {
    if (record_ == nullptr) return;
    takeGuard(*record_);
    holdHere(*record_);
}

RecordedLocks::~RecordedLocks() {
    if (record_ != nullptr) giveGuard(*record_);
}

bool RecordedLocks::full() const {
    return record_ == nullptr ||
           record_->lockCount.load(std::memory_order_relaxed) >= kMaxHeldLocks;
}

HeldLock* RecordedLocks::find(uint64_t start, uint64_t length) {
    if (record_ == nullptr) return nullptr;
    uint32_t count = record_->lockCount.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < count; ++i) {
        HeldLock& held = record_->locks[i];
        if (held.start == start && held.length == length) return &held;
    }
    return nullptr;
}

bool RecordedLocks::add(const HeldLock& lock) {
    if (full()) return false;
    uint32_t count = record_->lockCount.load(std::memory_order_relaxed);
    if (count == record_->capacity) {
        auto capacity = static_cast<uint16_t>(count == 0 ? 4 : count * 2);
        auto* grown = new (std::nothrow) HeldLock[capacity];
        if (grown == nullptr) return false;
        for (uint32_t i = 0; i < count; ++i) grown[i] = record_->locks[i];
        // The old list goes only once the new one is in place: a fork at any
        // instant leaves the child a list it may free.
        HeldLock* old = record_->locks;
        record_->locks = grown;
        record_->capacity = capacity;
        delete[] old;
    }
    record_->locks[count] = lock;
    record_->lockCount.store(count + 1, std::memory_order_relaxed);
    return true;
}

void RecordedLocks::remove(HeldLock* held) {
    uint32_t count = record_->lockCount.load(std::memory_order_relaxed) - 1;
    *held = record_->locks[count];
    record_->lockCount.store(count, std::memory_order_relaxed);
}

const HeldLock* RecordedLocks::begin() const { return record_ ? record_->locks : nullptr; }

const HeldLock* RecordedLocks::end() const {
    return record_ ? record_->locks + record_->lockCount.load(std::memory_order_relaxed) : nullptr;
}

}  // namespace qorvel::platform::posix

#include "platform/posix/registry.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <utility>

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

Record* recordOf(int fd) { return fd >= 0 && fd < kMaxDescriptors ? &gRecords[fd] : nullptr; }

// Under the guard: the record's list of locks, which it then no longer has.
EndedLocks takeLocks(Record& record) {
    EndedLocks taken{std::unique_ptr<HeldLock[]>(record.locks),
                     record.lockCount.load(std::memory_order_relaxed)};
    record.locks = nullptr;
    record.capacity = 0;
    record.lockCount.store(0, std::memory_order_relaxed);
    return taken;
}

}  // namespace

uint8_t factsOf(int fd) {
    Record* record = recordOf(fd);
    return record != nullptr ? record->facts.load(std::memory_order_relaxed) : 0;
}

// A record has an opener exactly while kOpenedHere is among its facts.
bool openedByThisProcess(int fd) {
    Record* record = recordOf(fd);
    return record != nullptr && record->opener.load(std::memory_order_relaxed) == thisProcess();
}

bool mayHoldLocks(int fd) {
    Record* record = recordOf(fd);
    return record != nullptr && record->holder.load(std::memory_order_relaxed) == thisProcess() &&
           record->lockCount.load(std::memory_order_relaxed) > 0;
}

bool insideHeldLock(int fd, uint64_t start, uint64_t length) {
    RecordedLocks held(fd);
    return held.any([&](const HeldLock& lock) {
        return lock.settled && lock.length != 0 && lock.start <= start &&
               start + length <= lock.start + lock.length;
    });
}

void addFacts(int fd, uint8_t facts) {
    if (factsOf(fd) & kOpenedHere) gRecords[fd].facts.fetch_or(facts, std::memory_order_relaxed);
}

bool takeFacts(int fd, uint8_t facts) {
    Record* record = recordOf(fd);
    auto kept = static_cast<uint8_t>(~facts);
    return record != nullptr &&
           (record->facts.fetch_and(kept, std::memory_order_relaxed) & facts) != 0;
}

// The stale record's locks went with its descriptor: nothing to give up.
uint32_t adopt(int fd, uint8_t facts, const FileIdentity& file) {
    RecordedLocks held(fd);
    Record* record = held.record_;
    if (record == nullptr) return win32error::kTooManyOpenFiles;
    takeLocks(*record);
    record->file = file;
    record->forksAtOpen = gForks.load(std::memory_order_relaxed);
    record->opener.store(thisProcess(), std::memory_order_relaxed);
    record->facts.store(facts | kOpenedHere, std::memory_order_relaxed);
    return 0;
}

Released release(int fd) {
    RecordedLocks held(fd);
    Record* record = held.record_;
    Released ended;
    if (record == nullptr) return ended;
    ended.facts = record->facts.exchange(0, std::memory_order_relaxed);
    uint32_t opener = record->opener.exchange(0, std::memory_order_relaxed);
    ended.mayBeInherited =
        opener != thisProcess() || record->forksAtOpen != gForks.load(std::memory_order_relaxed);
    ended.locks = takeLocks(*record);
    ended.file = std::exchange(record->file, FileIdentity{});
    return ended;
}

// A guard held by a thread of an earlier process (copied at the fork) has no
// thread here to give it back: it is taken over. One held by a thread of
// this process is waited for; it is held only for a few loads and stores.
// Once held, the record's list of locks is given to this process: a list
// copied from a parent at the fork is the parent's, and the child's copy of
// its memory goes.
RecordedLocks::RecordedLocks(int fd) : record_(recordOf(fd)) {
    if (record_ == nullptr) return;
    uint32_t me = thisProcess();
    uint32_t seen = 0;
    while (!record_->guard.compare_exchange_weak(seen, me, std::memory_order_acquire,
                                                 std::memory_order_relaxed)) {
        if (seen != 0 && seen != me) continue;
        seen = 0;
        sched_yield();
    }
    if (record_->holder.load(std::memory_order_relaxed) != me) {
        takeLocks(*record_);
        record_->holder.store(me, std::memory_order_relaxed);
    }
}

RecordedLocks::~RecordedLocks() {
    if (record_ != nullptr) record_->guard.store(0, std::memory_order_release);
}

HeldLock* RecordedLocks::find(uint64_t start, uint64_t length) {
    for (HeldLock& held : *this) {
        if (held.start == start && held.length == length) return &held;
    }
    return nullptr;
}

bool RecordedLocks::add(const HeldLock& lock) {
    if (record_ == nullptr) return false;
    uint32_t count = record_->lockCount.load(std::memory_order_relaxed);
    if (count >= kMaxHeldLocks) return false;
    if (count == record_->capacity) {
        auto capacity = static_cast<uint16_t>(count == 0 ? 4 : count * 2);
        auto* grown = new (std::nothrow) HeldLock[capacity];
        if (grown == nullptr) return false;
        std::copy(begin(), end(), grown);
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

HeldLock* RecordedLocks::begin() const { return record_ ? record_->locks : nullptr; }

HeldLock* RecordedLocks::end() const {
    return record_ ? record_->locks + record_->lockCount.load(std::memory_order_relaxed) : nullptr;
}

}  // namespace qorvel::platform::posix

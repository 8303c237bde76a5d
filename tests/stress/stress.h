// Shared pieces of the crash-stress programs: how long they run, a memory
// map every forked process sees, and the share rule written out on its own.
#ifndef QORVEL_TESTS_STRESS_STRESS_H
#define QORVEL_TESTS_STRESS_STRESS_H

#include <sys/mman.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>

namespace qstress {

// QORVEL_STRESS_SECONDS overrides the default run time.
inline std::chrono::milliseconds runTime(int defaultSeconds) {
    const char* text = std::getenv("QORVEL_STRESS_SECONDS");
    double seconds = text != nullptr ? std::atof(text) : 0;
    if (seconds <= 0) seconds = defaultSeconds;
    return std::chrono::milliseconds(static_cast<long>(seconds * 1000));
}

// A T in anonymous shared memory: forked children write, the parent reads.
template <class T>
T* sharedObject() {
    void* memory =
        mmap(nullptr, sizeof(T), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::runtime_error("mmap");
    return new (memory) T();
}

// The data access a mode word asks for and the access it lets others have,
// as bits: 1 read, 2 write. One access bit gives that access, several none;
// likewise for the share bits.
inline unsigned classesOf(unsigned bits, unsigned read, unsigned write, unsigned both) {
    if (bits == read) return 1;
    if (bits == write) return 2;
    if (bits == both) return 3;
    return 0;
}
inline unsigned accessOf(unsigned mode) { return classesOf(mode & 0x0007, 0x1, 0x2, 0x4); }
inline unsigned sharingOf(unsigned mode) { return classesOf(mode & 0x0070, 0x20, 0x10, 0x40); }

// Two opens may be held at once when each shares every access the other
// holds; an open without data access takes no part.
inline bool compatible(unsigned first, unsigned second) {
    unsigned a = accessOf(first), b = accessOf(second);
    if (a == 0 || b == 0) return true;
    return (a & ~sharingOf(second)) == 0 && (b & ~sharingOf(first)) == 0;
}

inline bool validMode(unsigned mode) { return (mode & 0x0007) != 0 && (mode & 0xFC88) == 0; }

}  // namespace qstress

#endif  // QORVEL_TESTS_STRESS_STRESS_H

// The one-call append to a named file.
#ifndef QORVEL_UTIL_APPEND_H
#define QORVEL_UTIL_APPEND_H

#include <cstdint>

#include "qorvel.h"

namespace qorvel::util {

// Appenders open the file for reading and writing and let every other open
// read and write it too: a log stays readable, and writable, while in use.
constexpr cFileMode kAppendMode = CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE;

// How long an append waits, in all, for another appender of the same file to
// finish before it gives up with the lock-violation status (0x00210307). An
// appender holds the gate only while it moves to the end and writes, so a
// wait this long means an appender that is stopped or stuck mid-write.
constexpr uint32_t kAppendGateBudgetMicroseconds = 5'000'000;

// Appends `text` (without its terminator) at the true end of the file at
// `path`, creating the file when it does not exist and never emptying it.
// Among all appenders, in this process and others, each text lands whole,
// once, after every text appended before it. Both pointers must be given and
// the path must not be empty.
cFileStatus appendToFile(const char* path, const char* text);

}  // namespace qorvel::util

#endif  // QORVEL_UTIL_APPEND_H

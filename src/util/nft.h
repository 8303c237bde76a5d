// The status-line record builder: one line of text, a stamp and ten tagged
// fields, built in place in the caller's buffer without touching the heap.
#ifndef QORVEL_UTIL_NFT_H
#define QORVEL_UTIL_NFT_H

#include <cstdint>
#include <ctime>

#include "qorvel.h"

namespace qorvel::util {

// Writes the decimal digits of `value`, zero-filled on the left to at least
// `minimumWidth` characters (a minimum, never a maximum), with no terminator.
// Answers the count of characters written. Only the low 16 bits of the value
// count; a negative value is written as its magnitude, since the digit
// writer serves the non-negative pieces of a broken-down time.
int16_t writePaddedDecimal(char* destination, int16_t value, int16_t minimumWidth);

// Room for any clock stamp: six pieces of at most five digits (a 16-bit
// magnitude), five separators and the terminator. A real local time needs 18.
constexpr int kClockStampCapacity = 6 * 5 + 5 + 1;

// Writes the stamp "YY/MM/DD hh:mm:ss" of a broken-down local time, the year
// piece being the count of years since 1900, and terminates it. Answers its
// length.
int writeClockStamp(char* destination, const std::tm& local);

// Builds the whole line into `out`, from its first byte. The stamp is the
// caller's `stamp` when given, else the clock stamp of `local` when given,
// else "0" (the local time could not be had). A null record builds the line
// of every fallback with the severity word "Err" and both numbers 0.
void buildStatusLine(const char* stamp, const std::tm* local, const cFileNftRecord* record,
                     char* out);

// The line with the clock stamp of the local time now.
void buildClockStampedLine(const cFileNftRecord* record, char* out);

}  // namespace qorvel::util

#endif  // QORVEL_UTIL_NFT_H

// The status-line record builder.
//
// The line is written front to back straight into the caller's buffer; the
// clock stamp and the two numbers are formed in small scratch areas on the
// stack first. Nothing here allocates, and nothing is kept between calls.
#include "util/nft.h"

#include <cstring>

#include "platform/platform.h"

namespace qorvel::util {
namespace {

// The tags and the fallbacks are fixed texts: copied with their length known
// at compile time.
template <size_t N>
char* putLiteral(char* to, const char (&text)[N]) {
    std::memcpy(to, text, N - 1);
    return to + (N - 1);
}

// Caller texts are copied byte for byte, without their terminator.
char* putText(char* to, const char* text) {
    while (*text != '\0') *to++ = *text++;
    return to;
}

template <size_t N>
char* putTextOr(char* to, const char* text, const char (&fallback)[N]) {
    return text != nullptr ? putText(to, text) : putLiteral(to, fallback);
}

// The longest signed 32-bit decimal text, "-2147483648", and its terminator.
constexpr int kNumberCapacity = 12;

// The decimal text of a value exactly as "%ld" prints it (no leading zeros,
// no plus sign, "-" before a negative value), terminated. Answers its length.
int formatDecimal(char (&scratch)[kNumberCapacity], int32_t value) {
    // The magnitude as unsigned, so that -2147483648 needs no special case.
    uint32_t magnitude =
        value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    int length = 0;
    if (value < 0) scratch[length++] = '-';
    while (count > 0) scratch[length++] = digits[--count];
    scratch[length] = '\0';
    return length;
}

char* putNumber(char* to, int32_t value) {
    char scratch[kNumberCapacity];
    int length = formatDecimal(scratch, value);
    std::memcpy(to, scratch, static_cast<size_t>(length));
    return to + length;
}

char* putStamp(char* to, const char* stamp, const std::tm* local) {
    if (stamp != nullptr) return putText(to, stamp);
    if (local == nullptr) return putLiteral(to, "0");
    char scratch[kClockStampCapacity];
    int length = writeClockStamp(scratch, *local);
    std::memcpy(to, scratch, static_cast<size_t>(length));
    return to + length;
}

// Severity 0 and 1 are errors; every other value, negative ones included,
// is a warning.
char* putSeverity(char* to, int16_t severity) {
    return (severity == 0 || severity == 1) ? putLiteral(to, "Err") : putLiteral(to, "Warn");
}

// Stands in for a missing record: severity 0 ("Err"), every text absent and
// both numbers 0.
constexpr cFileNftRecord kAbsentRecord = {};

}  // namespace

int16_t writePaddedDecimal(char* destination, int16_t value, int16_t minimumWidth) {
    // Five digits hold any 16-bit magnitude.
    char digits[5];
    int count = 0;
    unsigned magnitude =
        value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    magnitude &= 0xFFFFu;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    int written = 0;
    for (int fill = minimumWidth - count; fill > 0; --fill) destination[written++] = '0';
    while (count > 0) destination[written++] = digits[--count];
    return static_cast<int16_t>(written);
}

int writeClockStamp(char* destination, const std::tm& local) {
    // Each separator goes right after the characters the digit writer
    // reported, so a year piece of three or more digits shifts the rest.
    char* at = destination;
    at += writePaddedDecimal(at, static_cast<int16_t>(local.tm_year), 2);
    *at++ = '/';
    at += writePaddedDecimal(at, static_cast<int16_t>(local.tm_mon + 1), 2);
    *at++ = '/';
    at += writePaddedDecimal(at, static_cast<int16_t>(local.tm_mday), 2);
    *at++ = ' ';
    at += writePaddedDecimal(at, static_cast<int16_t>(local.tm_hour), 2);
    *at++ = ':';
    at += writePaddedDecimal(at, static_cast<int16_t>(local.tm_min), 2);
    *at++ = ':';
    at += writePaddedDecimal(at, static_cast<int16_t>(local.tm_sec), 2);
    *at = '\0';
    return static_cast<int>(at - destination);
}

void buildStatusLine(const char* stamp, const std::tm* local, const cFileNftRecord* record,
                     char* out) {
    const cFileNftRecord& r = record != nullptr ? *record : kAbsentRecord;
    char* at = putLiteral(out, "/D=");
    at = putStamp(at, stamp, local);
    at = putLiteral(at, " /S=");
    at = putSeverity(at, r.severity);
    at = putLiteral(at, " /E=");
    at = putTextOr(at, r.eText, "NA");
    at = putLiteral(at, " /U=");
    at = putTextOr(at, r.uText, "NA");
    at = putLiteral(at, " /A=");
    at = putTextOr(at, r.aText, "NA");
    at = putLiteral(at, " /V=");
    at = putTextOr(at, r.vText, "0");
    at = putLiteral(at, " /F=");
    at = putTextOr(at, r.fText, "NA");
    at = putLiteral(at, " /O=");
    at = putNumber(at, r.oValue);
    at = putLiteral(at, " /P=");
    at = putTextOr(at, r.pText, "NA");
    at = putLiteral(at, " /R=");
    at = putNumber(at, r.rValue);
    at = putLiteral(at, " /T=");
    at = putTextOr(at, r.tText, "N");
    at = putLiteral(at, "\r\n");
    *at = '\0';
}

// The clock stamp re-reads the time-zone settings on every call, so that a
// change of TZ between calls takes effect; the conversion is the thread-safe
// one, so concurrent builders never share a broken-down time.
void buildClockStampedLine(const cFileNftRecord* record, char* out) {
    platform::reloadTimeZone();
    std::tm local;
    bool converted = platform::localTime(std::time(nullptr), &local);
    buildStatusLine(nullptr, converted ? &local : nullptr, record, out);
}

}  // namespace qorvel::util

using namespace qorvel;

extern "C" {

QORVEL_API cFileStatus QORVEL_CALL cFileBuildNftBuffer(const char* stamp,
                                                       const cFileNftRecord* record, char* out) {
    // The one check: without it the host would crash on the first byte.
    if (out == nullptr) return CFILE_ERR_INVALID_ARG;
    if (stamp != nullptr) {
        util::buildStatusLine(stamp, nullptr, record, out);
        return 0;
    }
    util::buildClockStampedLine(record, out);
    return 0;
}

}  // extern "C"

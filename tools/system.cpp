// The only code of the program that differs between Windows and POSIX.
#include <cstdio>
#include <ctime>

#include "cli.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#endif

namespace qorvel_cli {

void useBinaryStandardStreams() {
#ifdef _WIN32
    // The C run time would turn LF into CR LF on output and drop CRs on input:
    // `cat` and `append -` must pass bytes through unchanged.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
}

void sleepSeconds(uint32_t seconds) {
#ifdef _WIN32
    for (uint32_t i = 0; i < seconds; ++i) Sleep(1000);
#else
    struct timespec remaining = {static_cast<time_t>(seconds), 0};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {}
#endif
}

std::string localDate(int64_t secondsSince1970) {
    std::time_t time = static_cast<std::time_t>(secondsSince1970);
    if (static_cast<int64_t>(time) != secondsSince1970) return "-";
    std::tm local = {};
#ifdef _WIN32
    if (localtime_s(&local, &time) != 0) return "-";
#else
    if (localtime_r(&time, &local) == nullptr) return "-";
#endif
    char text[64];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) return "-";
    return text;
}

}  // namespace qorvel_cli

// A program started with a library handle it inherited, as a host starts
// one: it makes the calls its arguments name through that handle and prints
// their status words, one line, in hex.
//
//   inherited_handle_user HANDLE CALL...
//   CALL: read:START:COUNT, write:START:COUNT, lock:START:LENGTH,
//         unlock:START:LENGTH, hold:DESCRIPTOR:0 (keeps the handle until
//         DESCRIPTOR, the read end of a pipe it inherited, reads end of file)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qorvel.h"

namespace {

cFileStatus transfer(cFileHandle handle, bool write, uint32_t start, uint32_t count) {
    cFileStatus status = cFileSeek(handle, start, CFILE_SEEK_BEGIN, nullptr);
    if (status != 0) return status;
    char buffer[256] = {};
    if (count > sizeof buffer) count = sizeof buffer;
    uint32_t moved = 0;
    return write ? cFileWrite(handle, buffer, count, &moved)
                 : cFileRead(handle, buffer, count, &moved);
}

cFileStatus holdUntilEndOfFile(int pipe) {
    char byte;
    ssize_t got;
    while ((got = read(pipe, &byte, 1)) != 0) {
        if (got < 0) return 0xFFFFFFFFu;
    }
    return 0;
}

cFileStatus call(cFileHandle handle, const std::string& text) {
    size_t first = text.find(':');
    size_t second = text.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) return 0xFFFFFFFFu;
    std::string verb = text.substr(0, first);
    auto start = static_cast<uint32_t>(std::strtoul(text.c_str() + first + 1, nullptr, 0));
    auto count = static_cast<uint32_t>(std::strtoul(text.c_str() + second + 1, nullptr, 0));
    if (verb == "read" || verb == "write") return transfer(handle, verb == "write", start, count);
    if (verb == "lock") return cFileLock(handle, start, count);
    if (verb == "unlock") return cFileUnlock(handle, start, count);
    if (verb == "hold") return holdUntilEndOfFile(static_cast<int>(start));
    return 0xFFFFFFFFu;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    auto handle = static_cast<cFileHandle>(std::atoi(argv[1]));
    for (int i = 2; i < argc; ++i) std::printf("%s%08x", i > 2 ? " " : "", call(handle, argv[i]));
    std::printf("\n");
    return 0;
}

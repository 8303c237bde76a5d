// qorvel holders: who holds a file, and how. The command (holders.cpp)
// prints what one platform-specific search (holders_linux.cpp,
// holders_windows.cpp) finds.
#ifndef QORVEL_TOOLS_HOLDERS_H
#define QORVEL_TOOLS_HOLDERS_H

#include <cstdint>
#include <string>
#include <vector>

#include "qorvel.h"

namespace qorvel_cli {

struct LockedRange {
    uint64_t start;
    uint64_t length;  // 0 for a zero-length lock
};

// One descriptor (Linux) of a process that has the file open.
struct HeldHandle {
    int64_t descriptor = -1;
    bool modeKnown = false;  // a share mode was found published for it
    cFileMode mode = 0;      // access and sharing, when modeKnown
    std::vector<LockedRange> locks;
};

struct Holder {
    uint32_t pid = 0;
    std::string command;
    std::string user;                 // empty when not known
    std::vector<HeldHandle> handles;  // empty where the system names no handles
};

struct HolderSearch {
    std::vector<Holder> holders;
    uint32_t uninspected = 0;  // processes that could not be looked into
    // What the search could not see, each a sentence for the reader.
    std::vector<std::string> unseen;
    // Some handle holds the file although no holder could be named.
    bool heldUnseen = false;
};

// Looks for every process holding `path`; false with `error` set when the
// path itself cannot be looked at.
bool findHolders(const std::string& path, HolderSearch* search, std::string* error);

// The platform's own words for --help: what the search sees and what not.
extern const char* const kHoldersPlatformHelp;

}  // namespace qorvel_cli

#endif  // QORVEL_TOOLS_HOLDERS_H

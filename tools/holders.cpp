// qorvel holders PATH: the processes that hold PATH, their handles' modes
// and locked ranges, as text or as JSON.
#include "holders.h"

#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"

namespace qorvel_cli {
namespace {

constexpr int kExitHeld = 1;

// The mode word in the names `open --mode` takes, so that it can be pasted.
std::string modeNames(cFileMode mode) {
    std::string access = (mode & CFILE_ACCESS_READWRITE) ? "read-write"
                         : (mode & CFILE_ACCESS_WRITE)   ? "write"
                         : (mode & CFILE_ACCESS_READ)    ? "read"
                                                         : "no-access";
    std::string sharing = (mode & CFILE_SHARE_READWRITE) ? "deny-none"
                          : (mode & CFILE_SHARE_READ)    ? "deny-write"
                          : (mode & CFILE_SHARE_WRITE)   ? "deny-read"
                                                         : "deny-all";
    return access + "," + sharing;
}

std::string rangeText(const LockedRange& range) {
    if (range.length == 0) return "0 bytes at " + std::to_string(range.start);
    return std::to_string(range.length) + " bytes from " + std::to_string(range.start);
}

std::string handleText(const HeldHandle& handle) {
    std::string text = "  descriptor " + std::to_string(handle.descriptor) + ": ";
    text += handle.modeKnown ? "mode " + hexWord(handle.mode, 4) + " " + modeNames(handle.mode)
                             : "no share mode (not opened through the library, or no access "
                               "with everything shared)";
    text += "\n";
    for (const LockedRange& range : handle.locks) text += "    locks " + rangeText(range) + "\n";
    return text;
}

std::string plural(uint32_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string textReport(const std::string& path, const HolderSearch& search) {
    std::string text;
    for (const Holder& holder : search.holders) {
        text += "process " + std::to_string(holder.pid) + " (" + quoted(holder.command) + ")";
        if (!holder.user.empty()) text += ", user " + quoted(holder.user);
        text += "\n";
        for (const HeldHandle& handle : holder.handles) text += handleText(handle);
    }
    if (!search.holders.empty()) {
        text += plural(static_cast<uint32_t>(search.holders.size()), "process holds ",
                       "processes hold ") +
                quoted(path) + "\n";
    } else {
        text += std::string(search.heldUnseen ? "held, but no process holding "
                                              : "no process found holding ") +
                quoted(path) + (search.heldUnseen ? " could be named\n" : "\n");
    }
    if (search.uninspected > 0) {
        text += plural(search.uninspected, "process", "processes") +
                " of other users could not be inspected (run as root to see them)\n";
    }
    for (const std::string& sentence : search.unseen) text += sentence + "\n";
    return text;
}

std::string jsonHandle(const HeldHandle& handle) {
    std::string text = "{\"descriptor\": " + std::to_string(handle.descriptor) + ", \"mode\": ";
    text += handle.modeKnown ? std::to_string(handle.mode) +
                                   ", \"mode_names\": " + jsonString(modeNames(handle.mode))
                             : std::string("null");
    text += ", \"locks\": [";
    for (size_t i = 0; i < handle.locks.size(); ++i) {
        text += std::string(i ? ", " : "") +
                "{\"start\": " + std::to_string(handle.locks[i].start) +
                ", \"length\": " + std::to_string(handle.locks[i].length) + "}";
    }
    return text + "]}";
}

std::string jsonReport(const std::string& path, const HolderSearch& search) {
    std::string text = "{\"path\": " + jsonString(path) + ",\n \"holders\": [";
    for (size_t i = 0; i < search.holders.size(); ++i) {
        const Holder& holder = search.holders[i];
        text += std::string(i ? ",\n  " : "\n  ") + "{\"pid\": " + std::to_string(holder.pid) +
                ", \"command\": " + jsonString(holder.command) +
                ", \"user\": " + (holder.user.empty() ? "null" : jsonString(holder.user)) +
                ", \"handles\": [";
        for (size_t j = 0; j < holder.handles.size(); ++j) {
            text += std::string(j ? ", " : "") + jsonHandle(holder.handles[j]);
        }
        text += "]}";
    }
    text += "],\n \"held\": " +
            std::string(search.holders.empty() && !search.heldUnseen ? "false" : "true");
    text += ",\n \"uninspected\": " + std::to_string(search.uninspected) + ",\n \"unseen\": [";
    for (size_t i = 0; i < search.unseen.size(); ++i) {
        text += std::string(i ? ", " : "") + jsonString(search.unseen[i]);
    }
    return text + "]}\n";
}

int runHolders(const Command& self, const Arguments& arguments) {
    if (arguments.positionals().size() != 1) return usageError(self, "needs exactly one PATH");
    const std::string& path = arguments.positionals()[0];
    HolderSearch search;
    std::string error;
    if (!findHolders(path, &search, &error)) {
        return usageError(self, "cannot look at " + quoted(path, true) + ": " + error);
    }
    std::string text = arguments.has("json") ? jsonReport(path, search) : textReport(path, search);
    int exitCode = printResult("holders", text);
    if (exitCode != kExitOk) return exitCode;
    return search.holders.empty() && !search.heldUnseen ? kExitOk : kExitHeld;
}

}  // namespace

void addHoldersCommand(std::vector<Command>* list) {
    static const std::string details =
        std::string("\n") + kHoldersPlatformHelp +
        "\n"
        "Exit status: 0 when no process was found holding PATH, 1 when one was\n"
        "(or a hold was seen whose process could not be named), 2 for a wrong\n"
        "command line or a PATH that cannot be looked at.\n"
        "\n"
        "Options:\n"
        "  --json   one JSON object: path, holders (pid, command, user, handles with\n"
        "           descriptor, mode, mode_names and locks), held, uninspected, unseen\n";
    list->push_back({"holders",
                     "holders PATH [--json]",
                     "List the processes that hold PATH, with modes and locks",
                     details.c_str(),
                     {{"json", false}},
                     runHolders});
}

}  // namespace qorvel_cli

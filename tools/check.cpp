// qorvel check PATH: for each promise of the library, whether it holds for
// the processes that reach PATH, and what to change where it does not.
//
// Everything this command knows about file systems is the two tables below:
// what holds on each kind of file system (kKinds), and the settings a
// promise needs there (kRequirements). A finding on a file system changes a
// row, not the code.
#include <cstdio>
#include <string>
#include <vector>

#include "check.h"
#include "cli.h"

namespace qorvel_cli {
namespace {

enum class Promise { shareModes, locks, removal, append, freshBytes, partition };
constexpr size_t kPromiseCount = 6;

struct PromiseName {
    const char* id;    // in JSON
    const char* name;  // in text
};

const PromiseName kPromiseNames[kPromiseCount] = {
    {"share-modes", "share modes"},
    {"locks", "byte-range locks"},
    {"removal", "removal and rename of held files"},
    {"append", "the one-call append"},
    {"fresh-bytes", "fresh bytes under a lock"},
    {"partition", "a lock that survives a partition"},
};

// How far a promise reaches. The first two hold for every process that can
// reach the file; the others do not.
enum class Reach { everyProcess, acrossMachines, thisMachineOnly, none, unknown };

struct Verdict {
    Reach reach;
    const char* why;
};

struct KindRow {
    FileSystemKind kind;
    Verdict verdicts[kPromiseCount];  // in the order of Promise
    const char* advice;               // where a promise fails by the kind itself; or nullptr
};

// What holds on each kind of file system with the settings its promises
// need (kRequirements). "Measured" rows come from the cluster tests and
// docs/distributed.md; the others say they are not measured.
const KindRow kKinds[] = {
    {FileSystemKind::localDisk,
     {{Reach::everyProcess,
       "every process that reaches it runs on this machine, whose kernel "
       "keeps every handle's share mode"},
      {Reach::everyProcess, "this machine's kernel keeps them for every process"},
      {Reach::everyProcess, "a holder's share mode is seen by every process of this machine"},
      {Reach::everyProcess, "each text lands whole at the end of the file"},
      {Reach::everyProcess, "one page cache serves every process of the machine"},
      {Reach::everyProcess, "no network lies between the processes that reach it"}},
     nullptr},
    {FileSystemKind::memory,
     {{Reach::everyProcess,
       "the file lives in this machine's memory: every process that "
       "reaches it runs here, and this kernel keeps every share mode"},
      {Reach::everyProcess, "this machine's kernel keeps them for every process"},
      {Reach::everyProcess, "a holder's share mode is seen by every process of this machine"},
      {Reach::everyProcess, "each text lands whole at the end of the file"},
      {Reach::everyProcess, "one copy of the bytes serves every process of the machine"},
      {Reach::everyProcess, "no network lies between the processes that reach it"}},
     nullptr},
    {FileSystemKind::overlay,
     {{Reach::everyProcess,
       "for every process that reaches the file through this overlay "
       "mount: the layers' own directories, reached directly, hold other "
       "files as far as share modes and locks go"},
      {Reach::everyProcess, "this machine's kernel keeps them, on the overlay's file"},
      {Reach::everyProcess, "a holder's share mode is seen by every process of this machine"},
      {Reach::everyProcess, "each text lands whole at the end of the file"},
      {Reach::everyProcess, "one page cache serves every process of the machine"},
      {Reach::everyProcess, "no network lies between the processes that reach it"}},
     nullptr},
    {FileSystemKind::glusterfs,
     {{Reach::acrossMachines,
       "the bricks keep the library's locks for the clients of every "
       "machine (measured: 144 pairs of modes across two clients)"},
      {Reach::acrossMachines, "the bricks grant and refuse them for every client (measured)"},
      {Reach::acrossMachines,
       "a removal or rename meets the holders' share modes at the "
       "bricks (measured)"},
      {Reach::acrossMachines,
       "each append takes its turn on a lock the bricks grant to one "
       "client at a time and syncs before passing it on (measured: 0 "
       "torn, 0 lost lines across two clients)"},
      {Reach::acrossMachines,
       "a granted lock drops this client's cached pages of its range "
       "and asks the server the size, an unlock syncs what was "
       "written; with the client's own caches below off, 0 of 60 reads "
       "under a lock were stale (measured)"},
      {Reach::acrossMachines,
       "with client.strict-locks on, a client cut off for longer than "
       "the server waits does not reopen its files without their "
       "locks: its writes never land inside the lock the server gave "
       "another client, and its unlock or close reports their loss; how "
       "long the others wait for a lost holder's locks is the bricks' "
       "server.tcp-user-timeout (42 s by default)"}},
     "Reads outside a lock are fresh only on mounts with direct-io-mode=enable; under a "
     "lock the library makes them fresh itself."},
    {FileSystemKind::glusterBrick,
     {{Reach::none,
       "the volume's clients keep their share modes in the bricks' server "
       "processes, which never see those of processes working in the brick "
       "directory itself: those meet only each other"},
      {Reach::none,
       "locks taken here and locks taken through the volume's mounts do not "
       "meet"},
      {Reach::none, "a held file of the volume is removed here without a word"},
      {Reach::none, "appends here do not take the volume's turn"},
      {Reach::none,
       "the volume's clients cache what they read; writes here reach none of "
       "their caches"},
      {Reach::none, "the promises never meet the volume's clients at all"}},
     "Work through a mount of the volume (mount -t glusterfs SERVER:/VOLUME DIRECTORY), "
     "never in a brick directory."},
    {FileSystemKind::cephKernel,
     {{Reach::acrossMachines,
       "the metadata server keeps POSIX and OFD locks for every "
       "client (not measured with the kernel client)"},
      {Reach::acrossMachines, "the metadata server keeps them for every client (not measured)"},
      {Reach::acrossMachines,
       "a removal or rename meets the holders' share modes at the "
       "metadata server (not measured)"},
      {Reach::acrossMachines,
       "each append takes its turn on a lock the metadata server "
       "grants (not measured)"},
      {Reach::acrossMachines,
       "the metadata server's capabilities revoke a client's cached "
       "data before another writes (not measured)"},
      {Reach::unknown,
       "not measured: the metadata server frees an evicted client's locks "
       "after its session timeout; whether that client's writes then fail "
       "is not known here"}},
     nullptr},
    {FileSystemKind::cephFuse,
     {{Reach::acrossMachines,
       "the metadata server keeps the library's locks for every client "
       "(measured: 144 pairs of modes across two ceph-fuse clients)"},
      {Reach::acrossMachines,
       "the metadata server grants and refuses them for every client "
       "(measured)"},
      {Reach::acrossMachines,
       "a removal or rename meets the holders' share modes at the "
       "metadata server (measured)"},
      {Reach::acrossMachines,
       "each append takes its turn on a lock the metadata server "
       "grants (measured: 0 torn, 0 lost lines across two clients; "
       "slow where two machines append in turn)"},
      {Reach::acrossMachines,
       "a granted lock drops this client's cached pages of its range, "
       "which the client does not drop itself while another machine "
       "holds the file open for writing (measured)"},
      {Reach::unknown,
       "not measured: the metadata server evicts a client whose session goes "
       "unrenewed for session_timeout (60 s by default), frees its locks and "
       "blocklists it at the object stores, so its later writes should fail; "
       "an evicted client must be mounted again"}},
     "Reads outside a lock are fresh only with fuse_disable_pagecache = true in the [client] "
     "section of the machines' ceph.conf, which this program cannot read."},
    {FileSystemKind::nfs,
     {{Reach::acrossMachines,
       "the client sends the library's locks to the server (NFSv4 "
       "byte-range locks; NFSv3 through lockd); not measured"},
      {Reach::acrossMachines, "the server grants them for every client (not measured)"},
      {Reach::acrossMachines,
       "a removal or rename meets the holders' share modes at the "
       "server (not measured)"},
      {Reach::acrossMachines,
       "each append takes its turn on the server's lock (not "
       "measured)"},
      {Reach::acrossMachines,
       "the client writes back and revalidates its cache around "
       "locks (not measured)"},
      {Reach::unknown,
       "not measured: the server frees a lost client's locks when its lease "
       "ends (90 s by default)"}},
     nullptr},
    {FileSystemKind::smb,
     {{Reach::unknown,
       "the client sends the library's locks to the server as SMB locks; "
       "whether a server takes those far beyond the end of a file, where "
       "share modes live, is not tested"},
      {Reach::acrossMachines,
       "SMB byte-range locks, which the server enforces on every "
       "client (not measured)"},
      {Reach::unknown, "rests on the share-mode locks (above)"},
      {Reach::acrossMachines,
       "each append takes its turn on a lock the server grants (not "
       "measured)"},
      {Reach::acrossMachines,
       "the server breaks other clients' oplocks and leases before a "
       "write (not measured)"},
      {Reach::unknown, "not measured: the server frees a lost session's locks"}},
     nullptr},
    {FileSystemKind::windowsShare,
     {{Reach::acrossMachines, "the file server keeps every client's share modes"},
      {Reach::acrossMachines, "the file server keeps every client's locks"},
      {Reach::acrossMachines,
       "the file server refuses the removal of a file another client "
       "holds"},
      {Reach::acrossMachines, "the file server places each append at the end itself"},
      {Reach::acrossMachines,
       "the file server breaks other clients' oplocks and leases "
       "before a write"},
      {Reach::unknown,
       "depends on the file server (durable and persistent handles), which "
       "this client cannot ask"}},
     nullptr},
    {FileSystemKind::fuseOther,
     {{Reach::thisMachineOnly,
       "a FUSE file system that does not pass locks on to its server "
       "(sshfs does not; of others this program cannot tell) leaves them "
       "to this machine's kernel: processes of other machines (the "
       "server's own included) do not see them"},
      {Reach::thisMachineOnly, "kept by this machine's kernel only"},
      {Reach::thisMachineOnly, "only this machine's holders are seen"},
      {Reach::thisMachineOnly, "the append's turn is a lock of this machine only"},
      {Reach::thisMachineOnly,
       "another machine's writes reach this client only as the file "
       "system refreshes its caches"},
      {Reach::thisMachineOnly,
       "locks that never leave this machine cannot be lost to a "
       "partition, nor do they protect anything on another"}},
     "Keep every process that shares these files on this machine, or move the files to a "
     "file system whose server keeps locks (GlusterFS, with the settings this command "
     "names)."},
    {FileSystemKind::unknown,
     {{Reach::unknown, "this program does not know the file system"},
      {Reach::unknown, "this program does not know the file system"},
      {Reach::unknown, "this program does not know the file system"},
      {Reach::unknown, "this program does not know the file system"},
      {Reach::unknown, "this program does not know the file system"},
      {Reach::unknown, "this program does not know the file system"}},
     nullptr},
};

constexpr unsigned bit(Promise promise) { return 1u << static_cast<unsigned>(promise); }

// A setting a promise needs on a kind of file system. Where the client runs
// with another value, the promises named fall to `otherwise`; where the
// setting cannot be read, they cannot be told. `fix` makes them hold; in
// it, VOLUME stands for the volume's name.
struct Requirement {
    FileSystemKind kind;
    unsigned promises;      // bits of Promise
    const char* setting;    // as FileSystem::settings names it
    const char* holdsWith;  // the values under which they hold, separated by '|'
    Reach otherwise;
    const char* why;  // what goes wrong with another value
    const char* fix;
};

constexpr unsigned kSharingPromises =
    bit(Promise::shareModes) | bit(Promise::locks) | bit(Promise::removal) | bit(Promise::append);

const Requirement kRequirements[] = {
    {FileSystemKind::glusterfs, bit(Promise::freshBytes), "performance.quick-read", "off",
     Reach::none,
     "the client serves small files from its own cache for a second after another machine "
     "wrote them, under a lock too (measured: 20 of 20 reads stale)",
     "gluster volume set VOLUME performance.quick-read off"},
    {FileSystemKind::glusterfs, bit(Promise::freshBytes), "performance.stat-prefetch", "off",
     Reach::none,
     "the client answers a file's size from its own cache, so a file another machine grew "
     "reads short",
     "gluster volume set VOLUME performance.stat-prefetch off"},
    {FileSystemKind::glusterfs, bit(Promise::partition), "client.strict-locks", "on", Reach::none,
     "a client cut off for longer than the server waits reopens its files without their "
     "locks when it reconnects, and its writes, answered as done, land inside the lock the "
     "server gave another client meanwhile",
     "gluster volume set VOLUME client.strict-locks on"},
    {FileSystemKind::nfs, kSharingPromises | bit(Promise::freshBytes), "local_lock", "none",
     Reach::thisMachineOnly, "the client keeps locks on this machine instead of the server",
     "mount the export with -o local_lock=none (for NFSv3, without nolock)"},
    {FileSystemKind::smb, kSharingPromises, "nobrl", "off", Reach::thisMachineOnly,
     "mounted with nobrl, the client keeps byte-range locks on this machine",
     "mount the share without the option nobrl"},
    {FileSystemKind::smb, bit(Promise::freshBytes), "cache", "strict|none", Reach::none,
     "with cache=loose the client serves reads from its own cache",
     "mount the share with -o cache=strict"},
};

// ---- Judging ----------------------------------------------------------------------

struct Judgement {
    Reach reach = Reach::unknown;
    std::vector<std::string> reasons;
};

struct Report {
    FileSystem fileSystem;
    std::string description;
    Judgement promises[kPromiseCount];
    std::vector<std::string> fixes;  // commands or steps, in order, each once
    std::string advice;
};

bool holds(Reach reach) { return reach == Reach::everyProcess || reach == Reach::acrossMachines; }

bool valueAllowed(const std::string& value, const std::string& allowed) {
    size_t from = 0;
    while (true) {
        size_t bar = allowed.find('|', from);
        size_t end = bar == std::string::npos ? allowed.size() : bar;
        if (allowed.compare(from, end - from, value) == 0 && end - from == value.size())
            return true;
        if (bar == std::string::npos) return false;
        from = bar + 1;
    }
}

// VOLUME in a command or an advice stands for the volume's name, where known.
std::string withVolume(const std::string& text, const std::string& volume) {
    std::string result = text;
    size_t at = result.find("VOLUME");
    if (at != std::string::npos && !volume.empty()) result.replace(at, 6, volume);
    return result;
}

void addFix(Report* report, const std::string& fix) {
    for (const std::string& known : report->fixes) {
        if (known == fix) return;
    }
    report->fixes.push_back(fix);
}

// A setting with another value beats one that cannot be read.
Reach weaker(Reach current, Reach failure) {
    if (!holds(current)) return current == Reach::unknown ? failure : current;
    return failure;
}

void applyRequirement(const Requirement& requirement, Report* report) {
    const FileSystem& fileSystem = report->fileSystem;
    auto found = fileSystem.settings.find(requirement.setting);
    std::string setting = requirement.setting;
    for (size_t i = 0; i < kPromiseCount; ++i) {
        if ((requirement.promises & (1u << i)) == 0) continue;
        Judgement& judgement = report->promises[i];
        if (found != fileSystem.settings.end() &&
            valueAllowed(found->second, requirement.holdsWith)) {
            judgement.reasons.push_back(setting + " is " + found->second);
            continue;
        }
        if (found == fileSystem.settings.end()) {
            judgement.reach = weaker(judgement.reach, Reach::unknown);
            judgement.reasons.push_back(setting + " could not be read, and unless it is " +
                                        requirement.holdsWith + ", " + requirement.why);
        } else {
            judgement.reach = weaker(judgement.reach, requirement.otherwise);
            judgement.reasons.push_back(setting + " is " + found->second + ": " + requirement.why);
        }
        addFix(report, withVolume(requirement.fix, fileSystem.volume));
    }
}

std::string describe(const FileSystem& fs) {
    auto from = [&](const std::string& what) { return what.empty() ? "" : " from " + what; };
    switch (fs.kind) {
        case FileSystemKind::localDisk: return "local disk (" + fs.type + ")";
        case FileSystemKind::memory: return "memory of this machine (" + fs.type + ")";
        case FileSystemKind::overlay:
            return "overlay of this machine's directories (" + fs.type + ")";
        case FileSystemKind::glusterfs:
            return "GlusterFS volume " + fs.volume + from(fs.server) + ", FUSE client";
        case FileSystemKind::glusterBrick:
            return "brick directory " + fs.source + " of " +
                   (fs.volume.empty() ? "a GlusterFS volume"
                                      : "the GlusterFS volume " + fs.volume) +
                   ", on a local disk (" + fs.type + ")";
        case FileSystemKind::cephKernel: return "CephFS" + from(fs.source) + ", kernel client";
        case FileSystemKind::cephFuse:
            return "CephFS" + from(fs.source) + ", FUSE client (ceph-fuse)";
        case FileSystemKind::nfs:
            return "NFS" + (fs.version.empty() ? "" : " version " + fs.version) + from(fs.source);
        case FileSystemKind::smb: return "SMB/CIFS share " + fs.source + ", kernel client";
        case FileSystemKind::windowsShare: return "SMB share " + fs.source + " (" + fs.type + ")";
        case FileSystemKind::fuseOther:
            // "fuse.SUBTYPE": the subtype names the file system.
            return "FUSE file system " +
                   (fs.type.compare(0, 5, "fuse.") == 0 ? fs.type.substr(5) : fs.type) +
                   from(fs.source);
        case FileSystemKind::unknown: break;
    }
    return "unknown file system (" + fs.type + ")";
}

Report judge(const FileSystem& fileSystem) {
    Report report;
    report.fileSystem = fileSystem;
    report.description = describe(fileSystem);
    for (const KindRow& row : kKinds) {
        if (row.kind != fileSystem.kind) continue;
        for (size_t i = 0; i < kPromiseCount; ++i) {
            report.promises[i].reach = row.verdicts[i].reach;
            report.promises[i].reasons.push_back(row.verdicts[i].why);
        }
        if (row.advice != nullptr) report.advice = withVolume(row.advice, fileSystem.volume);
    }
    for (const Requirement& requirement : kRequirements) {
        if (requirement.kind == fileSystem.kind) applyRequirement(requirement, &report);
    }
    return report;
}

bool allHold(const Report& report) {
    for (const Judgement& judgement : report.promises) {
        if (!holds(judgement.reach)) return false;
    }
    return true;
}

// ---- Output -----------------------------------------------------------------------

const char* reachText(Reach reach) {
    switch (reach) {
        case Reach::everyProcess: return "holds for every process";
        case Reach::acrossMachines: return "holds across machines";
        case Reach::thisMachineOnly: return "holds within this machine only";
        case Reach::none: return "does not hold";
        case Reach::unknown: break;
    }
    return "cannot tell";
}

const char* reachId(Reach reach) {
    switch (reach) {
        case Reach::everyProcess: return "every-process";
        case Reach::acrossMachines: return "across-machines";
        case Reach::thisMachineOnly: return "this-machine-only";
        case Reach::none: return "no";
        case Reach::unknown: break;
    }
    return "unknown";
}

bool isShared(FileSystemKind kind) {
    return kind != FileSystemKind::localDisk && kind != FileSystemKind::memory &&
           kind != FileSystemKind::overlay && kind != FileSystemKind::glusterBrick;
}

const char kOtherClients[] =
    "Other clients may be mounted or set up differently: this is what this client sees.";

std::string textReport(const std::string& path, const Report& report) {
    const FileSystem& fs = report.fileSystem;
    std::string text = quoted(path) + ": " + report.description + "\n";
    if (!fs.mountPoint.empty()) text += "mounted at " + quoted(fs.mountPoint) + "\n";
    if (!fs.settingsSource.empty()) text += "settings read from " + fs.settingsSource + "\n";
    std::string settings;
    for (const auto& setting : fs.settings) {
        settings += (settings.empty() ? "" : ", ") + setting.first + " " + setting.second;
    }
    if (!settings.empty()) text += "settings: " + settings + "\n";
    for (const std::string& sentence : fs.unread) text += "not seen: " + sentence + "\n";
    text += "\n";
    for (size_t i = 0; i < kPromiseCount; ++i) {
        const Judgement& judgement = report.promises[i];
        text += std::string(kPromiseNames[i].name) + ": " + reachText(judgement.reach) + "\n";
        for (const std::string& reason : judgement.reasons) text += "  " + reason + "\n";
    }
    if (isShared(fs.kind)) text += std::string("\n") + kOtherClients + "\n";
    if (!report.advice.empty()) text += "\n" + report.advice + "\n";
    if (!report.fixes.empty()) {
        text += std::string("\nTo make ") + (fs.kind == FileSystemKind::glusterfs
                                                 ? "them hold, on a machine of the volume's "
                                                   "pool (the clients take it up at once):\n"
                                                 : "them hold:\n");
        for (const std::string& fix : report.fixes) text += "  " + fix + "\n";
    }
    return text;
}

std::string jsonList(const std::vector<std::string>& items) {
    std::string text = "[";
    for (size_t i = 0; i < items.size(); ++i) text += (i ? ", " : "") + jsonString(items[i]);
    return text + "]";
}

std::string jsonFileSystem(const Report& report) {
    const FileSystem& fs = report.fileSystem;
    auto field = [](const char* name, const std::string& value) {
        return std::string(", \"") + name + "\": " + (value.empty() ? "null" : jsonString(value));
    };
    std::string text = "{\"description\": " + jsonString(report.description) +
                       field("type", fs.type) + field("source", fs.source) +
                       field("mount_point", fs.mountPoint) + field("server", fs.server) +
                       field("volume", fs.volume) + field("version", fs.version) +
                       ", \"shared\": " + (isShared(fs.kind) ? "true" : "false") + "}";
    return text;
}

std::string jsonReport(const std::string& path, const Report& report) {
    const FileSystem& fs = report.fileSystem;
    std::string text = "{\"path\": " + jsonString(path) +
                       ",\n \"file_system\": " + jsonFileSystem(report) + ",\n \"settings\": {";
    bool first = true;
    for (const auto& setting : fs.settings) {
        text += std::string(first ? "" : ", ") + jsonString(setting.first) + ": " +
                jsonString(setting.second);
        first = false;
    }
    text += "},\n \"settings_source\": " +
            (fs.settingsSource.empty() ? std::string("null") : jsonString(fs.settingsSource)) +
            ",\n \"unread\": " + jsonList(fs.unread) + ",\n \"promises\": [";
    for (size_t i = 0; i < kPromiseCount; ++i) {
        const Judgement& judgement = report.promises[i];
        text += std::string(i ? ",\n  " : "\n  ") + "{\"promise\": \"" + kPromiseNames[i].id +
                "\", \"reach\": \"" + reachId(judgement.reach) +
                "\", \"holds\": " + (holds(judgement.reach) ? "true" : "false") +
                ", \"why\": " + jsonList(judgement.reasons) + "}";
    }
    text += "],\n \"fixes\": " + jsonList(report.fixes) + ",\n \"advice\": " +
            (report.advice.empty() ? std::string("null") : jsonString(report.advice)) +
            ",\n \"all_hold\": " + (allHold(report) ? "true" : "false") + "}\n";
    return text;
}

int runCheck(const Command& self, const Arguments& arguments) {
    if (arguments.positionals().size() != 1) return usageError(self, "needs exactly one PATH");
    const std::string& path = arguments.positionals()[0];
    FileSystem fileSystem;
    std::string error;
    if (!inspectFileSystem(path, &fileSystem, &error)) {
        return usageError(self, "cannot look at " + quoted(path, true) + ": " + error);
    }
    Report report = judge(fileSystem);
    std::string text = arguments.has("json") ? jsonReport(path, report) : textReport(path, report);
    int exitCode = printResult("check", text);
    if (exitCode != kExitOk) return exitCode;
    return allHold(report) ? kExitOk : kExitFailed;
}

}  // namespace

void addCheckCommand(std::vector<Command>* list) {
    static const std::string details =
        std::string(
            "\n"
            "Names the file system under PATH and says, for each promise of the library\n"
            "(share modes, byte-range locks, removal and rename of held files, the\n"
            "one-call append, fresh bytes under a lock, a lock that survives a\n"
            "partition), whether it holds for every process (a file system of this\n"
            "machine alone), across machines, within this machine only, or not, and\n"
            "why. Where a setting of the client decides, it is read and named, and the\n"
            "commands that make the promise hold are printed. Nothing is changed.\n"
            "\n") +
        kCheckPlatformHelp +
        "\n"
        "Exit status: 0 when every promise holds for every process this client can\n"
        "see reaching PATH, 1 when one does not (or cannot be told), 2 for a wrong\n"
        "command line or a PATH that does not exist or cannot be looked at.\n"
        "\n"
        "Options:\n"
        "  --json   one JSON object: path, file_system, settings, settings_source,\n"
        "           unread, promises (promise, reach, holds, why), fixes, advice,\n"
        "           all_hold\n";
    list->push_back({"check",
                     "check PATH [--json]",
                     "Say which promises hold on PATH's file system, and how to make them",
                     details.c_str(),
                     {{"json", false}},
                     runCheck});
}

}  // namespace qorvel_cli

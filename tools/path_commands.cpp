// Subcommands on paths: stat, rm, mv, mkdir, rmdir, chmod.
#include <string>
#include <vector>

#include "cli.h"

namespace qorvel_cli {
namespace {

bool writeLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return writeOut(text) && flushOut();
}

int runStat(const Command& self, const Arguments& arguments) {
    if (arguments.positionals().size() != 1) return usageError(self, "needs exactly one PATH");
    const std::string& path = arguments.positionals()[0];
    const char* name = path.c_str();

    int16_t exists = 0;
    cFileStatus status = cFileIsExist(name, &exists);
    if (status != CFILE_OK) return reportStatus("stat: " + quoted(path) + ": cFileIsExist", status);

    std::string size = "-", readOnly = "-", seconds = "-", date = "-";
    int exitCode = kExitOk;
    uint32_t bytes = 0;
    status = cFileGetSize(name, &bytes);
    if (status == CFILE_OK) {
        size = std::to_string(bytes);
    } else {
        exitCode = reportStatus("stat: " + quoted(path) + ": cFileGetSize", status);
    }
    // The two flag exports only add noise when the path is missing: the size
    // query has said why already.
    if (exists != 0) {
        int16_t flag = 0;
        if (cFileGetAttribute(name, CFILE_ATTR_READONLY, &flag) == 0) {
            readOnly = std::to_string(flag);
        } else {
            exitCode = reportFlagFailure("stat: " + quoted(path), "cFileGetAttribute");
        }
        int32_t time = 0;
        if (cFileGetTime(name, CFILE_ATTR_READONLY, &time) == 0) {
            seconds = std::to_string(time);
            // -1 stands for a time the 32-bit count cannot hold.
            if (time != -1) date = localDate(time);
        } else {
            exitCode = reportFlagFailure("stat: " + quoted(path), "cFileGetTime");
        }
    } else {
        exitCode = kExitFailed;
    }
    if (!writeLines({"exists: " + std::to_string(exists), "size: " + size, "read-only: " + readOnly,
                     "time: " + seconds, "local-time: " + date})) {
        return reportOutputFailure("stat");
    }
    return exitCode;
}

// The four path operations share their shape: one path (two for mv), one
// export, silence on success.
int runOnPath(const Command& self, const Arguments& arguments,
              cFileStatus(QORVEL_CALL* operation)(const char*)) {
    if (arguments.positionals().size() != 1) return usageError(self, "needs exactly one PATH");
    const std::string& path = arguments.positionals()[0];
    cFileStatus status = operation(path.c_str());
    return status == CFILE_OK ? kExitOk
                              : reportStatus(std::string(self.name) + ": " + quoted(path), status);
}

int runRemove(const Command& self, const Arguments& arguments) {
    return runOnPath(self, arguments, cFileRemove);
}

int runRename(const Command& self, const Arguments& arguments) {
    if (arguments.positionals().size() != 2) return usageError(self, "needs FROM and TO");
    const std::string& from = arguments.positionals()[0];
    const std::string& to = arguments.positionals()[1];
    cFileStatus status = cFileRename(from.c_str(), to.c_str());
    return status == CFILE_OK ? kExitOk
                              : reportStatus("mv: " + quoted(from) + " -> " + quoted(to), status);
}

int runMakeDirectory(const Command& self, const Arguments& arguments) {
    return runOnPath(self, arguments, cFileCreateDir);
}

int runRemoveDirectory(const Command& self, const Arguments& arguments) {
    return runOnPath(self, arguments, cFileRemoveDir);
}

int runChangeMode(const Command& self, const Arguments& arguments) {
    bool readOnly = arguments.has("read-only");
    if (readOnly == arguments.has("writable")) {
        return usageError(self, "give exactly one of --read-only and --writable");
    }
    if (arguments.positionals().size() != 1) return usageError(self, "needs exactly one PATH");
    const std::string& path = arguments.positionals()[0];
    if (cFileSetAttribute(path.c_str(), CFILE_ATTR_READONLY, readOnly ? 1 : 0) != 0) {
        return reportFlagFailure("chmod: " + quoted(path), "cFileSetAttribute");
    }
    return kExitOk;
}

}  // namespace

void addPathCommands(std::vector<Command>* list) {
    list->push_back({"stat",
                     "stat PATH",
                     "Show whether PATH exists, its size, read-only state and time",
                     "\n"
                     "Prints five lines:\n"
                     "  exists: 0 or 1                 (cFileIsExist)\n"
                     "  size: BYTES                    (cFileGetSize; 0 for a directory)\n"
                     "  read-only: 0 or 1              (cFileGetAttribute)\n"
                     "  time: SECONDS                  (cFileGetTime: seconds since 1970, UTC)\n"
                     "  local-time: YYYY-MM-DD HH:MM:SS  (the same time in local time)\n"
                     "A value that cannot be had is '-', its failure goes to standard error, and\n"
                     "the exit status is 1; a missing PATH is a failure.\n",
                     {},
                     runStat});
    list->push_back({"rm",
                     "rm PATH",
                     "Remove a file",
                     "\nRemoves the file with cFileRemove. A read-only file, a directory and\n"
                     "a file that another handle holds open are refused.\n",
                     {},
                     runRemove});
    list->push_back({"mv",
                     "mv FROM TO",
                     "Rename or move a file or directory",
                     "\nRenames FROM to TO with cFileRename. An existing TO is never replaced:\n"
                     "the rename is refused (0x00B70307, the name exists already).\n",
                     {},
                     runRename});
    list->push_back({"mkdir",
                     "mkdir PATH",
                     "Create a directory",
                     "\nCreates the directory with cFileCreateDir; its parent must exist.\n",
                     {},
                     runMakeDirectory});
    list->push_back({"rmdir",
                     "rmdir PATH",
                     "Remove an empty directory",
                     "\nRemoves the directory with cFileRemoveDir; it must be empty and not\n"
                     "read-only.\n",
                     {},
                     runRemoveDirectory});
    list->push_back({"chmod",
                     "chmod --read-only|--writable PATH",
                     "Set or clear the read-only state of PATH",
                     "\n"
                     "Sets (--read-only) or clears (--writable) the read-only state with\n"
                     "cFileSetAttribute. That export answers 0 or 1, no status word. A\n"
                     "read-only file cannot be written or removed; a read-only directory\n"
                     "cannot be removed, but files inside it can be made and removed.\n",
                     {{"read-only", false}, {"writable", false}},
                     runChangeMode});
}

}  // namespace qorvel_cli

// Subcommands that ask questions: df, pwd, tmpdir, version, status.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"

namespace qorvel_cli {
namespace {

const char kVersionExplanation[] =
    "The release is QORVEL_VERSION_MAJOR.MINOR.PATCH of qorvel.h; its major number\n"
    "is also the shared library's (libqorvel.so.1, qorvel.dll's interface). The\n"
    "nine words of cFileVersion do not count releases: they are constants of the\n"
    "interface, 0 3 202 6 0 0 0 1 5 in every release, by which old hosts recognise\n"
    "it. A host that needs the release reads the macros when it is built.\n";

int runDiskFree(const Command& self, const Arguments& arguments) {
    if (arguments.positionals().size() != 1) return usageError(self, "needs exactly one PATH");
    const std::string& path = arguments.positionals()[0];
    uint32_t freeBytes = 0;
    cFileStatus status = cFileGetDiskFree(path.c_str(), &freeBytes);
    // The export may find the free space and still answer the failure of its
    // first look at the path. A script reads standard output only on success,
    // so the figure found then goes with the failure, to standard error.
    if (status != CFILE_OK) {
        reportStatus("df: " + quoted(path), status);
        if (freeBytes != 0) {
            reportFailure("df: " + quoted(path),
                          "its volume has " + std::to_string(freeBytes) + " free bytes");
        }
        return kExitFailed;
    }
    return printResult("df", std::to_string(freeBytes) + "\n");
}

// pwd and tmpdir: a directory into a buffer of CFILE_DIR_BUFFER_SIZE bytes.
int printDirectory(const Command& self, const Arguments& arguments, cFileStatus (*query)(char*),
                   const char* exportName) {
    if (!arguments.positionals().empty()) return usageError(self, "takes no arguments");
    // One byte more than the export may fill, and all NUL: the text always ends.
    char buffer[CFILE_DIR_BUFFER_SIZE + 1] = {};
    cFileStatus status = query(buffer);
    if (status != CFILE_OK) return reportStatus(std::string(self.name) + ": " + exportName, status);
    return printResult(self.name, std::string(buffer) + "\n");
}

int runCurrentDirectory(const Command& self, const Arguments& arguments) {
    return printDirectory(self, arguments, cFileGetCurrentDir, "cFileGetCurrentDir");
}

int runTempDirectory(const Command& self, const Arguments& arguments) {
    return printDirectory(self, arguments, cFileGetTempDir, "cFileGetTempDir");
}

int runVersion(const Command& self, const Arguments& arguments) {
    if (!arguments.positionals().empty()) return usageError(self, "takes no arguments");
    cFileVersionInfo info;
    cFileVersion(&info);
    std::string words;
    for (uint16_t word : info.word) words += (words.empty() ? "" : " ") + std::to_string(word);
    std::string text = words + "\n";
    if (!arguments.has("words")) {
        text = releaseLine() + "\n" + "cFileVersion: " + words + "\n" + kVersionExplanation;
    }
    return printResult("version", text);
}

// A zero code means success only in a word that is zero as a whole.
std::string codeLine(cFileStatus word) {
    uint16_t code = CFILE_STATUS_CODE(word);
    std::string line = "code: " + hexWord(code, 4) + " ";
    const char* name = cFileStatusCodeName(code);
    if (code == CFILE_OK && word != CFILE_OK) {
        return line + "none (a failing word without a code is not an answer of the library)\n";
    }
    if (name == nullptr) return line + "unknown (not a code of the library)\n";
    return line + name + " (" + cFileStatusCodeMeaning(code) + ")\n";
}

std::string errorLine(uint16_t error) {
    const char* name = cFileStatusErrorName(error);
    std::string line = "error: " + std::to_string(error) + " ";
    if (name == nullptr) return line + "unknown (no name known)\n";
    return line + name + " (" + cFileStatusErrorMeaning(error) + ")\n";
}

int runStatus(const Command& self, const Arguments& arguments) {
    if (arguments.positionals().size() != 1) return usageError(self, "needs exactly one WORD");
    uint32_t word = 0;
    if (!parseUnsigned32(arguments.positionals()[0], &word)) {
        return usageError(self, "WORD is a 32-bit number, decimal or 0x-hexadecimal");
    }
    return printResult("status", "status: " + hexWord(word, 8) + "\n" + codeLine(word) +
                                     errorLine(CFILE_STATUS_ERROR(word)));
}

}  // namespace

void addQueryCommands(std::vector<Command>* list) {
    list->push_back(
        {"df",
         "df PATH",
         "Print the free bytes of the volume holding PATH",
         "\n"
         "Prints the free space that cFileGetDiskFree reports, in bytes. The interface\n"
         "counts in 32 bits: 4294967295 means at least that much. A failure prints\n"
         "nothing on standard output; when the export still found the free space of\n"
         "the volume (a missing path is measured where it would be), standard error\n"
         "says so beside the status.\n",
         {},
         runDiskFree});
    list->push_back({"pwd",
                     "pwd",
                     "Print the current directory",
                     "\nPrints the directory that cFileGetCurrentDir answers.\n",
                     {},
                     runCurrentDirectory});
    list->push_back({"tmpdir",
                     "tmpdir",
                     "Print the directory for temporary files",
                     "\nPrints the directory that cFileGetTempDir answers; it ends with a\n"
                     "separator.\n",
                     {},
                     runTempDirectory});
    list->push_back({"version",
                     "version [--words]",
                     "Print the release and the nine version words",
                     "\n"
                     "Prints the release ('qorvel 1.0.0', as qorvel --version does), the nine\n"
                     "words that cFileVersion fills, and how the two relate: the words are\n"
                     "constants of the interface (0 3 202 6 0 0 0 1 5 in every release), the\n"
                     "release is QORVEL_VERSION_MAJOR.MINOR.PATCH of qorvel.h.\n"
                     "\n"
                     "Options:\n"
                     "  --words   print only the nine words, on one line\n",
                     {{"words", false}},
                     runVersion});
    list->push_back({"status",
                     "status WORD",
                     "Take a status word apart",
                     "\n"
                     "Prints the word, its library code (bits 0-15) with name and meaning, and\n"
                     "its platform error (bits 16-31), a Win32 error number on every platform,\n"
                     "with its name. WORD is decimal or 0x-hexadecimal. Example:\n"
                     "  $ qorvel status 0x00020304\n"
                     "  status: 0x00020304\n"
                     "  code: 0x0304 CFILE_ERR_NOT_FOUND (the file, or a directory on its path, "
                     "does not exist)\n"
                     "  error: 2 ERROR_FILE_NOT_FOUND (the file does not exist)\n",
                     {},
                     runStatus});
}

}  // namespace qorvel_cli

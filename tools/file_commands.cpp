// Subcommands on file contents: log, append, cat, open, lock.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli.h"

namespace qorvel_cli {
namespace {

// Read access, and every other open may read and write: the program never
// keeps another host out of a file it only looks at.
constexpr cFileMode kReadSharingAll = CFILE_ACCESS_READ | CFILE_SHARE_READWRITE;
constexpr cFileMode kWriteSharingAll = CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE;
constexpr uint32_t kReadBlock = 64 * 1024;

const char* textOption(const Arguments& arguments, const char* name) {
    const std::string* text = arguments.find(name);
    return text != nullptr ? text->c_str() : nullptr;
}

bool numberOption(const Arguments& arguments, const char* name, int64_t minimum, int64_t maximum,
                  int64_t* value, std::string* error) {
    *value = 0;
    if (!arguments.has(name)) return true;
    if (parseSigned(arguments.value(name), minimum, maximum, value)) return true;
    *error = "--" + std::string(name) + " takes a whole number from " + std::to_string(minimum) +
             " to " + std::to_string(maximum);
    return false;
}

size_t textLength(const char* text) { return text != nullptr ? std::strlen(text) : 0; }

// Room for the longest line the record can give: the texts, the clock stamp
// (a year piece of up to five digits), the tags and the two numbers.
size_t lineCapacity(const char* stamp, const cFileNftRecord& record) {
    const char* texts[] = {record.eText, record.uText, record.aText, record.vText,
                           record.fText, record.pText, record.tText};
    size_t capacity = textLength(stamp) + 256;
    for (const char* text : texts) capacity += textLength(text);
    return capacity;
}

int runLog(const Command& self, const Arguments& arguments) {
    if (arguments.positionals().size() != 1) return usageError(self, "needs exactly one FILE");
    const std::string& path = arguments.positionals()[0];

    int64_t severity = 0, value = 0, result = 0;
    std::string error;
    if (!numberOption(arguments, "severity", INT16_MIN, INT16_MAX, &severity, &error) ||
        !numberOption(arguments, "value", INT32_MIN, INT32_MAX, &value, &error) ||
        !numberOption(arguments, "result", INT16_MIN, INT16_MAX, &result, &error)) {
        return usageError(self, error);
    }
    cFileNftRecord record;
    record.severity = static_cast<int16_t>(severity);
    record.eText = textOption(arguments, "event");
    record.uText = textOption(arguments, "user");
    record.aText = textOption(arguments, "app");
    record.vText = textOption(arguments, "version-text");
    record.fText = textOption(arguments, "function");
    record.oValue = static_cast<int32_t>(value);
    record.pText = textOption(arguments, "phase");
    record.rValue = static_cast<int16_t>(result);
    record.tText = textOption(arguments, "trace");
    const char* stamp = textOption(arguments, "stamp");

    std::vector<char> line(lineCapacity(stamp, record), '\0');
    cFileStatus status = cFileBuildNftBuffer(stamp, &record, line.data());
    if (status != CFILE_OK) return reportStatus("log: cFileBuildNftBuffer", status);
    status = cFileWriteToFile(path.c_str(), line.data());
    if (status != CFILE_OK) return reportStatus("log: " + quoted(path), status);

    // The file gets the record's CR LF; the terminal gets a plain line end.
    std::string shown = line.data();
    if (shown.size() >= 2 && shown.compare(shown.size() - 2, 2, "\r\n") == 0) {
        shown.resize(shown.size() - 2);
    }
    return printResult("log", shown + "\n");
}

bool readStandardInput(std::string* text) {
    char block[kReadBlock];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, stdin)) > 0) text->append(block, got);
    return !std::ferror(stdin);
}

int runAppend(const Command& self, const Arguments& arguments) {
    if (arguments.positionals().size() != 2) return usageError(self, "needs FILE and TEXT");
    const std::string& path = arguments.positionals()[0];
    std::string text = arguments.positionals()[1];
    if (text == "-") {
        text.clear();
        if (!readStandardInput(&text)) return reportFailure("append", "cannot read standard input");
        // The library takes a NUL-terminated text: a NUL byte would end it
        // early and silently drop the rest, so nothing is written at all.
        size_t nul = text.find('\0');
        if (nul != std::string::npos) {
            return reportFailure("append", "standard input holds a NUL byte at offset " +
                                               std::to_string(nul) +
                                               ", which a text cannot carry; nothing was written");
        }
    }
    if (arguments.has("crlf")) text += "\r\n";
    cFileStatus status = cFileWriteToFile(path.c_str(), text.c_str());
    if (status != CFILE_OK) return reportStatus("append: " + quoted(path), status);
    return kExitOk;
}

// Copies the file to standard output block by block; answers the exit code.
int copyToOutput(const std::string& path, cFileHandle handle) {
    std::vector<char> block(kReadBlock);
    for (;;) {
        uint32_t got = 0;
        cFileStatus status = cFileRead(handle, block.data(), kReadBlock, &got);
        if (!writeOut(block.data(), got)) return reportOutputFailure("cat");
        if (status != CFILE_OK) return reportStatus("cat: " + quoted(path) + ": cFileRead", status);
        if (got == 0) break;
    }
    if (!flushOut()) return reportOutputFailure("cat");
    return kExitOk;
}

int runCat(const Command& self, const Arguments& arguments) {
    if (arguments.positionals().size() != 1) return usageError(self, "needs exactly one FILE");
    const std::string& path = arguments.positionals()[0];
    cFileHandle handle = CFILE_INVALID_HANDLE;
    cFileStatus status = cFileOpen(path.c_str(), kReadSharingAll, &handle);
    if (status != CFILE_OK) return reportStatus("cat: " + quoted(path), status);
    int exitCode = copyToOutput(path, handle);
    status = cFileClose(handle);
    if (status != CFILE_OK && exitCode == kExitOk)
        return reportStatus("cat: " + quoted(path) + ": cFileClose", status);
    return exitCode;
}

// Blocks until standard input delivers a line or ends.
void waitForInput() {
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') {}
}

int holdLock(const std::string& path, cFileHandle handle, uint32_t start, uint32_t length,
             const Arguments& arguments, uint32_t seconds) {
    std::string range = std::to_string(start) + " " + std::to_string(length);
    cFileStatus status = cFileLock(handle, start, length);
    if (status != CFILE_OK)
        return reportStatus("lock: " + quoted(path) + ": cFileLock " + range, status);
    if (!writeOut("locked " + range + "\n") || !flushOut()) {
        cFileUnlock(handle, start, length);
        return reportOutputFailure("lock");
    }
    if (arguments.has("wait")) {
        waitForInput();
    } else {
        sleepSeconds(seconds);
    }
    status = cFileUnlock(handle, start, length);
    if (status != CFILE_OK)
        return reportStatus("lock: " + quoted(path) + ": cFileUnlock " + range, status);
    return printResult("lock", "unlocked " + range + "\n");
}

int runLock(const Command& self, const Arguments& arguments) {
    const std::vector<std::string>& words = arguments.positionals();
    if (words.size() != 3) return usageError(self, "needs FILE, START and LENGTH");
    uint32_t start = 0, length = 0, seconds = 0;
    if (!parseUnsigned32(words[1], &start) || !parseUnsigned32(words[2], &length)) {
        return usageError(self, "START and LENGTH are numbers from 0 to 4294967295");
    }
    if (arguments.has("hold") && !parseUnsigned32(arguments.value("hold"), &seconds)) {
        return usageError(self, "--hold takes a number of seconds");
    }
    if (arguments.has("hold") && arguments.has("wait")) {
        return usageError(self, "--hold and --wait exclude each other");
    }
    const std::string& path = words[0];
    cFileHandle handle = CFILE_INVALID_HANDLE;
    cFileStatus status = cFileOpen(path.c_str(), kReadSharingAll, &handle);
    if (status != CFILE_OK) return reportStatus("lock: " + quoted(path), status);
    int exitCode = holdLock(path, handle, start, length, arguments, seconds);
    status = cFileClose(handle);
    if (status != CFILE_OK && exitCode == kExitOk)
        return reportStatus("lock: " + quoted(path) + ": cFileClose", status);
    return exitCode;
}

struct ModeName {
    const char* name;
    cFileMode bits;
    bool access;  // an access word; otherwise a sharing word
};

// The readable names of the mode word's bits. "deny-X" names what the others
// may not do, "share-X" what they may. An access name alone lets the others
// read and write, as the program's own opens do: keeping them out is a
// choice that is named (deny-all), never a surprise of a short command line.
constexpr ModeName kModeNames[] = {
    {"read", CFILE_ACCESS_READ, true},
    {"write", CFILE_ACCESS_WRITE, true},
    {"read-write", CFILE_ACCESS_READWRITE, true},
    {"share-read", CFILE_SHARE_READ, false},
    {"share-write", CFILE_SHARE_WRITE, false},
    {"share-read-write", CFILE_SHARE_READWRITE, false},
    {"deny-write", CFILE_SHARE_READ, false},
    {"deny-read", CFILE_SHARE_WRITE, false},
    {"deny-none", CFILE_SHARE_READWRITE, false},
    {"deny-all", 0, false},
};

const ModeName* findModeName(const std::string& name) {
    for (const ModeName& entry : kModeNames) {
        if (name == entry.name) return &entry;
    }
    return nullptr;
}

// A mode word as a number (any 16-bit word: the library judges it) or as
// one access name and at most one sharing name, joined by commas.
bool parseMode(const std::string& text, cFileMode* mode, std::string* error) {
    uint32_t number = 0;
    if (!text.empty() && text[0] >= '0' && text[0] <= '9') {
        if (parseUnsigned32(text, &number) && number <= 0xFFFF) {
            *mode = static_cast<cFileMode>(number);
            return true;
        }
        *error = "--mode takes a 16-bit word (0 to 0xFFFF) or names such as read,deny-write";
        return false;
    }
    int accessWords = 0, sharingWords = 0;
    cFileMode bits = 0;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        std::string word =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const ModeName* entry = findModeName(word);
        if (entry == nullptr) {
            *error = "--mode: unknown name '" + word +
                     "' (read, write, read-write; share-read, share-write, share-read-write, "
                     "deny-write, deny-read, deny-none, deny-all)";
            return false;
        }
        (entry->access ? accessWords : sharingWords) += 1;
        bits = static_cast<cFileMode>(bits | entry->bits);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (accessWords != 1 || sharingWords > 1) {
        *error =
            "--mode names exactly one access (read, write, read-write) and at most one sharing "
            "word";
        return false;
    }
    if (sharingWords == 0) bits = static_cast<cFileMode>(bits | CFILE_SHARE_READWRITE);
    *mode = bits;
    return true;
}

int runOpen(const Command& self, const Arguments& arguments) {
    if (arguments.positionals().size() != 1) return usageError(self, "needs exactly one FILE");
    // cFileCreate refuses the read bit, so a new file is opened for writing.
    cFileMode mode = arguments.has("create") ? kWriteSharingAll : kReadSharingAll;
    std::string error;
    if (arguments.has("mode") && !parseMode(arguments.value("mode"), &mode, &error)) {
        return usageError(self, error);
    }
    uint32_t seconds = 0;
    if (arguments.has("hold") && !parseUnsigned32(arguments.value("hold"), &seconds)) {
        return usageError(self, "--hold takes a number of seconds");
    }
    if (arguments.has("hold") && arguments.has("wait")) {
        return usageError(self, "--hold and --wait exclude each other");
    }
    const std::string& path = arguments.positionals()[0];
    cFileHandle handle = CFILE_INVALID_HANDLE;
    cFileStatus status = arguments.has("create") ? cFileCreate(path.c_str(), mode, 0, &handle)
                                                 : cFileOpen(path.c_str(), mode, &handle);
    if (status != CFILE_OK)
        return reportStatus("open: " + quoted(path) + ": mode " + hexWord(mode, 4), status);
    int exitCode = kExitOk;
    if (!writeOut("opened mode " + hexWord(mode, 4) + "\n") || !flushOut()) {
        exitCode = reportOutputFailure("open");
    } else if (arguments.has("wait")) {
        waitForInput();
    } else {
        sleepSeconds(seconds);
    }
    status = cFileClose(handle);
    if (status != CFILE_OK) return reportStatus("open: " + quoted(path) + ": cFileClose", status);
    if (exitCode == kExitOk && (!writeOut("closed\n") || !flushOut())) {
        return reportOutputFailure("open");
    }
    return exitCode;
}

}  // namespace

void addFileCommands(std::vector<Command>* list) {
    list->push_back(
        {"log",
         "log FILE [--stamp TEXT] [--severity N] [--event TEXT] [--user TEXT] [--app TEXT]\n"
         "                  [--version-text TEXT] [--function TEXT] [--value N] [--phase TEXT]\n"
         "                  [--result N] [--trace TEXT]",
         "Append a status-line record to FILE and print it",
         "\n"
         "Builds the record with cFileBuildNftBuffer and appends it to FILE with\n"
         "cFileWriteToFile (FILE is created when missing). Prints the line; the file\n"
         "receives it with its CR LF. A field left out takes its fallback; without\n"
         "--stamp the line begins with the local time (TZ is honoured).\n"
         "\n"
         "Options:\n"
         "  --stamp TEXT         the text after /D= instead of the local time\n"
         "  --severity N         /S=: 0 and 1 give Err, other values Warn (default 0)\n"
         "  --event TEXT         /E= (default NA)\n"
         "  --user TEXT          /U= (default NA)\n"
         "  --app TEXT           /A= (default NA)\n"
         "  --version-text TEXT  /V= (default 0)\n"
         "  --function TEXT      /F= (default NA)\n"
         "  --value N            /O=, a signed 32-bit number (default 0)\n"
         "  --phase TEXT         /P= (default NA)\n"
         "  --result N           /R=, a signed 16-bit number (default 0)\n"
         "  --trace TEXT         /T= (default N)\n",
         {{"stamp", true},
          {"severity", true},
          {"event", true},
          {"user", true},
          {"app", true},
          {"version-text", true},
          {"function", true},
          {"value", true},
          {"phase", true},
          {"result", true},
          {"trace", true}},
         runLog});
    list->push_back(
        {"append",
         "append FILE TEXT [--crlf]",
         "Append TEXT (or standard input) to FILE",
         "\n"
         "Appends the bytes of TEXT to FILE with cFileWriteToFile, creating FILE when\n"
         "it does not exist. TEXT '-' reads the text from standard input; a text\n"
         "cannot hold a NUL byte, so input with one is refused and nothing is written.\n"
         "Nothing is added to the text unless --crlf is given.\n"
         "\n"
         "Options:\n"
         "  --crlf   end the text with CR LF\n",
         {{"crlf", false}},
         runAppend});
    list->push_back({"cat",
                     "cat FILE",
                     "Write FILE to standard output",
                     "\n"
                     "Opens FILE with cFileOpen (read access; others may read and write), reads\n"
                     "it with cFileRead in blocks of 64 KiB until a read answers 0 bytes, writes\n"
                     "the bytes unchanged to standard output and closes it with cFileClose.\n",
                     {},
                     runCat});
    list->push_back(
        {"open",
         "open FILE [--mode MODE] [--create] [--hold SECONDS | --wait]",
         "Open FILE with a chosen mode word, hold the handle, close it",
         "\n"
         "Opens FILE with cFileOpen (or creates or empties it with cFileCreate when\n"
         "--create is given) with the mode word MODE, prints 'opened mode WORD', holds\n"
         "the handle, closes it with cFileClose and prints 'closed'. While the handle\n"
         "is held, every other open through the library that conflicts with its access\n"
         "or sharing is refused at once: 'qorvel cat FILE' from another terminal\n"
         "answers 0x00200306 (a sharing violation) unless MODE lets others read.\n"
         "\n"
         "MODE is a 16-bit word, decimal or 0x-hexadecimal, passed on unchanged (the\n"
         "library judges it), or one access name and at most one sharing name joined\n"
         "by a comma:\n"
         "  read 0x0001, write 0x0002, read-write 0x0004\n"
         "  share-read or deny-write 0x0020, share-write or deny-read 0x0010,\n"
         "  share-read-write or deny-none 0x0040, deny-all 0\n"
         "An access name alone lets others read and write (deny-none): --mode read is\n"
         "0x0041; --mode read,deny-write is 0x0021; --mode read,deny-all is 0x0001.\n"
         "Without --mode: read (0x0041), or write (0x0042) with --create.\n"
         "\n"
         "Options:\n"
         "  --mode MODE      the mode word or its names\n"
         "  --create         create FILE, or empty it (a MODE given must not ask to read)\n"
         "  --hold SECONDS   hold the handle this long (default 0: close at once)\n"
         "  --wait           hold it until standard input gives a line or ends\n",
         {{"mode", true}, {"create", false}, {"hold", true}, {"wait", false}},
         runOpen});
    list->push_back({"lock",
                     "lock FILE START LENGTH [--hold SECONDS | --wait]",
                     "Lock a byte range of FILE, hold it, release it",
                     "\n"
                     "Opens FILE (cFileOpen, read access, others may read and write), locks\n"
                     "LENGTH bytes from START with cFileLock and prints 'locked START LENGTH'.\n"
                     "It then holds the lock, releases it with cFileUnlock, prints\n"
                     "'unlocked START LENGTH' and closes FILE. While the lock is held, a lock of\n"
                     "an overlapping range through any other handle is refused at once\n"
                     "(0x00210307, a lock violation). START and LENGTH are 32-bit numbers,\n"
                     "decimal or 0x-hexadecimal.\n"
                     "\n"
                     "Options:\n"
                     "  --hold SECONDS   hold the lock this long (default 0: release at once)\n"
                     "  --wait           hold it until standard input gives a line or ends\n",
                     {{"hold", true}, {"wait", false}},
                     runLock});
}

}  // namespace qorvel_cli

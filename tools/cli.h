// The qorvel command-line program: shared pieces of its subcommands.
//
// The program is a host like any other: it reaches the library only through
// the public header and the shared library, so every answer it prints is one
// a host would get.
#ifndef QORVEL_TOOLS_CLI_H
#define QORVEL_TOOLS_CLI_H

#include <cstdint>
#include <string>
#include <vector>

#include "qorvel.h"
#include "qorvel_status.h"

namespace qorvel_cli {

// Exit codes: scripts tell a refused request from a mistyped command line.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the library (or the system) refused the request
constexpr int kExitUsage = 2;   // the command line was wrong; nothing was done

// ---- Command line -------------------------------------------------------------

struct OptionRule {
    const char* name;  // without the leading "--"
    bool takesValue;
};

// The words after the subcommand: positionals in order, options by name.
class Arguments {
public:
    const std::vector<std::string>& positionals() const { return positionals_; }
    bool has(const std::string& option) const;
    // The option's value; `fallback` when the option was not given. The last
    // of repeated options wins.
    std::string value(const std::string& option, const std::string& fallback = "") const;
    // The stored value of the option, or nullptr; valid while the object lives.
    const std::string* find(const std::string& option) const;

private:
    friend bool parseArguments(const std::vector<std::string>&, const std::vector<OptionRule>&,
                               Arguments*, std::string*);
    std::vector<std::string> positionals_;
    std::vector<std::pair<std::string, std::string>> options_;
};

// Splits `words` by `rules`. "--name VALUE" and "--name=VALUE" both work; "--"
// ends the options, and "-" is a positional. Answers false with a message for
// an unknown option or a missing value.
bool parseArguments(const std::vector<std::string>& words, const std::vector<OptionRule>& rules,
                    Arguments* arguments, std::string* error);

// Whole-word number parsing, decimal or 0x-hexadecimal; false for anything
// else, including a sign where none is allowed and values out of range.
bool parseUnsigned32(const std::string& text, uint32_t* value);
bool parseSigned(const std::string& text, int64_t minimum, int64_t maximum, int64_t* value);

// ---- Subcommands -----------------------------------------------------------------

struct Command {
    const char* name;
    const char* synopsis;  // the line after "usage: qorvel "
    const char* summary;   // one line for the program's help
    const char* details;   // the rest of the subcommand's help
    std::vector<OptionRule> options;
    int (*run)(const Command& self, const Arguments&);
};

const std::vector<Command>& commands();

// Each file adds its subcommands to the list.
void addFileCommands(std::vector<Command>* list);    // log, append, cat, open, lock
void addPathCommands(std::vector<Command>* list);    // stat, rm, mv, mkdir, rmdir, chmod
void addQueryCommands(std::vector<Command>* list);   // df, pwd, tmpdir, version, status
void addHoldersCommand(std::vector<Command>* list);  // holders
void addCheckCommand(std::vector<Command>* list);    // check

// "qorvel 1.0.0": the program and the library are one release.
std::string releaseLine();

// ---- Output --------------------------------------------------------------------

// "usage: ..." and a hint on standard error; answers kExitUsage.
int usageError(const Command& command, const std::string& message);

// "qorvel: WHAT: " and the decoded status on standard error; answers kExitFailed.
int reportStatus(const std::string& what, cFileStatus status);
// The same for the three exports that answer 0 or 1 and carry no status word.
int reportFlagFailure(const std::string& what, const char* exportName);
// A failure outside the library (standard input or output).
int reportFailure(const std::string& what, const std::string& message);

// "0x" and `digits` upper-case hexadecimal digits.
std::string hexWord(uint32_t value, int digits);

// One line describing a status word, as cFileStatusText writes it:
// "0x00020304 CFILE_ERR_NOT_FOUND (...); Win32 error 2 ERROR_FILE_NOT_FOUND (...)".
std::string describeStatus(cFileStatus status);

// A name for a message, quoted as coreutils quotes file names: as it is when
// every byte is plainly safe for a shell, else in quotes, with $'\ooo' for
// control bytes and bytes that are not UTF-8. `always` quotes safe names too
// (for words such as options).
std::string quoted(const std::string& name, bool always = false);

// The length of the well-formed UTF-8 sequence of two to four bytes at `at`
// (no overlong form, no surrogate, nothing beyond U+10FFFF), else 0.
size_t utf8SequenceAt(const std::string& text, size_t at);

// A JSON string: UTF-8 passes, a byte of no UTF-8 character becomes the
// character of the same number, so that any name gives valid JSON.
std::string jsonString(const std::string& text);

// Writes all of `text` to standard output; false when that fails.
bool writeOut(const std::string& text);
bool writeOut(const void* data, size_t size);
bool flushOut();
// Writes `text` to standard output and flushes it: kExitOk, or the failure
// of `command` to write, said on standard error (exit code 1); an empty
// `command` for the program's own output (--help, --version).
int printResult(const std::string& command, const std::string& text);
// That failure alone, with the reason errno gives: kExitFailed.
int reportOutputFailure(const std::string& command);

// ---- The few things that differ between Windows and POSIX ------------------------

// Standard input and output carry bytes unchanged (no CR LF translation).
void useBinaryStandardStreams();
void sleepSeconds(uint32_t seconds);
// "YYYY-MM-DD HH:MM:SS" in local time, or "-" when the time cannot be converted.
std::string localDate(int64_t secondsSince1970);

}  // namespace qorvel_cli

#endif  // QORVEL_TOOLS_CLI_H

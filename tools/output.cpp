// What the program writes: results on standard output, failures on standard
// error, each failure with its status word taken apart.
#include <cstdio>

#include "cli.h"
#include "platform/win32_errors.h"

namespace qorvel_cli {
namespace {

struct CodeRow {
    uint16_t code;
    CodeName name;
};

constexpr CodeRow kLibraryCodes[] = {
    {CFILE_OK, {"CFILE_OK", "success"}},
    {CFILE_ERR_ACCESS,
     {"CFILE_ERR_ACCESS",
      "access refused, or the object cannot be made, removed, read or written"}},
    {CFILE_ERR_INVALID_ARG, {"CFILE_ERR_INVALID_ARG", "an argument was rejected"}},
    {CFILE_ERR_INVALID_HANDLE, {"CFILE_ERR_INVALID_HANDLE", "the handle is not usable"}},
    {CFILE_ERR_NOT_FOUND,
     {"CFILE_ERR_NOT_FOUND", "the file, or a directory on its path, does not exist"}},
    {CFILE_ERR_TOO_MANY_SHARED,
     {"CFILE_ERR_TOO_MANY_SHARED", "no more files can be held open for sharing"}},
    {CFILE_ERR_SHARING,
     {"CFILE_ERR_SHARING", "another open of the file conflicts with the sharing asked for"}},
    {CFILE_ERR_GENERAL, {"CFILE_ERR_GENERAL", "any other failure"}},
    {CFILE_ERR_DISK_FULL, {"CFILE_ERR_DISK_FULL", "the volume has no room left"}},
};

struct Win32Row {
    uint32_t number;
    Win32ErrorName name;
};

// The numbers the library produces on either platform, named from the one
// list of them.
constexpr Win32Row kWin32Errors[] = {
#define QORVEL_WIN32_ERROR_ROW(number, constant, name, meaning) {number, {"ERROR_" #name, meaning}},
    QORVEL_WIN32_ERRORS(QORVEL_WIN32_ERROR_ROW)
#undef QORVEL_WIN32_ERROR_ROW
};

void writeError(const std::string& line) {
    std::string text = "qorvel: " + line + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

CodeName libraryCodeName(uint16_t code) {
    for (const CodeRow& row : kLibraryCodes) {
        if (row.code == code) return row.name;
    }
    return {nullptr, "not a code of the library"};
}

Win32ErrorName win32ErrorName(uint32_t number) {
    for (const Win32Row& row : kWin32Errors) {
        if (row.number == number) return row.name;
    }
    return {nullptr, "no name known"};
}

std::string hexWord(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

std::string describeStatus(cFileStatus status) {
    uint16_t code = CFILE_STATUS_CODE(status);
    uint16_t error = CFILE_STATUS_ERROR(status);
    CodeName codeName = libraryCodeName(code);
    std::string text = hexWord(status, 8) + " " +
                       (codeName.name ? codeName.name : hexWord(code, 4)) + " (" +
                       codeName.meaning + ")";
    if (error == 0) return text + "; no platform error";
    Win32ErrorName errorName = win32ErrorName(error);
    text += "; Win32 error " + std::to_string(error);
    if (errorName.name != nullptr) text += std::string(" ") + errorName.name;
    return text + " (" + errorName.meaning + ")";
}

int usageError(const Command& command, const std::string& message) {
    writeError(std::string(command.name) + ": " + message);
    std::string usage = std::string("usage: qorvel ") + command.synopsis + "\n" + "Try 'qorvel " +
                        command.name + " --help'.\n";
    std::fwrite(usage.data(), 1, usage.size(), stderr);
    return kExitUsage;
}

int reportStatus(const std::string& what, cFileStatus status) {
    writeError(what + ": " + describeStatus(status));
    return kExitFailed;
}

int reportFlagFailure(const std::string& what, const char* exportName) {
    writeError(what + ": " + exportName + " failed (it answers 0 or 1, no status word)");
    return kExitFailed;
}

int reportFailure(const std::string& what, const std::string& message) {
    writeError(what + ": " + message);
    return kExitFailed;
}

bool writeOut(const void* data, size_t size) {
    return size == 0 || std::fwrite(data, 1, size, stdout) == size;
}

bool writeOut(const std::string& text) { return writeOut(text.data(), text.size()); }

bool flushOut() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

int printResult(const std::string& command, const std::string& text) {
    if (writeOut(text) && flushOut()) return kExitOk;
    return reportFailure(command, "cannot write standard output");
}

}  // namespace qorvel_cli

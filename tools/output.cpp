// What the program writes: results on standard output, failures on standard
// error, each failure with its status word taken apart.
#include <cstdio>

#include "cli.h"

namespace qorvel_cli {
namespace {

struct CodeRow {
    uint16_t code;
    CodeName name;
};

constexpr CodeRow kLibraryCodes[] = {
    {CFILE_OK, {"CFILE_OK", "success"}},
    {CFILE_ERR_ACCESS,
     {"CFILE_ERR_ACCESS", "access refused, or the object cannot be made, removed, read or written"}},
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

// The numbers the library produces on either platform: the translation
// table's seventeen and those the POSIX backend maps errno values to.
constexpr Win32Row kWin32Errors[] = {
    {0, {"ERROR_SUCCESS", "no platform error"}},
    {1, {"ERROR_INVALID_FUNCTION", "incorrect function"}},
    {2, {"ERROR_FILE_NOT_FOUND", "the file does not exist"}},
    {3, {"ERROR_PATH_NOT_FOUND", "a directory on the path does not exist"}},
    {4, {"ERROR_TOO_MANY_OPEN_FILES", "the process holds too many open files"}},
    {5, {"ERROR_ACCESS_DENIED", "access is denied"}},
    {6, {"ERROR_INVALID_HANDLE", "the handle is invalid"}},
    {8, {"ERROR_NOT_ENOUGH_MEMORY", "not enough memory"}},
    {13, {"ERROR_INVALID_DATA", "the data is invalid"}},
    {15, {"ERROR_INVALID_DRIVE", "the drive cannot be found"}},
    {16, {"ERROR_CURRENT_DIRECTORY", "the directory is the current directory"}},
    {17, {"ERROR_NOT_SAME_DEVICE", "the file cannot be moved to another volume"}},
    {19, {"ERROR_WRITE_PROTECT", "the medium is write-protected"}},
    {21, {"ERROR_NOT_READY", "the device is not ready"}},
    {29, {"ERROR_WRITE_FAULT", "the device cannot be written"}},
    {30, {"ERROR_READ_FAULT", "the device cannot be read"}},
    {31, {"ERROR_GEN_FAILURE", "the device does not function"}},
    {32, {"ERROR_SHARING_VIOLATION", "another open of the file does not share it"}},
    {33, {"ERROR_LOCK_VIOLATION", "another handle has locked part of the range"}},
    {36, {"ERROR_SHARING_BUFFER_EXCEEDED", "too many files are open for sharing"}},
    {38, {"ERROR_HANDLE_EOF", "reached the end of the file"}},
    {39, {"ERROR_HANDLE_DISK_FULL", "the disk is full"}},
    {50, {"ERROR_NOT_SUPPORTED", "the request is not supported"}},
    {80, {"ERROR_FILE_EXISTS", "the file exists"}},
    {82, {"ERROR_CANNOT_MAKE", "the directory or file cannot be created"}},
    {87, {"ERROR_INVALID_PARAMETER", "a parameter is incorrect"}},
    {109, {"ERROR_BROKEN_PIPE", "the pipe has been ended"}},
    {112, {"ERROR_DISK_FULL", "there is not enough space on the disk"}},
    {114, {"ERROR_INVALID_TARGET_HANDLE", "the target handle is invalid"}},
    {122, {"ERROR_INSUFFICIENT_BUFFER", "the data area is too small"}},
    {123, {"ERROR_INVALID_NAME", "the name is not valid"}},
    {131, {"ERROR_NEGATIVE_SEEK", "a move before the start of the file"}},
    {145, {"ERROR_DIR_NOT_EMPTY", "the directory is not empty"}},
    {158, {"ERROR_NOT_LOCKED", "the range is not locked"}},
    {170, {"ERROR_BUSY", "the resource is in use"}},
    {183, {"ERROR_ALREADY_EXISTS", "the name exists already"}},
    {206, {"ERROR_FILENAME_EXCED_RANGE", "the name is too long"}},
    {223, {"ERROR_FILE_TOO_LARGE", "the file is too large"}},
    {267, {"ERROR_DIRECTORY", "the name is not a directory"}},
    {277, {"ERROR_EA_TABLE_FULL", "the extended-attribute table is full"}},
    {995, {"ERROR_OPERATION_ABORTED", "the operation was aborted"}},
    {998, {"ERROR_NOACCESS", "invalid access to a memory location"}},
    {1117, {"ERROR_IO_DEVICE", "an I/O device error"}},
    {1142, {"ERROR_TOO_MANY_LINKS", "too many links to the file"}},
    {1460, {"ERROR_TIMEOUT", "the operation timed out"}},
    {1921, {"ERROR_CANT_RESOLVE_FILENAME", "the name cannot be resolved (a link loop)"}},
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
    std::string text = hexWord(status, 8) + " " + (codeName.name ? codeName.name : hexWord(code, 4)) +
                       " (" + codeName.meaning + ")";
    if (error == 0) return text + "; no platform error";
    Win32ErrorName errorName = win32ErrorName(error);
    text += "; Win32 error " + std::to_string(error);
    if (errorName.name != nullptr) text += std::string(" ") + errorName.name;
    return text + " (" + errorName.meaning + ")";
}

int usageError(const Command& command, const std::string& message) {
    writeError(std::string(command.name) + ": " + message);
    std::string usage = std::string("usage: qorvel ") + command.synopsis + "\n" +
                        "Try 'qorvel " + command.name + " --help'.\n";
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

}  // namespace qorvel_cli

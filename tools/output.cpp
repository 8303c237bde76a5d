// What the program writes: results on standard output, failures on standard
// error, each failure with its status word taken apart (qorvel_status.h, as
// any host would) and each name quoted as a shell would need it.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli.h"

namespace qorvel_cli {
namespace {

void writeError(const std::string& line) {
    std::string text = "qorvel: " + line + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

std::string hexWord(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

std::string describeStatus(cFileStatus status) {
    char text[CFILE_STATUS_TEXT_SIZE];
    return cFileStatusText(status, text, sizeof text);
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

int reportOutputFailure(const std::string& command) {
    std::string message = "cannot write standard output";
    if (errno != 0) message += std::string(": ") + std::strerror(errno);
    if (command.empty()) {
        writeError(message);
        return kExitFailed;
    }
    return reportFailure(command, message);
}

int printResult(const std::string& command, const std::string& text) {
    errno = 0;
    if (writeOut(text) && flushOut()) return kExitOk;
    return reportOutputFailure(command);
}

}  // namespace qorvel_cli

namespace qorvel_cli {
namespace {

// Bytes a shell takes as themselves anywhere in a word.
bool isShellSafe(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr("%+,-./:=@_^", c) != nullptr;
}

}  // namespace

size_t utf8SequenceAt(const std::string& text, size_t at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    }
    unsigned char second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
        return 0;
    }
    return length;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t sequence = c >= 0x80 ? utf8SequenceAt(text, i) : 1;
        if (sequence > 1) {
            out += text.substr(i, sequence);
            i += sequence;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += std::string("\\") + static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out + "\"";
}

namespace {

// Bytes that must be written as $'\...' escapes: control bytes and bytes of
// no UTF-8 character. Marks each byte of `text`.
std::vector<bool> escapedBytes(const std::string& text) {
    std::vector<bool> escaped(text.size(), false);
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t sequence = c >= 0x80 ? utf8SequenceAt(text, i) : 1;
        if (sequence == 0 || c < 0x20 || c == 0x7F) {
            escaped[i++] = true;
        } else {
            i += sequence;
        }
    }
    return escaped;
}

std::string escapeSequence(unsigned char c) {
    const char* letters = "abtnvfr";  // \a (7) to \r (13)
    if (c >= 7 && c <= 13) return std::string("\\") + letters[c - 7];
    char octal[8];
    std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned>(c));
    return octal;
}

}  // namespace

std::string quoted(const std::string& name, bool always) {
    bool safe = !name.empty();
    for (char c : name) safe = safe && isShellSafe(static_cast<unsigned char>(c));
    if (safe && !always) return name;
    std::vector<bool> escaped = escapedBytes(name);
    bool anyEscaped = std::find(escaped.begin(), escaped.end(), true) != escaped.end();
    if (!anyEscaped && name.find('\'') != std::string::npos &&
        name.find_first_of("\"$`\\!") == std::string::npos) {
        return "\"" + name + "\"";
    }
    // Runs of plain bytes in '...', runs of escaped ones in $'...', side by
    // side: the shell joins them into one word.
    std::string text;
    for (size_t i = 0; i < name.size();) {
        bool run = escaped[i];
        text += run ? "$'" : "'";
        for (; i < name.size() && escaped[i] == run; ++i) {
            auto c = static_cast<unsigned char>(name[i]);
            text += run         ? escapeSequence(c)
                    : c == '\'' ? std::string("'\\''")
                                : std::string(1, name[i]);
        }
        text += "'";
    }
    return text.empty() ? "''" : text;
}

}  // namespace qorvel_cli

// Shared helpers of the test programs: scratch directories, whole-file
// reads and writes, and a second process that makes library calls on command.
#ifndef QORVEL_TESTS_SUPPORT_TEST_SUPPORT_H
#define QORVEL_TESTS_SUPPORT_TEST_SUPPORT_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qtest {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    // A scratch directory inside `base` rather than the temporary directory.
    explicit TempDir(const std::string& base);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& root() const { return root_; }
    // root/name, with the platform's separator.
    std::string path(const std::string& name) const;

private:
    std::string root_;
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
uint64_t fileSize(const std::string& path);
void makeReadOnly(const std::string& path, bool readOnly);

// A second process: this test program started again in helper mode. Each
// call() sends one command line and answers the reply line.
//
// Commands (tokens separated by single spaces; status words in hex):
// clang-format off
//   open PATH MODE                -> "STATUS HANDLE"
//   create PATH MODE              -> "STATUS HANDLE"
//   close HANDLE                  -> "STATUS"
//   lock HANDLE START LENGTH      -> "STATUS"
//   unlock HANDLE START LENGTH    -> "STATUS"
//   append PATH TEXT              -> "STATUS"  TEXT is the rest of the line; \n and \r are
//                                              unescaped
//   appendlines PATH PREFIX COUNT -> "STATUS"  COUNT lines "PREFIX-<i>\r\n", stops at the
//                                              first failure
//   appendthreads PATH PREFIX THREADS COUNT
//                                 -> "STATUS"  THREADS threads at once, each COUNT lines
//                                              "PREFIX-<t>-<i>\r\n"; the first failure any
//                                              thread met
//   remove PATH                   -> "STATUS"
//   rename FROM TO                -> "STATUS"
//   sleep SECONDS                 -> "0"       after that long (a helper that hangs)
// clang-format on
// The process ends when the object goes (its handles, and their locks, go with it).
class Child {
public:
    // A single library call answers in well under a second even under Wine
    // on a loaded machine; a command that makes thousands passes its own.
    static constexpr std::chrono::seconds kCallLimit{20};

    Child();
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Answers the reply line. A helper that gives none within `limit` fails
    // the running test, is ended, and every call answers "error ...".
    std::string call(const std::string& command, std::chrono::seconds limit = kCallLimit);
    // The first token of the reply, as a status word.
    uint32_t status(const std::string& command, std::chrono::seconds limit = kCallLimit);
    // "open"/"create": the status, and the handle in *handle.
    uint32_t open(const std::string& verb, const std::string& path, unsigned mode, int32_t* handle);
    // Ends the helper at once (SIGKILL, TerminateProcess), as a crash would.
    void kill();

private:
    struct Impl;
    Impl* impl_;
};

// A handle of `path` held by a second process, and its lock calls there.
class HandleInOtherProcess {
public:
    HandleInOtherProcess(const std::string& path, unsigned mode) {
        opened_ = child_.open("open", path, mode, &handle_);
    }
    uint32_t opened() const { return opened_; }
    uint32_t lock(uint32_t start, uint32_t length) { return call("lock", start, length); }
    uint32_t unlock(uint32_t start, uint32_t length) { return call("unlock", start, length); }
    uint32_t close() { return child_.status("close " + std::to_string(handle_)); }
    uint32_t writeAt(uint32_t offset, const std::string& word) {
        return child_.status("writeat " + std::to_string(handle_) + " " + std::to_string(offset) +
                             " " + word);
    }

private:
    uint32_t call(const char* verb, uint32_t start, uint32_t length) {
        return child_.status(std::string(verb) + " " + std::to_string(handle_) + " " +
                             std::to_string(start) + " " + std::to_string(length));
    }
    Child child_;
    int32_t handle_ = -1;
    uint32_t opened_ = 0;
};

// Entry of the helper mode: main() calls it when argv[1] is kChildFlag.
constexpr const char* kChildFlag = "--qorvel-child";
int childMain();

std::vector<std::string> split(const std::string& line);

// True in a Windows test program that runs under Wine. Wine is not Windows in
// a few documented places (docs/windows.md); a test that meets one skips
// there with the reason, and still checks Windows' answer on the other
// platforms.
bool runningUnderWine();

}  // namespace qtest

#endif  // QORVEL_TESTS_SUPPORT_TEST_SUPPORT_H

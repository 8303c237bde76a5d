// Starting a second program with exactly the handles it is meant to have,
// and reading its replies with a time limit: what the helper process of
// qtest::Child and the runs of the qorvel program share.
#ifndef QORVEL_TESTS_SUPPORT_PROCESS_H
#define QORVEL_TESTS_SUPPORT_PROCESS_H

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/types.h>
#endif

namespace qtest {

#ifdef _WIN32
using PipeEnd = HANDLE;
using ProcessId = PROCESS_INFORMATION;
#else
using PipeEnd = int;
using ProcessId = pid_t;
#endif

// A pipe whose parent end is not inherited: `childEnd` is handed to the
// child, `parentEnd` stays here.
struct Pipe {
    PipeEnd childEnd;
    PipeEnd parentEnd;
};
Pipe pipeToChild();
Pipe pipeFromChild();
void closePipeEnd(PipeEnd end);

#ifdef _WIN32
// A file handle a started program can inherit: opened to read, or made
// empty to write.
HANDLE openInheritable(const std::string& path, bool forWriting);
// Starts `program` with `args` and exactly these three handles inherited (the
// library's own handles are inheritable and must not leak into it).
PROCESS_INFORMATION startProcess(const std::string& program, const std::vector<std::string>& args,
                                 HANDLE in, HANDLE out, HANDLE err);
#else
// Starts `program` with `args` after `actions` (which it destroys); every
// descriptor from 3 up is closed in the child.
pid_t startProcess(const std::string& program, const std::vector<std::string>& args,
                   posix_spawn_file_actions_t* actions);
#endif

#ifndef _WIN32
// Runs `body` in a forked copy of this process, which inherits its
// descriptors and library handles, and answers its exit code as waitForExit.
int inForkedProcess(const std::function<int()>& body);

// Runs `body` as the unprivileged user nobody: in a forked copy when this
// process is root (root may write any file), here otherwise. A copy that
// cannot switch users exits with kCannotSwitchUser.
constexpr int kCannotSwitchUser = 100;
int asNobody(const std::function<int()>& body);
#endif

#ifndef _WIN32
// The helper program `program` (tests/helpers/inherited_handle_user)
// started with every descriptor and handle of this process inherited, as a
// host starts one: by posix_spawn, or by system() in the background of a
// shell that ends at once (a grandchild, which no wait of this process
// sees). Neither runs a fork handler. It keeps `handle` until release() or
// the object's end.
class InheritingProgram {
public:
    enum class Start { kSpawn, kSystem };
    InheritingProgram(const std::string& program, int handle, Start how);
    ~InheritingProgram() { release(); }
    InheritingProgram(const InheritingProgram&) = delete;
    InheritingProgram& operator=(const InheritingProgram&) = delete;

    bool started() const { return started_; }
    // Lets the program end; waits for it when it is this process's child.
    void release();

private:
    int keep_ = -1;  // the write end of the pipe whose end of file it waits for
    pid_t child_ = -1;
    bool started_ = false;
};
#endif

// A started program whose standard input and output are pipes to this
// process; its standard error goes to the file `errPath`, or, when that is
// empty, where this process's goes.
struct PipedProcess {
    ProcessId process;
    PipeEnd toChild;
    PipeEnd fromChild;
};
PipedProcess startPiped(const std::string& program, const std::vector<std::string>& args,
                        const std::string& errPath = "");

// Waits for the process to end and answers its exit code (128 + the signal
// for a POSIX process that a signal ended).
int waitForExit(ProcessId& process);
// Ends the process at once.
void killProcess(ProcessId& process);

enum class LineRead { kLine, kEnd, kTimeout };

// Reads one line from `from` into *line, without its '\n', waiting no later
// than `deadline`. A last line without '\n' is a line; nothing at all is the
// end.
LineRead readLineUntil(PipeEnd from, std::chrono::steady_clock::time_point deadline,
                       std::string* line);

// Appends everything `from` gives until its end (kEnd) or `deadline`
// (kTimeout).
LineRead readToEndUntil(PipeEnd from, std::chrono::steady_clock::time_point deadline,
                        std::string* text);

}  // namespace qtest

#endif  // QORVEL_TESTS_SUPPORT_PROCESS_H

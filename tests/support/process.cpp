#include "process.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace qtest {

using Clock = std::chrono::steady_clock;

#ifdef _WIN32

namespace {

// Quoted so that the C run time's parser gives back exactly `argument`.
std::string quoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        return argument;
    }
    std::string quoted = "\"";
    for (size_t i = 0;; ++i) {
        size_t backslashes = 0;
        while (i < argument.size() && argument[i] == '\\') {
            ++i;
            ++backslashes;
        }
        if (i == argument.size()) {
            quoted.append(backslashes * 2, '\\');
            break;
        }
        quoted.append(argument[i] == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        quoted += argument[i];
    }
    return quoted + "\"";
}

// One pipe; the end at `parentIndex` (0 read, 1 write) is not inherited.
Pipe makePipe(bool parentReads) {
    SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        throw std::runtime_error("CreatePipe failed");
    Pipe pipe = parentReads ? Pipe{writeEnd, readEnd} : Pipe{readEnd, writeEnd};
    SetHandleInformation(pipe.parentEnd, HANDLE_FLAG_INHERIT, 0);
    return pipe;
}

}  // namespace

Pipe pipeToChild() { return makePipe(false); }
Pipe pipeFromChild() { return makePipe(true); }
void closePipeEnd(PipeEnd end) { CloseHandle(end); }

HANDLE openInheritable(const std::string& path, bool forWriting) {
    SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE handle = CreateFileA(
        path.c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
        &inherit, forWriting ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
    return handle;
}

PROCESS_INFORMATION startProcess(const std::string& program, const std::vector<std::string>& args,
                                 HANDLE in, HANDLE out, HANDLE err) {
    HANDLE inherited[3] = {in, out, err};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::string attributes(size, '\0');
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(&attributes[0]);
    InitializeProcThreadAttributeList(list, 1, 0, &size);
    UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                              sizeof inherited, nullptr, nullptr);
    STARTUPINFOEXA startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = in;
    startup.StartupInfo.hStdOutput = out;
    startup.StartupInfo.hStdError = err;
    startup.lpAttributeList = list;

    std::string commandLine = quoteArgument(program);
    for (const std::string& arg : args) commandLine += " " + quoteArgument(arg);
    PROCESS_INFORMATION process = {};
    // Wine's server, loaded by other test programs, now and then refuses a
    // start that succeeds a moment later: three tries before the test fails.
    BOOL started = FALSE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0) Sleep(200);
        started = CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                 EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                                 &startup.StartupInfo, &process);
        if (!started) error = GetLastError();
    }
    DeleteProcThreadAttributeList(list);
    if (!started) {
        throw std::runtime_error("cannot start " + program + " (error " + std::to_string(error) +
                                 ")");
    }
    return process;
}

int waitForExit(PROCESS_INFORMATION& process) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(code);
}

void killProcess(PROCESS_INFORMATION& process) { TerminateProcess(process.hProcess, 124); }

namespace {

// An anonymous pipe cannot be waited on: look at it, and pause a little
// longer each time nothing has come.
LineRead waitReadable(HANDLE from, Clock::time_point deadline) {
    DWORD pause = 0;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(from, nullptr, 0, nullptr, &available, nullptr)) return LineRead::kEnd;
        if (available > 0) return LineRead::kLine;
        if (Clock::now() >= deadline) return LineRead::kTimeout;
        Sleep(pause);
        pause = std::min<DWORD>(pause + 1, 10);
    }
}

size_t readSome(HANDLE from, char* buffer, size_t size) {
    DWORD got = 0;
    if (!ReadFile(from, buffer, static_cast<DWORD>(size), &got, nullptr)) return 0;
    return got;
}

}  // namespace

#else

namespace {

Pipe makePipe(bool parentReads) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    return parentReads ? Pipe{ends[1], ends[0]} : Pipe{ends[0], ends[1]};
}

LineRead waitReadable(int from, Clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return LineRead::kTimeout;
        pollfd watched = {from, POLLIN, 0};
        int ready = poll(&watched, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready > 0) return LineRead::kLine;  // data, or the end: the read tells
        if (ready < 0 && errno != EINTR) return LineRead::kEnd;
    }
}

size_t readSome(int from, char* buffer, size_t size) {
    ssize_t got;
    while ((got = read(from, buffer, size)) < 0 && errno == EINTR) {}
    return got > 0 ? static_cast<size_t>(got) : 0;
}

}  // namespace

Pipe pipeToChild() { return makePipe(false); }
Pipe pipeFromChild() { return makePipe(true); }
void closePipeEnd(PipeEnd end) { close(end); }

pid_t startProcess(const std::string& program, const std::vector<std::string>& args,
                   posix_spawn_file_actions_t* actions) {
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_addclosefrom_np(actions, 3);
    pid_t pid = -1;
    int error = posix_spawn(&pid, program.c_str(), actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(actions);
    if (error != 0) throw std::runtime_error("cannot start " + program);
    return pid;
}

int waitForExit(pid_t& pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void killProcess(pid_t& pid) { kill(pid, SIGKILL); }

int inForkedProcess(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    return waitForExit(pid);
}

InheritingProgram::InheritingProgram(const std::string& program, int handle, Start how) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return;
    keep_ = ends[1];
    // The read end goes to the program, the write end stays here alone.
    int held = fcntl(ends[0], F_DUPFD, 3);
    ::close(ends[0]);
    if (held < 0) return;
    std::string hold = "hold:" + std::to_string(held) + ":0";
    if (how == Start::kSpawn) {
        std::vector<std::string> args{program, std::to_string(handle), hold};
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        started_ =
            posix_spawn(&child_, program.c_str(), &actions, nullptr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
    } else {
        std::string command =
            "'" + program + "' " + std::to_string(handle) + " " + hold + " >/dev/null </dev/null &";
        started_ = std::system(command.c_str()) == 0;
    }
    ::close(held);
}

void InheritingProgram::release() {
    if (keep_ >= 0) ::close(keep_);
    keep_ = -1;
    if (child_ > 0) waitForExit(child_);
    child_ = -1;
}

int asNobody(const std::function<int()>& body) {
    constexpr uid_t kNobody = 65534;
    if (geteuid() != 0) return body();
    return inForkedProcess([&] {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) return kCannotSwitchUser;
        return body();
    });
}

#endif

PipedProcess startPiped(const std::string& program, const std::vector<std::string>& args,
                        const std::string& errPath) {
    Pipe in = pipeToChild();
    Pipe out = pipeFromChild();
    PipedProcess started;
#ifdef _WIN32
    HANDLE err = errPath.empty() ? GetStdHandle(STD_ERROR_HANDLE) : openInheritable(errPath, true);
    started.process = startProcess(program, args, in.childEnd, out.childEnd, err);
    if (!errPath.empty()) CloseHandle(err);
#else
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.childEnd, 0);
    posix_spawn_file_actions_adddup2(&actions, out.childEnd, 1);
    if (!errPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    }
    started.process = startProcess(program, args, &actions);
#endif
    closePipeEnd(in.childEnd);
    closePipeEnd(out.childEnd);
    started.toChild = in.parentEnd;
    started.fromChild = out.parentEnd;
    return started;
}

LineRead readLineUntil(PipeEnd from, Clock::time_point deadline, std::string* line) {
    line->clear();
    for (;;) {
        LineRead state = waitReadable(from, deadline);
        if (state != LineRead::kLine) return state;
        char c;
        if (readSome(from, &c, 1) == 0) return line->empty() ? LineRead::kEnd : LineRead::kLine;
        if (c == '\n') break;
        *line += c;
    }
    return LineRead::kLine;
}

LineRead readToEndUntil(PipeEnd from, Clock::time_point deadline, std::string* text) {
    char block[4096];
    for (;;) {
        LineRead state = waitReadable(from, deadline);
        if (state != LineRead::kLine) return state;
        size_t got = readSome(from, block, sizeof block);
        if (got == 0) return LineRead::kEnd;
        text->append(block, got);
    }
}

}  // namespace qtest

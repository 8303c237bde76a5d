#include "tool_process.h"

#include <atomic>
#include <stdexcept>

#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace qtest {
namespace {

// The standard streams of one run, as files in the scratch directory.
struct StreamFiles {
    std::string in, out, err;
};

StreamFiles streamFiles(const std::string& scratch) {
    static std::atomic<unsigned> counter{0};
    std::string stem = scratch + "/qorvel-run-" + std::to_string(counter++);
    return {stem + ".in", stem + ".out", stem + ".err"};
}

std::string directoryOf(const std::string& path) {
    size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string(".") : path.substr(0, separator);
}

}  // namespace

#ifdef _WIN32

namespace {

// Quoted so that the C run time's parser gives back exactly `argument`.
std::string quoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
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
        if (argument[i] == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        quoted += argument[i];
    }
    return quoted + "\"";
}

HANDLE openInheritable(const std::string& path, bool forWriting) {
    SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE handle = CreateFileA(path.c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                forWriting ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
    return handle;
}

// Starts the program with exactly these three handles inherited (the
// library's own handles are inheritable and must not leak into it).
PROCESS_INFORMATION startProcess(const std::vector<std::string>& args, HANDLE in, HANDLE out,
                                 HANDLE err) {
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

    std::string program = toolPath();
    std::string commandLine = quoteArgument(program);
    for (const std::string& arg : args) commandLine += " " + quoteArgument(arg);
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                  EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                                  &startup.StartupInfo, &process);
    DeleteProcThreadAttributeList(list);
    if (!started) throw std::runtime_error("cannot start " + program);
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

}  // namespace

std::string toolPath() {
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    return directoryOf(std::string(self, length)) + "\\qorvel.exe";
}

ToolResult runTool(const std::string& scratch, const std::vector<std::string>& args,
                   const std::string& input) {
    StreamFiles files = streamFiles(scratch);
    writeFile(files.in, input);
    HANDLE in = openInheritable(files.in, false);
    HANDLE out = openInheritable(files.out, true);
    HANDLE err = openInheritable(files.err, true);
    PROCESS_INFORMATION process = startProcess(args, in, out, err);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    ToolResult result;
    result.exitCode = waitForExit(process);
    result.out = readFile(files.out);
    result.err = readFile(files.err);
    return result;
}

struct RunningTool::Impl {
    HANDLE toChild = nullptr;
    HANDLE fromChild = nullptr;
    PROCESS_INFORMATION process = {};
    std::string errPath;
    bool finished = false;
};

RunningTool::RunningTool(const std::string& scratch, const std::vector<std::string>& args)
    : impl_(new Impl) {
    SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &impl_->toChild, &inherit, 0) ||
        !CreatePipe(&impl_->fromChild, &childOut, &inherit, 0)) {
        throw std::runtime_error("CreatePipe failed");
    }
    SetHandleInformation(impl_->toChild, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(impl_->fromChild, HANDLE_FLAG_INHERIT, 0);
    impl_->errPath = streamFiles(scratch).err;
    HANDLE err = openInheritable(impl_->errPath, true);
    impl_->process = startProcess(args, childIn, childOut, err);
    CloseHandle(childIn);
    CloseHandle(childOut);
    CloseHandle(err);
}

RunningTool::~RunningTool() {
    if (!impl_->finished) finish();
    delete impl_;
}

std::string RunningTool::readLine() {
    std::string line;
    char c;
    DWORD got = 0;
    while (ReadFile(impl_->fromChild, &c, 1, &got, nullptr) && got == 1 && c != '\n') line += c;
    return line;
}

ToolResult RunningTool::finish() {
    impl_->finished = true;
    CloseHandle(impl_->toChild);
    ToolResult result;
    char block[4096];
    DWORD got = 0;
    while (ReadFile(impl_->fromChild, block, sizeof block, &got, nullptr) && got > 0) {
        result.out.append(block, got);
    }
    CloseHandle(impl_->fromChild);
    result.exitCode = waitForExit(impl_->process);
    result.err = readFile(impl_->errPath);
    return result;
}

#else

namespace {

pid_t startProcess(const std::vector<std::string>& args, posix_spawn_file_actions_t* actions) {
    std::string program = toolPath();
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

int waitForExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

std::string toolPath() {
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self);
    if (length <= 0) throw std::runtime_error("cannot find this program");
    return directoryOf(std::string(self, size_t(length))) + "/qorvel";
}

ToolResult runTool(const std::string& scratch, const std::vector<std::string>& args,
                   const std::string& input) {
    StreamFiles files = streamFiles(scratch);
    writeFile(files.in, input);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, files.in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, files.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, files.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = startProcess(args, &actions);
    ToolResult result;
    result.exitCode = waitForExit(pid);
    result.out = readFile(files.out);
    result.err = readFile(files.err);
    return result;
}

struct RunningTool::Impl {
    int toChild = -1;
    int fromChild = -1;
    pid_t pid = -1;
    std::string errPath;
    bool finished = false;
};

RunningTool::RunningTool(const std::string& scratch, const std::vector<std::string>& args)
    : impl_(new Impl) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    impl_->errPath = streamFiles(scratch).err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, impl_->errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    impl_->pid = startProcess(args, &actions);
    close(in[0]);
    close(out[1]);
    impl_->toChild = in[1];
    impl_->fromChild = out[0];
}

RunningTool::~RunningTool() {
    if (!impl_->finished) finish();
    delete impl_;
}

std::string RunningTool::readLine() {
    std::string line;
    char c;
    while (read(impl_->fromChild, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

ToolResult RunningTool::finish() {
    impl_->finished = true;
    close(impl_->toChild);
    ToolResult result;
    char block[4096];
    ssize_t got;
    while ((got = read(impl_->fromChild, block, sizeof block)) > 0) result.out.append(block, size_t(got));
    close(impl_->fromChild);
    result.exitCode = waitForExit(impl_->pid);
    result.err = readFile(impl_->errPath);
    return result;
}

#endif

}  // namespace qtest

#include "tool_process.h"

#include <atomic>
#include <chrono>
#include <stdexcept>

#include <gtest/gtest.h>

#include "process.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>
#endif

namespace qtest {
namespace {

// A line the program owes a test comes within this, or the test fails.
constexpr std::chrono::seconds kLineLimit{60};

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
    PROCESS_INFORMATION process = startProcess(toolPath(), args, in, out, err);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    ToolResult result;
    result.exitCode = waitForExit(process);
    result.out = readFile(files.out);
    result.err = readFile(files.err);
    return result;
}

#else

std::string toolPath() {
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self);
    if (length <= 0) throw std::runtime_error("cannot find this program");
    return directoryOf(std::string(self, static_cast<size_t>(length))) + "/qorvel";
}

ToolResult runTool(const std::string& scratch, const std::vector<std::string>& args,
                   const std::string& input) {
    StreamFiles files = streamFiles(scratch);
    writeFile(files.in, input);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, files.in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, files.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, files.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = startProcess(toolPath(), args, &actions);
    ToolResult result;
    result.exitCode = waitForExit(pid);
    result.out = readFile(files.out);
    result.err = readFile(files.err);
    return result;
}

#endif

struct RunningTool::Impl {
    PipeEnd toChild;
    PipeEnd fromChild;
    ProcessId process;
    std::string errPath;
    bool finished = false;
};

RunningTool::RunningTool(const std::string& scratch, const std::vector<std::string>& args)
    : impl_(new Impl) {
    impl_->errPath = streamFiles(scratch).err;
    PipedProcess started = startPiped(toolPath(), args, impl_->errPath);
    impl_->process = started.process;
    impl_->toChild = started.toChild;
    impl_->fromChild = started.fromChild;
}

RunningTool::~RunningTool() {
    if (!impl_->finished) finish();
    delete impl_;
}

std::string RunningTool::readLine() {
    std::string line;
    if (readLineUntil(impl_->fromChild, std::chrono::steady_clock::now() + kLineLimit, &line) ==
        LineRead::kTimeout) {
        ADD_FAILURE() << "the program wrote no line within " << kLineLimit.count()
                      << " s; it is ended";
        killProcess(impl_->process);
        return std::string();
    }
    return line;
}

ToolResult RunningTool::finish() {
    impl_->finished = true;
    closePipeEnd(impl_->toChild);
    ToolResult result;
    auto deadline = std::chrono::steady_clock::now() + kLineLimit;
    if (readToEndUntil(impl_->fromChild, deadline, &result.out) == LineRead::kTimeout) {
        ADD_FAILURE() << "the program did not end within " << kLineLimit.count() << " s";
        killProcess(impl_->process);
    }
    closePipeEnd(impl_->fromChild);
    result.exitCode = waitForExit(impl_->process);
    result.err = readFile(impl_->errPath);
    return result;
}

}  // namespace qtest

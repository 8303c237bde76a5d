// The qorvel program run as a child process, the way a script runs it.
#ifndef QORVEL_TESTS_CLI_TOOL_PROCESS_H
#define QORVEL_TESTS_CLI_TOOL_PROCESS_H

#include <string>
#include <vector>

namespace qtest {

// The program's exit statuses: done, refused (for holders: held), wrong
// command line.
constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct ToolResult {
    int exitCode = -1;
    std::string out;  // standard output, byte for byte
    std::string err;  // standard error
};

// Runs `qorvel ARGS...` to its end with `input` on standard input.
// Standard input, output and error are files in `scratch` (a directory), so
// nothing can block however much either side writes.
ToolResult runTool(const std::string& scratch, const std::vector<std::string>& args,
                   const std::string& input = "");

// A run that goes on while the test acts: standard input and output are pipes,
// standard error a file in `scratch`.
class RunningTool {
public:
    RunningTool(const std::string& scratch, const std::vector<std::string>& args);
    ~RunningTool();
    RunningTool(const RunningTool&) = delete;
    RunningTool& operator=(const RunningTool&) = delete;

    // The next line of standard output without its line end; empty at the end.
    std::string readLine();
    // Ends standard input, then waits for the program to end.
    ToolResult finish();

private:
    struct Impl;
    Impl* impl_;
};

// The program beside this test program.
std::string toolPath();

}  // namespace qtest

#endif  // QORVEL_TESTS_CLI_TOOL_PROCESS_H

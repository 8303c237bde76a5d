// Bad input for the qorvel program, one table: missing, extra, empty,
// negative, non-numeric and overlong arguments, and paths with spaces,
// newlines and bytes that are not UTF-8. A usage error exits 2 and does
// nothing; a request the library refuses exits 1; either way the message goes
// to standard error, and the program never crashes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "tool_process.h"

namespace {

using qtest::kFailed;
using qtest::kOk;
using qtest::kUsage;
using qtest::ToolResult;

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

struct Row {
    const char* what;
    std::vector<std::string> args;  // "@" + name is a path in the scratch directory
    int exitCode;
};

const std::string kLongName(300, 'n');   // one name longer than any filesystem takes
const std::string kLongPath(5000, 'p');  // longer than any path the platform takes
// A long argument that is no path (a Windows command line holds 32767
// characters, one Linux argument 131072 bytes).
const std::string kHuge = std::string(kWindows ? 20000 : 100000, 'h');

// "keep.txt" holds known content throughout: no row may change it.
std::vector<Row> usageRows() {
    return {
        // Missing arguments.
        {"no command", {}, kUsage},
        {"empty command", {""}, kUsage},
        {"log without FILE", {"log"}, kUsage},
        {"append without TEXT", {"append", "@keep.txt"}, kUsage},
        {"append without anything", {"append"}, kUsage},
        {"cat without FILE", {"cat"}, kUsage},
        {"open without FILE", {"open"}, kUsage},
        {"lock without LENGTH", {"lock", "@keep.txt", "0"}, kUsage},
        {"lock without anything", {"lock"}, kUsage},
        {"stat without PATH", {"stat"}, kUsage},
        {"rm without PATH", {"rm"}, kUsage},
        {"mv without TO", {"mv", "@keep.txt"}, kUsage},
        {"mkdir without PATH", {"mkdir"}, kUsage},
        {"rmdir without PATH", {"rmdir"}, kUsage},
        {"chmod without a choice", {"chmod", "@keep.txt"}, kUsage},
        {"chmod without PATH", {"chmod", "--read-only"}, kUsage},
        {"df without PATH", {"df"}, kUsage},
        {"holders without PATH", {"holders"}, kUsage},
        {"holders of two paths", {"holders", "@keep.txt", "@keep.txt"}, kUsage},
        {"holders of a missing path", {"holders", "@missing.txt"}, kUsage},
        {"holders of an empty path", {"holders", ""}, kUsage},
        {"check without PATH", {"check"}, kUsage},
        {"check of a missing path", {"check", "@missing.txt"}, kUsage},
        {"check of an empty path", {"check", ""}, kUsage},
        {"an option for a command", {"--frob"}, kUsage},
        {"status without WORD", {"status"}, kUsage},
        {"option value missing", {"log", "@keep.txt", "--event"}, kUsage},
        {"open --mode value missing", {"open", "@keep.txt", "--mode"}, kUsage},
        {"help of an unknown command", {"help", "frobnicate"}, kUsage},
        // Extra arguments.
        {"log with two files", {"log", "@a.log", "@b.log"}, kUsage},
        {"append with three", {"append", "@keep.txt", "x", "y"}, kUsage},
        {"cat with two", {"cat", "@keep.txt", "@keep.txt"}, kUsage},
        {"open with two", {"open", "@keep.txt", "@keep.txt"}, kUsage},
        {"lock with four", {"lock", "@keep.txt", "0", "1", "2"}, kUsage},
        {"stat with two", {"stat", "@keep.txt", "x"}, kUsage},
        {"rm with two", {"rm", "@keep.txt", "@keep.txt"}, kUsage},
        {"mv with three", {"mv", "@keep.txt", "@moved.txt", "x"}, kUsage},
        {"mkdir with two", {"mkdir", "@d1", "@d2"}, kUsage},
        {"rmdir with two", {"rmdir", "@d1", "@d2"}, kUsage},
        {"chmod with both choices", {"chmod", "--read-only", "--writable", "@keep.txt"}, kUsage},
        {"chmod with two paths", {"chmod", "--read-only", "@keep.txt", "x"}, kUsage},
        {"df with two", {"df", "@", "@"}, kUsage},
        {"pwd with one", {"pwd", "x"}, kUsage},
        {"tmpdir with one", {"tmpdir", "x"}, kUsage},
        {"version with one", {"version", "x"}, kUsage},
        {"status with two", {"status", "1", "2"}, kUsage},
        {"--version with one", {"--version", "x"}, kUsage},
        {"flag with a value", {"append", "@keep.txt", "x", "--crlf=yes"}, kUsage},
        {"unknown option", {"cat", "@keep.txt", "--bogus"}, kUsage},
        {"lock --hold and --wait",
         {"lock", "@keep.txt", "0", "1", "--hold", "1", "--wait"},
         kUsage},
        {"open --hold and --wait", {"open", "@keep.txt", "--hold", "1", "--wait"}, kUsage},
        // Empty arguments the program itself must judge.
        {"status of an empty word", {"status", ""}, kUsage},
        {"lock with an empty start", {"lock", "@keep.txt", "", "1"}, kUsage},
        {"log with an empty severity", {"log", "@a.log", "--severity", ""}, kUsage},
        {"open with an empty mode", {"open", "@keep.txt", "--mode", ""}, kUsage},
        {"open with an empty mode name", {"open", "@keep.txt", "--mode", "read,"}, kUsage},
        {"open with an empty hold", {"open", "@keep.txt", "--hold", ""}, kUsage},
        // Negative numbers where none is allowed, or below the range.
        {"lock at a negative start", {"lock", "@keep.txt", "-1", "10"}, kUsage},
        {"lock of a negative length", {"lock", "@keep.txt", "0", "-5"}, kUsage},
        {"lock held negative seconds", {"lock", "@keep.txt", "0", "1", "--hold", "-1"}, kUsage},
        {"open held negative seconds", {"open", "@keep.txt", "--hold", "-3"}, kUsage},
        {"open with a negative mode", {"open", "@keep.txt", "--mode", "-1"}, kUsage},
        {"status of a negative word", {"status", "-1"}, kUsage},
        {"severity below 16 bits", {"log", "@a.log", "--severity", "-32769"}, kUsage},
        {"value below 32 bits", {"log", "@a.log", "--value", "-2147483649"}, kUsage},
        {"result below 16 bits", {"log", "@a.log", "--result", "-32769"}, kUsage},
        // Not numbers.
        {"lock at words", {"lock", "@keep.txt", "start", "length"}, kUsage},
        {"lock at a bare 0x", {"lock", "@keep.txt", "0x", "1"}, kUsage},
        {"lock at 1e3", {"lock", "@keep.txt", "1e3", "1"}, kUsage},
        {"lock at a padded number", {"lock", "@keep.txt", " 1", "1"}, kUsage},
        {"status of a word", {"status", "twelve"}, kUsage},
        {"severity high", {"log", "@a.log", "--severity", "high"}, kUsage},
        {"value 1.5", {"log", "@a.log", "--value", "1.5"}, kUsage},
        {"open held soon", {"open", "@keep.txt", "--hold", "soon"}, kUsage},
        {"open with mode 0xZZ", {"open", "@keep.txt", "--mode", "0xZZ"}, kUsage},
        {"open with an unknown mode name", {"open", "@keep.txt", "--mode", "readonly"}, kUsage},
        {"open with two access names", {"open", "@keep.txt", "--mode", "read,write"}, kUsage},
        {"open with two sharing names",
         {"open", "@keep.txt", "--mode", "read,deny-all,deny-none"},
         kUsage},
        // Overlong numbers.
        {"lock at 20 digits", {"lock", "@keep.txt", "99999999999999999999", "1"}, kUsage},
        {"lock of 2^32 bytes", {"lock", "@keep.txt", "0", "4294967296"}, kUsage},
        {"status beyond 32 bits", {"status", "0x1FFFFFFFF"}, kUsage},
        {"severity beyond 16 bits", {"log", "@a.log", "--severity", "32768"}, kUsage},
        {"value beyond 32 bits", {"log", "@a.log", "--value", "2147483648"}, kUsage},
        {"result beyond 16 bits", {"log", "@a.log", "--result", "40000"}, kUsage},
        {"mode beyond 16 bits", {"open", "@keep.txt", "--mode", "0x10000"}, kUsage},
        {"hold beyond 32 bits", {"open", "@keep.txt", "--hold", "4294967296"}, kUsage},
        {"a huge number", {"status", std::string(10000, '9')}, kUsage},
    };
}

// Requests the program passes on and the library refuses: exit 1.
std::vector<Row> refusedRows() {
    return {
        {"cat of an empty path", {"cat", ""}, kFailed},
        {"open of an empty path", {"open", ""}, kFailed},
        {"lock of an empty path", {"lock", "", "0", "1"}, kFailed},
        {"log to an empty path", {"log", ""}, kFailed},
        {"append to an empty path", {"append", "", "x"}, kFailed},
        {"stat of an empty path", {"stat", ""}, kFailed},
        {"rm of an empty path", {"rm", ""}, kFailed},
        {"mv from an empty path", {"mv", "", "@x"}, kFailed},
        {"mv to an empty path", {"mv", "@keep.txt", ""}, kFailed},
        {"mkdir of an empty path", {"mkdir", ""}, kFailed},
        {"rmdir of an empty path", {"rmdir", ""}, kFailed},
        {"chmod of an empty path", {"chmod", "--writable", ""}, kFailed},
        {"df of an empty path", {"df", ""}, kFailed},
        {"cat of an overlong name", {"cat", "@" + kLongName}, kFailed},
        {"append to an overlong name", {"append", "@" + kLongName, "x"}, kFailed},
        {"mkdir of an overlong name", {"mkdir", "@" + kLongName}, kFailed},
        {"stat of an overlong path", {"stat", kLongPath}, kFailed},
        {"rm of an overlong path", {"rm", kLongPath}, kFailed},
        {"mv onto an overlong path", {"mv", "@keep.txt", kLongPath}, kFailed},
        {"open of an overlong path", {"open", kLongPath}, kFailed},
        {"mode word without access", {"open", "@keep.txt", "--mode", "0x0020"}, kFailed},
        {"mode word with a forbidden bit", {"open", "@keep.txt", "--mode", "0x8001"}, kFailed},
        {"mv onto an existing name", {"mv", "@a dir/b c.txt", "@keep.txt"}, kFailed},
        {"rm of a directory with spaces", {"rm", "@a dir"}, kFailed},
    };
}

// Odd but valid input the program must carry through unchanged: exit 0.
// Windows takes no control characters in names, so a newline there is a
// refused request instead.
std::vector<Row> oddButValidRows() {
    int newlineExit = kWindows ? kFailed : kOk;
    return {
        {"append with a huge text", {"append", "@huge.txt", kHuge}, kOk},
        {"log with a huge field", {"log", "@huge.log", "--event", kHuge}, kOk},
        {"append to a name with spaces", {"append", "@a dir/b c.txt", "text"}, kOk},
        {"cat of a name with spaces", {"cat", "@a dir/b c.txt"}, kOk},
        {"stat of a name with spaces", {"stat", "@a dir/b c.txt"}, kOk},
        {"mv within names with spaces", {"mv", "@a dir/b c.txt", "@a dir/d e.txt"}, kOk},
        {"append to a name with a newline", {"append", "@new\nline.txt", "text"}, newlineExit},
        {"append an empty text", {"append", "@empty.txt", ""}, kOk},
        {"negative severity is a number", {"log", "@a.log", "--severity", "-1"}, kOk},
        {"lock of a range past 4 GiB", {"lock", "@keep.txt", "0xFFFFFFF0", "0x100"}, kOk},
#ifndef _WIN32
        // Linux names are bytes: any byte but '/' and NUL is a name.
        {"append to a non-UTF-8 name", {"append", "@\xff\xfe name.txt", "text"}, kOk},
        {"cat of a non-UTF-8 name", {"cat", "@\xff\xfe name.txt"}, kOk},
        {"stat of a non-UTF-8 name", {"stat", "@\xff\xfe name.txt"}, kOk},
        {"rm of a non-UTF-8 name", {"rm", "@\xff\xfe name.txt"}, kOk},
        {"cat of a missing non-UTF-8 name", {"cat", "@\xc3\x28.txt"}, kFailed},
        {"mkdir with a newline", {"mkdir", "@line\nbreak"}, kOk},
#endif
    };
}

class CliBadInput : public ::testing::Test {
protected:
    void SetUp() override {
        qtest::writeFile(keep(), kKept);
        ToolResult made = run({"mkdir", "@a dir"});
        ASSERT_EQ(made.exitCode, kOk) << made.err;
    }

    ToolResult run(const std::vector<std::string>& args) {
        std::vector<std::string> real;
        for (const std::string& arg : args) {
            real.push_back(arg.rfind("@", 0) == 0 ? dir_.path(arg.substr(1)) : arg);
        }
        return qtest::runTool(streams_.root(), real);
    }

    std::string keep() const { return dir_.path("keep.txt"); }
    std::string path(const std::string& name) const { return dir_.path(name); }

    // Runs one row and checks what every row promises.
    void check(const Row& row) {
        SCOPED_TRACE(row.what);
        ToolResult result = run(row.args);
        EXPECT_EQ(result.exitCode, row.exitCode)
            << "stdout: " << result.out.substr(0, 300) << "\nstderr: " << result.err.substr(0, 300);
        if (row.exitCode != kOk) {
            EXPECT_EQ(result.err.rfind("qorvel: ", 0), 0u) << result.err.substr(0, 300);
        }
        if (row.exitCode == kUsage) {
            EXPECT_TRUE(result.out.empty()) << result.out.substr(0, 300);
            EXPECT_TRUE(result.err.find("qorvel --help") != std::string::npos ||
                        result.err.find(" --help'") != std::string::npos)
                << result.err.substr(0, 300);
        }
        EXPECT_EQ(qtest::readFile(keep()), kKept);
    }

    static constexpr const char* kKept = "known content\n";

private:
    qtest::TempDir dir_;
    qtest::TempDir streams_;
};

TEST_F(CliBadInput, UsageErrorsExitTwoAndDoNothing) {
    for (const Row& row : usageRows()) check(row);
    // Nothing a usage error named was made.
    for (const char* name : {"a.log", "b.log", "moved.txt", "d1", "d2", "x"}) {
        EXPECT_FALSE(qtest::exists(path(name))) << name;
    }
}

TEST_F(CliBadInput, RefusedRequestsExitOne) {
    ToolResult made = run({"append", "@a dir/b c.txt", "text"});
    ASSERT_EQ(made.exitCode, kOk) << made.err;
    for (const Row& row : refusedRows()) check(row);
    EXPECT_EQ(qtest::readFile(path("a dir/b c.txt")), "text");
}

TEST_F(CliBadInput, OddButValidInputIsCarriedThrough) {
    for (const Row& row : oddButValidRows()) check(row);
    EXPECT_EQ(qtest::readFile(path("huge.txt")), kHuge);
    EXPECT_EQ(qtest::readFile(path("a dir/d e.txt")), "text");
    EXPECT_FALSE(qtest::exists(path("a dir/b c.txt")));
}

}  // namespace

// The qorvel program, run as a child process against real files: what each
// subcommand prints, on which stream, and its exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "qorvel.h"
#include "test_support.h"
#include "tool_process.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

using qtest::contains;
using qtest::kFailed;
using qtest::kOk;
using qtest::kUsage;
using qtest::ToolResult;

class Cli : public ::testing::Test {
protected:
    ToolResult run(const std::vector<std::string>& args, const std::string& input = "") {
        return qtest::runTool(streams_.root(), args, input);
    }
    std::string path(const std::string& name) const { return dir_.path(name); }
    const std::string& streams() const { return streams_.root(); }

private:
    qtest::TempDir dir_;      // the files the program works on
    qtest::TempDir streams_;  // the program's standard streams
};

// Every failure names its status word, taken apart, on standard error.
void expectFailure(const ToolResult& result, const std::string& status) {
    EXPECT_EQ(result.exitCode, kFailed);
    EXPECT_TRUE(contains(result.err, status)) << result.err;
}

std::string line(const std::string& text, size_t index) {
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return index < lines.size() ? lines[index] : std::string("<no line>");
}

// ---- The program's frame -------------------------------------------------------

TEST_F(Cli, HelpListsEveryCommandAndEachCommandHasItsOwn) {
    ToolResult help = run({"--help"});
    EXPECT_EQ(help.exitCode, kOk);
    EXPECT_TRUE(help.err.empty());
    const char* names[] = {"log", "append", "cat",     "open",  "lock",  "stat",
                           "rm",  "mv",     "mkdir",   "rmdir", "chmod", "df",
                           "pwd", "tmpdir", "version", "status"};
    for (const char* name : names) {
        EXPECT_TRUE(contains(help.out, std::string("\n  ") + name + " ")) << name;
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{name, "--help"}, std::vector<std::string>{"help", name}}) {
            ToolResult own = run(args);
            EXPECT_EQ(own.exitCode, kOk) << name;
            EXPECT_EQ(own.out.rfind(std::string("usage: qorvel ") + name, 0), 0u) << own.out;
        }
    }
}

TEST_F(Cli, CommandLineMistakesExitWithTwoAndDoNothing) {
    EXPECT_EQ(run({}).exitCode, kUsage);
    ToolResult unknown = run({"frobnicate"});
    EXPECT_EQ(unknown.exitCode, kUsage);
    EXPECT_TRUE(unknown.out.empty());
    EXPECT_TRUE(contains(unknown.err, "unknown command 'frobnicate'"));

    ToolResult programOption = run({"--frob"});
    EXPECT_EQ(programOption.exitCode, kUsage);
    EXPECT_TRUE(contains(programOption.err, "qorvel: unknown option '--frob'\n"))
        << programOption.err;

    ToolResult badOption = run({"log", path("a.log"), "--colour", "red"});
    EXPECT_EQ(badOption.exitCode, kUsage);
    EXPECT_TRUE(contains(badOption.err, "unknown option '--colour'"));
    EXPECT_TRUE(contains(badOption.err, "usage: qorvel log"));
    EXPECT_EQ(run({"log", path("a.log"), "--stamp"}).exitCode, kUsage);  // value missing
    EXPECT_EQ(run({"append", path("a.log"), "x", "--crlf=1"}).exitCode, kUsage);
    EXPECT_EQ(run({"rm"}).exitCode, kUsage);
    EXPECT_EQ(run({"mv", path("a.log")}).exitCode, kUsage);
    EXPECT_FALSE(qtest::exists(path("a.log")));
}

// Names in messages are quoted as coreutils quotes them: plain when a shell
// takes them as they are, else so that pasting them back gives the same name.
TEST_F(Cli, MessagesQuoteNamesAsAShellNeedsThem) {
    // Names of files that do not exist, relative to the current directory.
    auto refusedName = [&](const std::string& name) {
        ToolResult result = run({"cat", name});
        EXPECT_EQ(result.exitCode, kFailed);
        size_t from = result.err.find("cat: ") + 5;
        return result.err.substr(from, result.err.find(": 0x") - from);
    };
    EXPECT_EQ(refusedName("plain-name_1.txt"), "plain-name_1.txt");
    EXPECT_EQ(refusedName("two words"), "'two words'");
    EXPECT_EQ(refusedName("it's"), "\"it's\"");
    EXPECT_EQ(refusedName("it's $HOME"), "'it'\\''s $HOME'");
    EXPECT_EQ(refusedName("caf\xc3\xa9 $x"), "'caf\xc3\xa9 $x'");
#ifndef _WIN32
    EXPECT_EQ(refusedName("a\nb\xff"), "'a'$'\\n''b'$'\\377'");
#endif
}

#ifndef _WIN32
TEST_F(Cli, AFailedWriteOfStandardOutputIsSaid) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--version"}, {"--help"}, {"status", "0"}, {"cat", "--help"}}) {
        int exitCode = -1;
        std::string err;
        std::string command = qtest::toolPath();
        for (const std::string& arg : args) command += " '" + arg + "'";
        FILE* shell = popen((command + " 2>&1 >/dev/full").c_str(), "r");
        ASSERT_NE(shell, nullptr);
        char block[512];
        size_t got;
        while ((got = fread(block, 1, sizeof block, shell)) > 0) err.append(block, got);
        exitCode = WEXITSTATUS(pclose(shell));
        EXPECT_EQ(exitCode, kFailed) << args[0];
        EXPECT_TRUE(contains(err, "cannot write standard output: No space left on device\n"))
            << err;
    }
}
#endif

TEST_F(Cli, DoubleDashEndsTheOptions) {
    ToolResult result = run({"append", "--", path("--crlf"), "--crlf"});
    EXPECT_EQ(result.exitCode, kOk) << result.err;
    EXPECT_EQ(qtest::readFile(path("--crlf")), "--crlf");
}

// ---- status and version ----------------------------------------------------------

TEST_F(Cli, StatusTakesAWordApart) {
    ToolResult notFound = run({"status", "0x00020304"});
    EXPECT_EQ(notFound.exitCode, kOk);
    EXPECT_EQ(
        notFound.out,
        "status: 0x00020304\n"
        "code: 0x0304 CFILE_ERR_NOT_FOUND (the file, or a directory on its path, does not exist)\n"
        "error: 2 ERROR_FILE_NOT_FOUND (the file does not exist)\n");

    ToolResult lockViolation = run({"status", "2163463"});  // 0x00210307 in decimal
    EXPECT_EQ(line(lockViolation.out, 0), "status: 0x00210307");
    EXPECT_EQ(line(lockViolation.out, 1), "code: 0x0307 CFILE_ERR_GENERAL (any other failure)");
    EXPECT_EQ(line(lockViolation.out, 2).rfind("error: 33 ERROR_LOCK_VIOLATION", 0), 0u);

    ToolResult ownCheck = run({"status", "0x302"});
    EXPECT_EQ(line(ownCheck.out, 1),
              "code: 0x0302 CFILE_ERR_INVALID_ARG (an argument was rejected)");
    EXPECT_EQ(line(ownCheck.out, 2), "error: 0 ERROR_SUCCESS (no platform error)");

    ToolResult strange = run({"status", "0xFFFF1234"});
    EXPECT_EQ(line(strange.out, 1), "code: 0x1234 unknown (not a code of the library)");
    EXPECT_EQ(line(strange.out, 2), "error: 65535 unknown (no name known)");

    // A zero low half is success only in a word that is zero throughout.
    EXPECT_EQ(line(run({"status", "0"}).out, 1), "code: 0x0000 CFILE_OK (success)");
    EXPECT_EQ(line(run({"status", "0x12340000"}).out, 1),
              "code: 0x0000 none (a failing word without a code is not an answer of the library)");
}

TEST_F(Cli, StatusRefusesWhatIsNotAThirtyTwoBitWord) {
    for (const char* word :
         {"", "0x", "0x1G", "-1", "+5", " 5", "5 ", "0x100000000", "4294967296", "twelve"}) {
        ToolResult result = run({"status", word});
        EXPECT_EQ(result.exitCode, kUsage) << word;
        EXPECT_TRUE(result.out.empty()) << word;
    }
    EXPECT_EQ(run({"status", "4294967295"}).exitCode, kOk);
}

TEST_F(Cli, VersionPrintsTheReleaseAndTheNineWords) {
    const std::string release = "qorvel " + std::to_string(QORVEL_VERSION_MAJOR) + "." +
                                std::to_string(QORVEL_VERSION_MINOR) + "." +
                                std::to_string(QORVEL_VERSION_PATCH) + "\n";
    for (const char* option : {"--version", "-V"}) {
        ToolResult result = run({option});
        EXPECT_EQ(result.exitCode, kOk) << option;
        EXPECT_EQ(result.out, release) << option;
        EXPECT_TRUE(result.err.empty()) << option;
    }
    EXPECT_EQ(run({"--version", "extra"}).exitCode, kUsage);

    ToolResult explained = run({"version"});
    EXPECT_EQ(explained.exitCode, kOk);
    EXPECT_EQ(line(explained.out, 0) + "\n", release);
    EXPECT_EQ(line(explained.out, 1), "cFileVersion: 0 3 202 6 0 0 0 1 5");
    EXPECT_TRUE(contains(explained.out, "QORVEL_VERSION_MAJOR")) << explained.out;

    ToolResult words = run({"version", "--words"});
    EXPECT_EQ(words.exitCode, kOk);
    EXPECT_EQ(words.out, "0 3 202 6 0 0 0 1 5\n");
    EXPECT_EQ(run({"version", "extra"}).exitCode, kUsage);
}

// ---- log -------------------------------------------------------------------------------

TEST_F(Cli, LogWritesTheRecordWithCrLfAndPrintsTheLine) {
    std::string log = path("app.log");
    ToolResult result = run({"log",
                             log,
                             "--stamp",
                             "start",
                             "--severity",
                             "2",
                             "--event",
                             "disk",
                             "--user",
                             "operator",
                             "--app",
                             "backup",
                             "--version-text",
                             "2.1",
                             "--function",
                             "archive",
                             "--value",
                             "-5",
                             "--phase",
                             "copy",
                             "--result",
                             "7",
                             "--trace",
                             "Y"});
    std::string expected =
        "/D=start /S=Warn /E=disk /U=operator /A=backup /V=2.1 /F=archive /O=-5 /P=copy /R=7 /T=Y";
    EXPECT_EQ(result.exitCode, kOk) << result.err;
    EXPECT_EQ(result.out, expected + "\n");
    EXPECT_EQ(qtest::readFile(log), expected + "\r\n");

    ToolResult second =
        run({"log", log, "--stamp=", "--value", "-2147483648", "--result", "-32768"});
    EXPECT_EQ(second.exitCode, kOk) << second.err;
    EXPECT_EQ(
        qtest::readFile(log),
        expected +
            "\r\n/D= /S=Err /E=NA /U=NA /A=NA /V=0 /F=NA /O=-2147483648 /P=NA /R=-32768 /T=N\r\n");
}

TEST_F(Cli, LogWithoutOptionsWritesTheFallbacksAndTheClock) {
    std::string log = path("plain.log");
    ToolResult result = run({"log", log});
    EXPECT_EQ(result.exitCode, kOk) << result.err;
    std::regex shape(
        "/D=[0-9]{2,3}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} "
        "/S=Err /E=NA /U=NA /A=NA /V=0 /F=NA /O=0 /P=NA /R=0 /T=N\n");
    EXPECT_TRUE(std::regex_match(result.out, shape)) << result.out;
    EXPECT_EQ(qtest::readFile(log), result.out.substr(0, result.out.size() - 1) + "\r\n");
}

TEST_F(Cli, LogRefusesNumbersOutOfRangeAndWritesNothing) {
    std::string log = path("never.log");
    for (const std::vector<std::string>& options : {std::vector<std::string>{"--severity", "32768"},
                                                    {"--severity", "x"},
                                                    {"--value", "2147483648"},
                                                    {"--result", "-32769"},
                                                    {"--result", "1.5"}}) {
        std::vector<std::string> args = {"log", log};
        args.insert(args.end(), options.begin(), options.end());
        ToolResult result = run(args);
        EXPECT_EQ(result.exitCode, kUsage) << options[0] << " " << options[1];
        EXPECT_TRUE(contains(result.err, "takes a whole number")) << result.err;
    }
    EXPECT_FALSE(qtest::exists(log));
}

TEST_F(Cli, LogIntoAMissingDirectoryFailsWithTheStatus) {
    ToolResult result = run({"log", path("no-such-dir/app.log"), "--stamp", "x"});
    expectFailure(result, "0x00030304 CFILE_ERR_NOT_FOUND");
    EXPECT_TRUE(contains(result.err, "Win32 error 3 ERROR_PATH_NOT_FOUND")) << result.err;
    EXPECT_TRUE(result.out.empty());
}

// ---- append ---------------------------------------------------------------------------

TEST_F(Cli, AppendAddsTheTextAtTheEnd) {
    std::string file = path("notes.txt");
    EXPECT_EQ(run({"append", file, "one"}).exitCode, kOk);
    EXPECT_EQ(run({"append", file, " two", "--crlf"}).exitCode, kOk);
    EXPECT_EQ(run({"append", file, ""}).exitCode, kOk);
    EXPECT_EQ(qtest::readFile(file), "one two\r\n");

    std::string empty = path("empty.txt");
    ToolResult created = run({"append", empty, ""});
    EXPECT_EQ(created.exitCode, kOk);
    EXPECT_TRUE(created.out.empty());
    EXPECT_TRUE(qtest::exists(empty));
    EXPECT_EQ(qtest::fileSize(empty), 0u);
}

TEST_F(Cli, AppendFromStandardInputKeepsEveryByte) {
    std::string file = path("binary.dat");
    qtest::writeFile(file, "head\n");
    std::string input = "line\r\nbare\rlf\n\x01\x7f\x80\xff end";
    ToolResult result = run({"append", file, "-"}, input);
    EXPECT_EQ(result.exitCode, kOk) << result.err;
    EXPECT_EQ(qtest::readFile(file), "head\n" + input);
}

TEST_F(Cli, AppendRefusesInputWithANulByteAndWritesNothing) {
    std::string file = path("kept.txt");
    qtest::writeFile(file, "before");
    ToolResult result = run({"append", file, "-"}, std::string("abc\0def", 7));
    EXPECT_EQ(result.exitCode, kFailed);
    EXPECT_TRUE(contains(result.err, "NUL byte at offset 3")) << result.err;
    EXPECT_EQ(qtest::readFile(file), "before");

    EXPECT_EQ(run({"append", path("fresh.txt"), "-"}, std::string("\0", 1)).exitCode, kFailed);
    EXPECT_FALSE(qtest::exists(path("fresh.txt")));
}

TEST_F(Cli, AppendFailuresCarryTheirStatus) {
    expectFailure(run({"append", path("missing/x.txt"), "text"}), "0x00030304 CFILE_ERR_NOT_FOUND");
    std::filesystem::create_directory(path("a-dir"));
    expectFailure(run({"append", path("a-dir"), "text"}), "CFILE_ERR_ACCESS");
    expectFailure(run({"append", "", "text"}), "0x00000302 CFILE_ERR_INVALID_ARG");
}

// ---- cat ------------------------------------------------------------------------------

TEST_F(Cli, CatCopiesTheFileInBlocksByteForByte) {
    std::string content;
    for (int i = 0; content.size() < 200 * 1024 + 7; ++i) content += static_cast<char>(i * 7 % 256);
    std::string file = path("big.bin");
    qtest::writeFile(file, content);
    ToolResult result = run({"cat", file});
    EXPECT_EQ(result.exitCode, kOk) << result.err;
    EXPECT_TRUE(result.out == content) << "output of " << result.out.size() << " bytes differs";

    qtest::writeFile(path("empty"), "");
    ToolResult empty = run({"cat", path("empty")});
    EXPECT_EQ(empty.exitCode, kOk);
    EXPECT_TRUE(empty.out.empty());
}

TEST_F(Cli, CatFailuresCarryTheirStatus) {
    ToolResult missing = run({"cat", path("missing.txt")});
    expectFailure(missing, "0x00020304 CFILE_ERR_NOT_FOUND");
    EXPECT_TRUE(contains(missing.err, "Win32 error 2 ERROR_FILE_NOT_FOUND"));
    EXPECT_TRUE(missing.out.empty());
    std::filesystem::create_directory(path("dir"));
    expectFailure(run({"cat", path("dir")}), "0x00050301 CFILE_ERR_ACCESS");
}

// ---- stat -----------------------------------------------------------------------------

TEST_F(Cli, StatShowsSizeReadOnlyStateAndTime) {
    std::string file = path("ten.txt");
    qtest::writeFile(file, "0123456789");
    ToolResult result = run({"stat", file});
    EXPECT_EQ(result.exitCode, kOk) << result.err;
    EXPECT_EQ(line(result.out, 0), "exists: 1");
    EXPECT_EQ(line(result.out, 1), "size: 10");
    EXPECT_EQ(line(result.out, 2), "read-only: 0");
    EXPECT_TRUE(std::regex_match(line(result.out, 3), std::regex("time: [1-9][0-9]*")))
        << line(result.out, 3);
    EXPECT_TRUE(std::regex_match(
        line(result.out, 4),
        std::regex("local-time: [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}")))
        << line(result.out, 4);

    EXPECT_EQ(run({"chmod", "--read-only", file}).exitCode, kOk);
    EXPECT_EQ(line(run({"stat", file}).out, 2), "read-only: 1");
    EXPECT_EQ(run({"chmod", "--writable", file}).exitCode, kOk);
    EXPECT_EQ(line(run({"stat", file}).out, 2), "read-only: 0");
}

TEST_F(Cli, StatOfAMissingPathFailsAndShowsNoValues) {
    ToolResult result = run({"stat", path("missing.txt")});
    expectFailure(result, "0x00020304 CFILE_ERR_NOT_FOUND");
    EXPECT_EQ(result.out, "exists: 0\nsize: -\nread-only: -\ntime: -\nlocal-time: -\n");
}

// ---- rm, mv, mkdir, rmdir, chmod --------------------------------------------------------

TEST_F(Cli, RemoveDeletesAFileAndRefusesWhatItMustKeep) {
    std::string file = path("gone.txt");
    qtest::writeFile(file, "x");
    ToolResult removed = run({"rm", file});
    EXPECT_EQ(removed.exitCode, kOk) << removed.err;
    EXPECT_TRUE(removed.out.empty());
    EXPECT_FALSE(qtest::exists(file));

    expectFailure(run({"rm", file}), "0x00020304 CFILE_ERR_NOT_FOUND");
    expectFailure(run({"rm", ""}), "0x00000302 CFILE_ERR_INVALID_ARG");

    std::string readOnly = path("kept.txt");
    qtest::writeFile(readOnly, "keep me");
    ASSERT_EQ(run({"chmod", "--read-only", readOnly}).exitCode, kOk);
    expectFailure(run({"rm", readOnly}), "0x00050301 CFILE_ERR_ACCESS");
    EXPECT_EQ(qtest::readFile(readOnly), "keep me");
}

TEST_F(Cli, RemoveRefusesAFileAnotherProcessHoldsOpen) {
    std::string file = path("held.txt");
    qtest::writeFile(file, "held");
    qtest::Child holder;
    int32_t handle = -1;
    ASSERT_EQ(holder.open("open", file, CFILE_ACCESS_READ | CFILE_SHARE_READWRITE, &handle), 0u);
    expectFailure(run({"rm", file}), "0x00200306 CFILE_ERR_SHARING");
    EXPECT_EQ(qtest::readFile(file), "held");
    EXPECT_EQ(holder.status("close " + std::to_string(handle)), 0u);
    EXPECT_EQ(run({"rm", file}).exitCode, kOk);
}

TEST_F(Cli, RenameMovesAndNeverReplaces) {
    std::string from = path("from.txt"), to = path("to.txt");
    qtest::writeFile(from, "moving");
    EXPECT_EQ(run({"mv", from, to}).exitCode, kOk);
    EXPECT_FALSE(qtest::exists(from));
    EXPECT_EQ(qtest::readFile(to), "moving");

    qtest::writeFile(from, "second");
    expectFailure(run({"mv", from, to}), "0x00B70307 CFILE_ERR_GENERAL");
    EXPECT_EQ(qtest::readFile(from), "second");
    EXPECT_EQ(qtest::readFile(to), "moving");
    expectFailure(run({"mv", path("missing"), path("other")}), "0x00020304");
}

TEST_F(Cli, DirectoriesAreMadeAndRemoved) {
    std::string directory = path("sub");
    EXPECT_EQ(run({"mkdir", directory}).exitCode, kOk);
    EXPECT_TRUE(std::filesystem::is_directory(directory));
    expectFailure(run({"mkdir", directory}), "0x00B70307");
    expectFailure(run({"mkdir", path("no/such/parent")}), "0x00030304");

    qtest::writeFile(directory + "/inside.txt", "x");
    expectFailure(run({"rmdir", directory}), "0x00910301 CFILE_ERR_ACCESS");
    EXPECT_TRUE(qtest::exists(directory + "/inside.txt"));
    EXPECT_EQ(run({"rm", directory + "/inside.txt"}).exitCode, kOk);
    EXPECT_EQ(run({"rmdir", directory}).exitCode, kOk);
    EXPECT_FALSE(qtest::exists(directory));
    expectFailure(run({"rmdir", directory}), "0x00020304");
}

TEST_F(Cli, AReadOnlyDirectoryIsReportedAndKept) {
    if (qtest::runningUnderWine()) {
        GTEST_SKIP() << "Wine drops a directory's read-only attribute; Windows keeps it";
    }
    std::string directory = path("kept");
    ASSERT_EQ(run({"mkdir", directory}).exitCode, kOk);
    EXPECT_EQ(run({"chmod", "--read-only", directory}).exitCode, kOk);
    EXPECT_EQ(line(run({"stat", directory}).out, 2), "read-only: 1");
    expectFailure(run({"rmdir", directory}), "0x00050301 CFILE_ERR_ACCESS");
    EXPECT_TRUE(std::filesystem::is_directory(directory));
    EXPECT_EQ(run({"chmod", "--writable", directory}).exitCode, kOk);
    EXPECT_EQ(line(run({"stat", directory}).out, 2), "read-only: 0");
    EXPECT_EQ(run({"rmdir", directory}).exitCode, kOk);
}

TEST_F(Cli, ChmodNeedsExactlyOneStateAndAnExistingPath) {
    std::string file = path("f.txt");
    qtest::writeFile(file, "x");
    EXPECT_EQ(run({"chmod", file}).exitCode, kUsage);
    EXPECT_EQ(run({"chmod", "--read-only", "--writable", file}).exitCode, kUsage);
    ToolResult missing = run({"chmod", "--writable", path("missing.txt")});
    EXPECT_EQ(missing.exitCode, kFailed);
    EXPECT_TRUE(contains(missing.err, "cFileSetAttribute failed")) << missing.err;
}

// ---- df, pwd, tmpdir ------------------------------------------------------------------

TEST_F(Cli, DiskFreePrintsANumberOfBytes) {
    ToolResult result = run({"df", streams()});
    EXPECT_EQ(result.exitCode, kOk) << result.err;
    EXPECT_TRUE(std::regex_match(result.out, std::regex("[0-9]+\n"))) << result.out;
    ToolResult empty = run({"df", ""});
    expectFailure(empty, "0x00000302 CFILE_ERR_INVALID_ARG");
    EXPECT_TRUE(empty.out.empty());
}

// The export measures a missing path where it would be and still answers the
// failed look at it: a script reading standard output must see nothing.
TEST_F(Cli, DiskFreeOfAMissingPathPrintsNothingOnStandardOutput) {
    ToolResult missing = run({"df", path("missing/deeper")});
    expectFailure(missing, "0x0002");
    EXPECT_EQ(missing.out, "");
    EXPECT_TRUE(contains(missing.err, "free bytes")) << missing.err;
}

TEST_F(Cli, PwdAndTmpdirPrintDirectories) {
    ToolResult pwd = run({"pwd"});
    EXPECT_EQ(pwd.exitCode, kOk) << pwd.err;
    EXPECT_EQ(pwd.out, std::filesystem::current_path().string() + "\n");

    ToolResult tmpdir = run({"tmpdir"});
    EXPECT_EQ(tmpdir.exitCode, kOk) << tmpdir.err;
    ASSERT_GE(tmpdir.out.size(), 2u);
    std::string directory = tmpdir.out.substr(0, tmpdir.out.size() - 1);
    EXPECT_TRUE(directory.back() == '/' || directory.back() == '\\') << directory;
    EXPECT_TRUE(std::filesystem::is_directory(directory)) << directory;
    EXPECT_EQ(run({"pwd", "extra"}).exitCode, kUsage);
}

// ---- open --------------------------------------------------------------------------

TEST_F(Cli, OpenHeldWithoutSharingRefusesCatFromAnotherProcess) {
    std::string file = path("held file.txt");
    qtest::writeFile(file, "content");
    qtest::RunningTool holder(streams(), {"open", file, "--mode", "read-write,deny-all", "--wait"});
    ASSERT_EQ(holder.readLine(), "opened mode 0x0004");

    ToolResult refused = run({"cat", file});
    expectFailure(refused, "0x00200306 CFILE_ERR_SHARING");
    EXPECT_TRUE(contains(refused.err, "ERROR_SHARING_VIOLATION")) << refused.err;
    EXPECT_TRUE(refused.out.empty());
    expectFailure(run({"append", file, "more"}), "0x00200306");

    ToolResult closed = holder.finish();
    EXPECT_EQ(closed.exitCode, kOk) << closed.err;
    EXPECT_EQ(closed.out, "closed\n");
    EXPECT_EQ(run({"cat", file}).out, "content");
}

TEST_F(Cli, OpenSharingReadLetsCatInButKeepsWritersOut) {
    std::string file = path("shared.txt");
    qtest::writeFile(file, "abc");
    qtest::RunningTool holder(streams(), {"open", file, "--mode", "read,deny-write", "--wait"});
    ASSERT_EQ(holder.readLine(), "opened mode 0x0021");
    EXPECT_EQ(run({"cat", file}).out, "abc");
    expectFailure(run({"append", file, "d"}), "0x00200306");
    EXPECT_EQ(holder.finish().exitCode, kOk);
    EXPECT_EQ(qtest::readFile(file), "abc");
}

TEST_F(Cli, OpenTakesAnyModeWordAndTheLibraryJudgesIt) {
    std::string file = path("data.txt");
    qtest::writeFile(file, "x");
    ToolResult numeric = run({"open", file, "--mode", "0x0021"});
    EXPECT_EQ(numeric.exitCode, kOk) << numeric.err;
    EXPECT_EQ(numeric.out, "opened mode 0x0021\nclosed\n");
    expectFailure(run({"open", file, "--mode", "0x0008"}), "0x00000302");
    expectFailure(run({"open", file, "--mode", "0"}), "0x00000302");
    expectFailure(run({"open", path("missing.txt"), "--mode", "read"}), "0x00020304");
    // Creating with a mode that asks to read is the library's own refusal.
    expectFailure(run({"open", path("new.txt"), "--create", "--mode", "read"}), "0x00000307");
    EXPECT_FALSE(qtest::exists(path("new.txt")));
    ToolResult created = run({"open", path("new.txt"), "--create", "--mode", "write"});
    EXPECT_EQ(created.exitCode, kOk) << created.err;
    EXPECT_TRUE(qtest::exists(path("new.txt")));
}

// An access name alone shares everything, as the program's own opens do;
// creating without --mode opens for writing, the access cFileCreate takes.
TEST_F(Cli, ModeNamesShareUnlessADenialIsNamed) {
    std::string file = path("names.txt");
    ToolResult created = run({"open", file, "--create"});
    EXPECT_EQ(created.exitCode, kOk) << created.err;
    EXPECT_EQ(created.out, "opened mode 0x0042\nclosed\n");
    EXPECT_EQ(run({"open", file, "--mode", "read"}).out, "opened mode 0x0041\nclosed\n");
    EXPECT_EQ(run({"open", file, "--mode", "read-write"}).out, "opened mode 0x0044\nclosed\n");
    EXPECT_EQ(run({"open", file, "--mode", "read,deny-all"}).out, "opened mode 0x0001\nclosed\n");
    EXPECT_EQ(run({"open", file}).out, "opened mode 0x0041\nclosed\n");

    qtest::RunningTool reader(streams(), {"open", file, "--mode", "read", "--wait"});
    ASSERT_EQ(reader.readLine(), "opened mode 0x0041");
    EXPECT_EQ(run({"append", file, "more"}).exitCode, kOk);  // writing is shared
    EXPECT_EQ(reader.finish().exitCode, kOk);
    EXPECT_EQ(qtest::readFile(file), "more");
}

// ---- lock -----------------------------------------------------------------------------

TEST_F(Cli, LockTakesAndReleasesTheRange) {
    std::string file = path("data.bin");
    qtest::writeFile(file, std::string(200, 'd'));
    ToolResult result = run({"lock", file, "0", "0x64"});
    EXPECT_EQ(result.exitCode, kOk) << result.err;
    EXPECT_EQ(result.out, "locked 0 100\nunlocked 0 100\n");
    EXPECT_EQ(qtest::readFile(file), std::string(200, 'd'));
}

TEST_F(Cli, LockHeldByOneProcessRefusesASecond) {
    std::string file = path("shared.bin");
    qtest::writeFile(file, std::string(1000, 's'));
    qtest::RunningTool holder(streams(), {"lock", file, "0", "100", "--wait"});
    ASSERT_EQ(holder.readLine(), "locked 0 100");

    ToolResult refused = run({"lock", file, "50", "100"});
    expectFailure(refused, "0x00210307 CFILE_ERR_GENERAL");
    EXPECT_TRUE(contains(refused.err, "ERROR_LOCK_VIOLATION")) << refused.err;
    EXPECT_TRUE(refused.out.empty());
    EXPECT_EQ(run({"lock", file, "100", "10"}).exitCode, kOk);  // adjacent, not overlapping

    ToolResult released = holder.finish();
    EXPECT_EQ(released.exitCode, kOk) << released.err;
    EXPECT_EQ(released.out, "unlocked 0 100\n");
    EXPECT_EQ(run({"lock", file, "50", "100"}).exitCode, kOk);
    EXPECT_EQ(qtest::readFile(file), std::string(1000, 's'));
}

TEST_F(Cli, LockRefusesBadRangesAndMissingFiles) {
    std::string file = path("data.bin");
    qtest::writeFile(file, "x");
    EXPECT_EQ(run({"lock", file, "-1", "10"}).exitCode, kUsage);
    EXPECT_EQ(run({"lock", file, "0", "4294967296"}).exitCode, kUsage);
    EXPECT_EQ(run({"lock", file, "0", "10", "--hold", "soon"}).exitCode, kUsage);
    EXPECT_EQ(run({"lock", file, "0", "10", "--hold", "1", "--wait"}).exitCode, kUsage);
    expectFailure(run({"lock", path("missing.bin"), "0", "10"}), "0x00020304");
    // A range beyond 4 GiB is the library's to judge, not the program's.
    ToolResult beyond = run({"lock", file, "0xFFFFFFF0", "0x100"});
    EXPECT_EQ(beyond.exitCode, kOk) << beyond.err;
}

}  // namespace

// qorvel: a command-line host of the library. Each subcommand makes the
// library calls its help names and prints what they answer.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli.h"

namespace qorvel_cli {
namespace {

const char kProgramHelp[] =
    "usage: qorvel COMMAND [ARGUMENTS...]\n"
    "       qorvel COMMAND --help\n"
    "       qorvel --help\n"
    "       qorvel --version | -V\n"
    "\n"
    "Files, directories and volumes through the qorvel library, as a host\n"
    "sees them. Each command makes the library calls named in its help.\n"
    "\n"
    "Commands:\n";

const char kProgramHelpEnd[] =
    "\n"
    "Results go to standard output as plain text, one item per line. A failure\n"
    "prints the status word, taken apart, on standard error.\n"
    "Exit status: 0 success, 1 the request failed, 2 the command line was wrong.\n";

}  // namespace

std::string releaseLine() {
    return "qorvel " + std::to_string(QORVEL_VERSION_MAJOR) + "." +
           std::to_string(QORVEL_VERSION_MINOR) + "." + std::to_string(QORVEL_VERSION_PATCH);
}

namespace {

const Command* findCommand(const std::string& name) {
    for (const Command& command : commands()) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

int printProgramHelp() {
    std::string text = kProgramHelp;
    for (const Command& command : commands()) {
        std::string name = command.name;
        text += "  " + name + std::string(name.size() < 9 ? 9 - name.size() : 1, ' ') +
                command.summary + "\n";
    }
    text += kProgramHelpEnd;
    return printResult("", text);
}

int printCommandHelp(const Command& command) {
    std::string text = std::string("usage: qorvel ") + command.synopsis + "\n\n" + command.summary +
                       ".\n" + command.details;
    return printResult(command.name, text);
}

bool asksForHelp(const std::vector<std::string>& words) {
    for (const std::string& word : words) {
        if (word == "--") return false;
        if (word == "--help" || word == "-h") return true;
    }
    return false;
}

int programUsageError(const std::string& message) {
    std::string text = "qorvel: " + message + "\nTry 'qorvel --help'.\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    return kExitUsage;
}

// A first word that names no command: an option when it starts with a dash.
int unknownWord(const std::string& word) {
    bool option = !word.empty() && word[0] == '-';
    return programUsageError(std::string(option ? "unknown option " : "unknown command ") +
                             quoted(word, true));
}

int runCommand(const Command& command, const std::vector<std::string>& words) {
    if (asksForHelp(words)) return printCommandHelp(command);
    Arguments arguments;
    std::string error;
    if (!parseArguments(words, command.options, &arguments, &error)) {
        return usageError(command, error);
    }
    return command.run(command, arguments);
}

}  // namespace

const std::vector<Command>& commands() {
    static const std::vector<Command> list = [] {
        std::vector<Command> all;
        addFileCommands(&all);
        addPathCommands(&all);
        addQueryCommands(&all);
        addHoldersCommand(&all);
        addCheckCommand(&all);
        return all;
    }();
    return list;
}

int main(int argc, char** argv) {
    useBinaryStandardStreams();
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty()) return programUsageError("no command given");
    std::string name = words.front();
    words.erase(words.begin());
    if (name == "--help" || name == "-h") return printProgramHelp();
    if (name == "--version" || name == "-V") {
        if (!words.empty()) return programUsageError(name + " takes no arguments");
        return printResult("", releaseLine() + "\n");
    }
    if (name == "help") {
        if (words.empty()) return printProgramHelp();
        const Command* command = findCommand(words.front());
        if (command == nullptr) return unknownWord(words.front());
        return printCommandHelp(*command);
    }
    const Command* command = findCommand(name);
    if (command == nullptr) return unknownWord(name);
    return runCommand(*command, words);
}

}  // namespace qorvel_cli

int main(int argc, char** argv) { return qorvel_cli::main(argc, argv); }

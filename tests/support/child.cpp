// The helper process of qtest::Child: this test program, started again with
// kChildFlag, making library calls on command over its standard input and
// output. Library handles are inheritable, so the parent passes the child
// nothing but the two pipes: a handle the child inherited would keep the
// parent's open file, and its locks, alive.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "qorvel.h"
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

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

uint32_t number(const std::string& token) {
    return static_cast<uint32_t>(std::strtoul(token.c_str(), nullptr, 0));
}

std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char next = text[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string restAfter(const std::string& line, int tokens) {
    size_t position = 0;
    for (int i = 0; i < tokens && position != std::string::npos; ++i) {
        position = line.find(' ', position);
        if (position != std::string::npos) ++position;
    }
    return position == std::string::npos ? std::string() : line.substr(position);
}

// THREADS threads append COUNT lines "PREFIX-<thread>-<i>\r\n" each, all at
// once; answers the first failure any of them met, or 0.
cFileStatus appendFromThreads(const std::string& path, const std::string& prefix,
                              uint32_t threads, uint32_t count) {
    std::vector<cFileStatus> failures(threads, 0);
    std::vector<std::thread> workers;
    for (uint32_t t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (uint32_t i = 0; i < count && failures[t] == 0; ++i) {
                std::string text =
                    prefix + "-" + std::to_string(t) + "-" + std::to_string(i) + "\r\n";
                failures[t] = cFileWriteToFile(path.c_str(), text.c_str());
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    for (cFileStatus failure : failures) {
        if (failure != 0) return failure;
    }
    return 0;
}

std::string run(const std::string& line) {
    std::vector<std::string> t = split(line);
    if (t.empty()) return "error empty";
    const std::string& verb = t[0];
    if ((verb == "open" || verb == "create") && t.size() == 3) {
        cFileHandle handle = 12345;
        cFileStatus status = verb == "open"
                                 ? cFileOpen(t[1].c_str(), cFileMode(number(t[2])), &handle)
                                 : cFileCreate(t[1].c_str(), cFileMode(number(t[2])), 0, &handle);
        return hex(status) + " " + std::to_string(handle);
    }
    if (verb == "close" && t.size() == 2) return hex(cFileClose(cFileHandle(std::stol(t[1]))));
    if ((verb == "lock" || verb == "unlock") && t.size() == 4) {
        cFileHandle handle = cFileHandle(std::stol(t[1]));
        return hex(verb == "lock" ? cFileLock(handle, number(t[2]), number(t[3]))
                                  : cFileUnlock(handle, number(t[2]), number(t[3])));
    }
    if (verb == "append" && t.size() >= 2) {
        return hex(cFileWriteToFile(t[1].c_str(), unescape(restAfter(line, 2)).c_str()));
    }
    if (verb == "appendlines" && t.size() == 4) {
        uint32_t count = number(t[3]);
        for (uint32_t i = 0; i < count; ++i) {
            std::string text = t[2] + "-" + std::to_string(i) + "\r\n";
            cFileStatus status = cFileWriteToFile(t[1].c_str(), text.c_str());
            if (status != 0) return hex(status);
        }
        return hex(0);
    }
    if (verb == "appendthreads" && t.size() == 5) {
        return hex(appendFromThreads(t[1], t[2], number(t[3]), number(t[4])));
    }
    if (verb == "remove" && t.size() == 2) return hex(cFileRemove(t[1].c_str()));
    if (verb == "rename" && t.size() == 3) return hex(cFileRename(t[1].c_str(), t[2].c_str()));
    return "error unknown command";
}

}  // namespace

int childMain() {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::cout << run(line) << std::endl;
    }
    return 0;
}

#ifdef _WIN32

struct Child::Impl {
    HANDLE toChild = nullptr;
    HANDLE fromChild = nullptr;
    PROCESS_INFORMATION process = {};
};

Child::Child() : impl_(new Impl) {
    SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &impl_->toChild, &inherit, 0) ||
        !CreatePipe(&impl_->fromChild, &childOut, &inherit, 0)) {
        throw std::runtime_error("CreatePipe failed");
    }
    SetHandleInformation(impl_->toChild, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(impl_->fromChild, HANDLE_FLAG_INHERIT, 0);

    // Only the two pipe ends may reach the child.
    HANDLE inherited[2] = {childIn, childOut};
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
    startup.StartupInfo.hStdInput = childIn;
    startup.StartupInfo.hStdOutput = childOut;
    startup.StartupInfo.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.lpAttributeList = list;

    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string commandLine = std::string("\"") + self + "\" " + kChildFlag;
    BOOL started = CreateProcessA(self, &commandLine[0], nullptr, nullptr, TRUE,
                                  EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                                  &startup.StartupInfo, &impl_->process);
    DeleteProcThreadAttributeList(list);
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (!started) throw std::runtime_error("CreateProcess failed");
}

Child::~Child() {
    CloseHandle(impl_->toChild);
    WaitForSingleObject(impl_->process.hProcess, 30000);
    CloseHandle(impl_->fromChild);
    CloseHandle(impl_->process.hProcess);
    CloseHandle(impl_->process.hThread);
    delete impl_;
}

std::string Child::call(const std::string& command) {
    std::string line = command + "\n";
    DWORD written = 0;
    WriteFile(impl_->toChild, line.data(), DWORD(line.size()), &written, nullptr);
    std::string reply;
    char c;
    DWORD got = 0;
    while (ReadFile(impl_->fromChild, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
        if (c != '\r') reply += c;
    }
    return reply;
}

#else

struct Child::Impl {
    int toChild = -1;
    int fromChild = -1;
    pid_t pid = -1;
};

Child::Child() : impl_(new Impl) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // The program's own path, not /proc/self/exe itself: under valgrind that
    // names the tool, while readlink answers the program it runs.
    char self[PATH_MAX] = "/proc/self/exe";
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) self[length] = '\0';
    char flag[64];
    std::snprintf(flag, sizeof flag, "%s", kChildFlag);
    char* argv[] = {self, flag, nullptr};
    int error = posix_spawn(&impl_->pid, self, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (error != 0) throw std::runtime_error("posix_spawn failed");
    impl_->toChild = in[1];
    impl_->fromChild = out[0];
}

Child::~Child() {
    close(impl_->toChild);
    int status = 0;
    waitpid(impl_->pid, &status, 0);
    close(impl_->fromChild);
    delete impl_;
}

std::string Child::call(const std::string& command) {
    std::string line = command + "\n";
    if (write(impl_->toChild, line.data(), line.size()) != ssize_t(line.size())) return "error write";
    std::string reply;
    char c;
    while (read(impl_->fromChild, &c, 1) == 1 && c != '\n') reply += c;
    return reply;
}

#endif

uint32_t Child::status(const std::string& command) {
    std::vector<std::string> reply = split(call(command));
    if (reply.empty()) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(std::strtoul(reply[0].c_str(), nullptr, 16));
}

uint32_t Child::open(const std::string& verb, const std::string& path, unsigned mode,
                     int32_t* handle) {
    std::vector<std::string> reply = split(call(verb + " " + path + " " + std::to_string(mode)));
    if (reply.size() != 2) return 0xFFFFFFFFu;
    *handle = static_cast<int32_t>(std::stol(reply[1]));
    return static_cast<uint32_t>(std::strtoul(reply[0].c_str(), nullptr, 16));
}

}  // namespace qtest

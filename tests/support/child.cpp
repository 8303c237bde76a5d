// The helper process of qtest::Child: this test program, started again with
// kChildFlag, making library calls on command over its standard input and
// output. Library handles are inheritable, so the parent passes the child
// nothing but the two pipes: a handle the child inherited would keep the
// parent's open file, and its locks, alive.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "qorvel.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include "process.h"

#ifndef _WIN32
#include <limits.h>
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
cFileStatus appendFromThreads(const std::string& path, const std::string& prefix, uint32_t threads,
                              uint32_t count) {
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
    if (verb == "writeat" && t.size() == 4) {  // writeat HANDLE OFFSET TEXT
        cFileHandle handle = cFileHandle(std::stol(t[1]));
        cFileStatus status = cFileSeek(handle, number(t[2]), CFILE_SEEK_BEGIN, nullptr);
        uint32_t count = 0;
        if (status == 0) status = cFileWrite(handle, t[3].data(), uint32_t(t[3].size()), &count);
        return hex(status);
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
    if (verb == "sleep" && t.size() == 2) {
        std::this_thread::sleep_for(std::chrono::seconds(number(t[1])));
        return hex(0);
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

struct Child::Impl {
    PipeEnd toChild;
    PipeEnd fromChild;
    ProcessId process;
    bool ended = false;
};

namespace {

std::string thisProgram() {
#ifdef _WIN32
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    return std::string(self, length);
#else
    // The program's own path, not /proc/self/exe itself: under valgrind that
    // names the tool, while readlink answers the program it runs.
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    return length > 0 ? std::string(self, size_t(length)) : std::string("/proc/self/exe");
#endif
}

}  // namespace

Child::Child() : impl_(new Impl) {
    PipedProcess started = startPiped(thisProgram(), {kChildFlag});
    impl_->process = started.process;
    impl_->toChild = started.toChild;
    impl_->fromChild = started.fromChild;
}

// Closing its input ends the helper; one that does not reply any more has
// been ended already.
Child::~Child() {
    closePipeEnd(impl_->toChild);
    waitForExit(impl_->process);
    closePipeEnd(impl_->fromChild);
    delete impl_;
}

std::string Child::call(const std::string& command, std::chrono::seconds limit) {
    if (impl_->ended) return "error ended";
    std::string line = command + "\n";
#ifdef _WIN32
    DWORD written = 0;
    bool sent = WriteFile(impl_->toChild, line.data(), static_cast<DWORD>(line.size()), &written,
                          nullptr) &&
                written == line.size();
#else
    bool sent =
        write(impl_->toChild, line.data(), line.size()) == static_cast<ssize_t>(line.size());
#endif
    if (!sent) return "error write";
    std::string reply;
    LineRead state =
        readLineUntil(impl_->fromChild, std::chrono::steady_clock::now() + limit, &reply);
    if (state == LineRead::kTimeout) {
        // A hung helper fails the test now, not at the test runner's limit.
        ADD_FAILURE() << "the helper process gave no reply to \"" << command << "\" within "
                      << limit.count() << " s; it is ended";
        killProcess(impl_->process);
        impl_->ended = true;
        return "error timeout";
    }
    if (state == LineRead::kEnd) return "error ended";
    if (!reply.empty() && reply.back() == '\r') reply.pop_back();
    return reply;
}

void Child::kill() {
    if (impl_->ended) return;
    killProcess(impl_->process);
    impl_->ended = true;
}

uint32_t Child::status(const std::string& command, std::chrono::seconds limit) {
    std::vector<std::string> reply = split(call(command, limit));
    // "error ..." is the helper's own failure, never a status word.
    if (reply.empty() || reply[0] == "error") return 0xFFFFFFFFu;
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

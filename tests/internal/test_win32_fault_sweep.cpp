// The fault sweep of the Windows backend: every export, every KERNEL32 call
// of the table it makes, every error that call can give. The same sweep as
// test_posix_fault_sweep.cpp, over qorvel::platform::win32::kernel32: the
// k-th call of each entry fails (k = 1, 2, ... until the call completes
// without reaching k) and the run must answer the failure's status (or a
// listed recovery), leave no handle open, leave the file opening with every
// mode and locking whole, and leave the directory as before or as the
// fault-free call leaves it. The C run time's calls (file status,
// permissions) are not in the table and not swept.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/kernel32.h"
#include "qorvel.h"
#include "struct_fields.h"
#include "test_support.h"

namespace fs = std::filesystem;
using qorvel::platform::win32::kDefaultKernel32Calls;
using qorvel::platform::win32::kernel32;
using qorvel::platform::win32::Kernel32Calls;

namespace {

constexpr std::size_t kEntries = qtest::fieldCount<Kernel32Calls>();
static_assert(sizeof(Kernel32Calls) == kEntries * sizeof(void (*)()),
              "every member of the KERNEL32 table is one function pointer");

// ---- What each entry can fail with ------------------------------------------

struct EntryFacts {
    std::size_t offset;
    const char* name;
    std::vector<DWORD> errors;
};

#define QORVEL_ENTRY(member, ...)                                 \
    EntryFacts {                                                  \
        offsetof(Kernel32Calls, member), #member, { __VA_ARGS__ } \
    }

const std::vector<EntryFacts>& entryFacts() {
    static const std::vector<EntryFacts> facts = {
        QORVEL_ENTRY(CreateFileA, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
                     ERROR_TOO_MANY_OPEN_FILES, ERROR_DISK_FULL, ERROR_WRITE_PROTECT,
                     ERROR_NOT_ENOUGH_MEMORY),
        QORVEL_ENTRY(CloseHandle, ERROR_INVALID_HANDLE),
        QORVEL_ENTRY(DuplicateHandle, ERROR_NOT_ENOUGH_MEMORY),
        QORVEL_ENTRY(FlushFileBuffers, ERROR_IO_DEVICE, ERROR_DISK_FULL),
        QORVEL_ENTRY(ReadFile, ERROR_IO_DEVICE, ERROR_LOCK_VIOLATION),
        QORVEL_ENTRY(WriteFile, ERROR_DISK_FULL, ERROR_IO_DEVICE, ERROR_LOCK_VIOLATION),
        QORVEL_ENTRY(SetFilePointer, ERROR_NEGATIVE_SEEK, ERROR_INVALID_PARAMETER),
        QORVEL_ENTRY(SetEndOfFile, ERROR_DISK_FULL, ERROR_ACCESS_DENIED),
        QORVEL_ENTRY(LockFile, ERROR_LOCK_VIOLATION, ERROR_NOT_ENOUGH_MEMORY),
        QORVEL_ENTRY(UnlockFile, ERROR_NOT_LOCKED),
        QORVEL_ENTRY(LockFileEx, ERROR_LOCK_VIOLATION, ERROR_NOT_ENOUGH_MEMORY),
        QORVEL_ENTRY(UnlockFileEx, ERROR_NOT_LOCKED),
        QORVEL_ENTRY(DeleteFileA, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
                     ERROR_WRITE_PROTECT),
        QORVEL_ENTRY(MoveFileA, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_NOT_SAME_DEVICE,
                     ERROR_DISK_FULL),
        QORVEL_ENTRY(CreateDirectoryA, ERROR_ACCESS_DENIED, ERROR_DISK_FULL),
        QORVEL_ENTRY(RemoveDirectoryA, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION),
        QORVEL_ENTRY(GetFileAttributesA, ERROR_ACCESS_DENIED, ERROR_IO_DEVICE),
        QORVEL_ENTRY(GetCompressedFileSizeA, ERROR_ACCESS_DENIED, ERROR_IO_DEVICE),
        QORVEL_ENTRY(GetCurrentDirectoryA, ERROR_NOT_ENOUGH_MEMORY),
        QORVEL_ENTRY(GetTempPathA, ERROR_NOT_ENOUGH_MEMORY),
        QORVEL_ENTRY(GetDiskFreeSpaceA, ERROR_NOT_READY, ERROR_ACCESS_DENIED),
    };
    return facts;
}

#undef QORVEL_ENTRY

const EntryFacts& factsAt(std::size_t offset) {
    static const EntryFacts unknown{0, "(new entry)", {ERROR_IO_DEVICE}};
    for (const EntryFacts& facts : entryFacts()) {
        if (facts.offset == offset) return facts;
    }
    return unknown;
}

// The status word of a Win32 error number: the number in the high half, the
// library code of docs/status-codes.md in the low half.
cFileStatus statusOf(DWORD error) {
    uint32_t code = 0x0307;
    switch (error) {
        case 5:
        case 16:
        case 29:
        case 30:
        case 82:
        case 145:
        case 267: code = 0x0301; break;
        case 13: code = 0x0302; break;
        case 6:
        case 114: code = 0x0303; break;
        case 2:
        case 3: code = 0x0304; break;
        case 36: code = 0x0305; break;
        case 32: code = 0x0306; break;
        case 39:
        case 112:
        case 277: code = 0x0308; break;
        default: break;
    }
    return (static_cast<uint32_t>(error & 0xFFFF) << 16) | code;
}

// ---- The injector -----------------------------------------------------------

struct Injection {
    bool armed = false;
    std::size_t entry = kEntries;  // none
    DWORD error = 0;
    long failAt = 0;
    bool fired = false;
    long calls[kEntries] = {};
};

Injection gInjection;

template <std::size_t I>
std::size_t offsetOfEntry() {
    auto fields = qtest::tieFields(kernel32);
    return static_cast<std::size_t>(reinterpret_cast<const char*>(&std::get<I>(fields)) -
                                    reinterpret_cast<const char*>(&kernel32));
}

// What a failing call answers: an invalid handle, FALSE, or the DWORD that
// marks a failure (0 for the two directory queries, all ones elsewhere).
template <class R>
R failureValue(std::size_t offset) {
    if constexpr (std::is_pointer_v<R>) {
        return INVALID_HANDLE_VALUE;
    } else if constexpr (std::is_same_v<R, BOOL>) {
        return FALSE;
    } else {
        bool zero = offset == offsetof(Kernel32Calls, GetCurrentDirectoryA) ||
                    offset == offsetof(Kernel32Calls, GetTempPathA);
        return zero ? R(0) : R(0xFFFFFFFF);
    }
}

template <std::size_t I, class R, class... A>
R intercept(A... args) {
    auto base = std::get<I>(qtest::tieFields(kDefaultKernel32Calls));
    if (gInjection.armed) {
        ++gInjection.calls[I];
        if (I == gInjection.entry && gInjection.calls[I] == gInjection.failAt) {
            gInjection.fired = true;
            std::size_t offset = offsetOfEntry<I>();
            // A failing close has still closed the handle.
            if (offset == offsetof(Kernel32Calls, CloseHandle)) base(args...);
            SetLastError(gInjection.error);
            return failureValue<R>(offset);
        }
    }
    return base(args...);
}

template <std::size_t I, class F>
struct Wrapper;

template <std::size_t I, class R, class... A>
struct Wrapper<I, R(WINAPI*)(A...)> {
    static R WINAPI call(A... args) { return intercept<I, R, A...>(args...); }
};

template <std::size_t... I>
void installWrappers(std::index_sequence<I...>) {
    auto fields = qtest::tieFields(kernel32);
    ((std::get<I>(fields) =
          &Wrapper<I, std::decay_t<std::tuple_element_t<I, decltype(fields)>>>::call),
     ...);
}

template <std::size_t... I>
std::vector<std::size_t> entryOffsets(std::index_sequence<I...>) {
    return {offsetOfEntry<I>()...};
}

const std::vector<std::size_t>& offsets() {
    static const std::vector<std::size_t> all = entryOffsets(std::make_index_sequence<kEntries>());
    return all;
}

// ---- Scenarios --------------------------------------------------------------

using Snapshot = std::map<std::string, std::string>;

struct World {
    std::string root, file, other, dir;
    cFileHandle handle = CFILE_INVALID_HANDLE;  // opened by the setup
    cFileHandle opened = CFILE_INVALID_HANDLE;  // opened by the call
    char buffer[CFILE_DIR_BUFFER_SIZE] = {};
};

enum class Answer { Status, ZeroOne };

struct Scenario {
    Scenario(std::string name_, std::function<void(World&)> setup_,
             std::function<uint32_t(World&)> call_, Answer answer_ = Answer::Status)
        : name(std::move(name_)),
          setup(std::move(setup_)),
          call(std::move(call_)),
          answer(answer_) {}
    std::string name;
    std::function<void(World&)> setup;
    std::function<uint32_t(World&)> call;
    Answer answer;
};

cFileHandle openForSetup(const std::string& path, cFileMode mode) {
    cFileHandle handle = CFILE_INVALID_HANDLE;
    if (cFileOpen(path.c_str(), mode, &handle) != 0) ADD_FAILURE() << "setup open " << path;
    return handle;
}

std::function<void(World&)> withHandle(cFileMode mode) {
    return [mode](World& w) { w.handle = openForSetup(w.file, mode); };
}

void nothing(World&) {}

std::vector<Scenario> scenarios() {
    std::vector<Scenario> all;
    for (cFileMode mode : {cFileMode{0x0001}, cFileMode{0x0002}, cFileMode{0x0004},
                           cFileMode{0x0012}, cFileMode{0x0044}, cFileMode{0x0003}}) {
        char name[32];
        std::snprintf(name, sizeof name, "cFileOpen %#06x", mode);
        all.push_back({name, nothing,
                       [mode](World& w) { return cFileOpen(w.file.c_str(), mode, &w.opened); }});
    }
    for (cFileMode mode : {cFileMode{0x0002}, cFileMode{0x0004}, cFileMode{0x0006}}) {
        char name[40];
        std::snprintf(name, sizeof name, "cFileCreate existing %#06x", mode);
        all.push_back({name, nothing, [mode](World& w) {
                           return cFileCreate(w.file.c_str(), mode, 0, &w.opened);
                       }});
    }
    all.push_back({"cFileClose", withHandle(0x0044), [](World& w) {
                       cFileStatus status = cFileClose(w.handle);
                       w.handle = CFILE_INVALID_HANDLE;
                       return status;
                   }});
    all.push_back(
        {"cFileFlush", withHandle(0x0042), [](World& w) { return cFileFlush(w.handle); }});
    all.push_back({"cFileRead", withHandle(0x0021), [](World& w) {
                       char data[8];
                       uint32_t got = 0;
                       return cFileRead(w.handle, data, 4, &got);
                   }});
    all.push_back({"cFileWrite", withHandle(0x0012), [](World& w) {
                       uint32_t wrote = 0;
                       return cFileWrite(w.handle, "XYZ", 3, &wrote);
                   }});
    all.push_back({"cFileSeek end", withHandle(0x0001), [](World& w) {
                       uint32_t position = 0;
                       return cFileSeek(w.handle, 0, CFILE_SEEK_END, &position);
                   }});
    all.push_back({"cFileGetPosition", withHandle(0x0001), [](World& w) {
                       uint32_t position = 0;
                       return cFileGetPosition(w.handle, &position);
                   }});
    all.push_back({"cFileSetSize shrink", withHandle(0x0012),
                   [](World& w) { return cFileSetSize(w.handle, 3); }});
    all.push_back({"cFileSetSize grow", withHandle(0x0044),
                   [](World& w) { return cFileSetSize(w.handle, 20); }});
    all.push_back({"cFileIsEof", withHandle(0x0001), [](World& w) {
                       int16_t eof = 0;
                       return cFileIsEof(w.handle, &eof);
                   }});
    all.push_back(
        {"cFileLock", withHandle(0x0044), [](World& w) { return cFileLock(w.handle, 0, 4); }});
    all.push_back({"cFileUnlock",
                   [](World& w) {
                       w.handle = openForSetup(w.file, 0x0044);
                       if (cFileLock(w.handle, 0, 4) != 0) ADD_FAILURE() << "setup lock";
                   },
                   [](World& w) { return cFileUnlock(w.handle, 0, 4); }});
    all.push_back({"cFileRemove", nothing, [](World& w) { return cFileRemove(w.file.c_str()); }});
    all.push_back({"cFileRename", nothing,
                   [](World& w) { return cFileRename(w.file.c_str(), w.other.c_str()); }});
    all.push_back({"cFileCreateDir", nothing,
                   [](World& w) { return cFileCreateDir((w.root + "\\new").c_str()); }});
    all.push_back(
        {"cFileRemoveDir", nothing, [](World& w) { return cFileRemoveDir(w.dir.c_str()); }});
    all.push_back({"cFileIsExist", nothing, [](World& w) {
                       int16_t exists = 0;
                       return cFileIsExist(w.file.c_str(), &exists);
                   }});
    all.push_back({"cFileGetSize", nothing, [](World& w) {
                       uint32_t size = 0;
                       return cFileGetSize(w.file.c_str(), &size);
                   }});
    all.push_back(
        {"cFileGetCurrentDir", nothing, [](World& w) { return cFileGetCurrentDir(w.buffer); }});
    all.push_back({"cFileGetTempDir", nothing, [](World& w) { return cFileGetTempDir(w.buffer); }});
    all.push_back({"cFileGetDiskFree", nothing, [](World& w) {
                       uint32_t free = 0;
                       return cFileGetDiskFree(w.root.c_str(), &free);
                   }});
    all.push_back({"cFileWriteToFile existing", nothing,
                   [](World& w) { return cFileWriteToFile(w.file.c_str(), "line\r\n"); }});
    all.push_back({"cFileWriteToFile new", nothing,
                   [](World& w) { return cFileWriteToFile(w.other.c_str(), "line\r\n"); }});
    return all;
}

// ---- Rules: where the answer is not the failure's status ---------------------

struct Rule {
    const char* scenario;  // prefix of the scenario's name
    const char* entry;
    bool recovered;  // the fault-free answer is allowed
    bool reported;   // the failure's status is allowed
    const char* why;
};

const Rule kRules[] = {
    {"cFileClose", "CloseHandle", false, true, "the close's failure is the answer"},
    {"", "CloseHandle", true, false,
     "a handle whose work is complete is released whatever CloseHandle answers"},
    {"cFileWriteToFile", "LockFileEx", true, true,
     "the turn-taking lock byte of an append is for Wine; without it the append goes on"},
    {"cFileWriteToFile", "UnlockFileEx", true, false,
     "the turn-taking lock byte goes with the handle's close"},
    {"cFileIsExist", "GetFileAttributesA", true, false,
     "answers 0 whenever its pointers are given; the flag says whether the look succeeded"},
    {"cFileSetSize", "SetFilePointer", true, true,
     "putting the position back after the size change"},
};

const Rule* ruleFor(const Scenario& scenario, const char* entry) {
    for (const Rule& rule : kRules) {
        if (scenario.name.rfind(rule.scenario, 0) == 0 && std::strcmp(rule.entry, entry) == 0) {
            return &rule;
        }
    }
    return nullptr;
}

// ---- One run ----------------------------------------------------------------

Snapshot snapshot(const std::string& root) {
    Snapshot result;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string name = fs::relative(entry.path(), root).string();
        if (entry.is_directory()) {
            result[name] = "dir";
        } else {
            bool writable =
                (entry.status().permissions() & fs::perms::owner_write) != fs::perms::none;
            result[name] = (writable ? "rw:" : "ro:") + qtest::readFile(entry.path().string());
        }
    }
    return result;
}

std::string describe(const Snapshot& state) {
    std::ostringstream text;
    for (const auto& [name, what] : state) text << name << "=" << what << "; ";
    return text.str();
}

DWORD handleCount() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

struct Outcome {
    uint32_t answer = 0;
    bool fired = false;
    Snapshot after;
    long calls[kEntries] = {};
};

class FaultSweep : public ::testing::Test {
protected:
    qtest::TempDir scratch;
    std::string root = scratch.path("run");
    long runs = 0, faults = 0;

    void SetUp() override { installWrappers(std::make_index_sequence<kEntries>()); }
    void TearDown() override {
        kernel32 = kDefaultKernel32Calls;
        std::printf("[ sweep    ] %ld runs, %ld injected faults; %lu handles open\n", runs, faults,
                    static_cast<unsigned long>(handleCount()));
    }

    World world() const {
        World w;
        w.root = root;
        w.file = root + "\\file.txt";
        w.other = root + "\\other.txt";
        w.dir = root + "\\dir";
        return w;
    }
    void resetWorld() {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(root, ignored)) {
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
        }
        fs::remove_all(root, ignored);
        fs::create_directories(root + "\\dir");
        qtest::writeFile(root + "\\file.txt", "content");
    }

    Outcome run(const Scenario& scenario, std::size_t entry, DWORD error, long failAt) {
        ++runs;
        resetWorld();
        World w = world();
        DWORD handles = handleCount();
        scenario.setup(w);
        gInjection = Injection{};
        gInjection.entry = entry;
        gInjection.error = error;
        gInjection.failAt = failAt;
        gInjection.armed = true;
        Outcome outcome;
        outcome.answer = scenario.call(w);
        gInjection.armed = false;
        outcome.fired = gInjection.fired;
        std::copy(std::begin(gInjection.calls), std::end(gInjection.calls), outcome.calls);
        if (w.opened != CFILE_INVALID_HANDLE) cFileClose(w.opened);
        if (w.handle != CFILE_INVALID_HANDLE) cFileClose(w.handle);
        outcome.after = snapshot(root);
        EXPECT_EQ(handleCount(), handles)
            << scenario.name << ": a handle leaked" << context(entry, error, failAt);
        if (outcome.fired) {
            ++faults;
            expectNothingLeftBehind(scenario, context(entry, error, failAt));
        }
        return outcome;
    }

    static std::string context(std::size_t entry, DWORD error, long failAt) {
        if (entry >= kEntries) return " (no fault)";
        std::ostringstream text;
        text << " (" << factsAt(offsets()[entry]).name << " call " << failAt << " failing with "
             << error << ")";
        return text.str();
    }

    // Every file left opens with each access and sharing, and locks whole.
    void expectNothingLeftBehind(const Scenario& scenario, const std::string& where) {
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file()) continue;
            std::string path = entry.path().string();
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
            for (cFileMode access :
                 {cFileMode{0x1}, cFileMode{0x2}, cFileMode{0x4}, cFileMode{0x3}}) {
                for (cFileMode sharing : {cFileMode{0x00}, cFileMode{0x10}, cFileMode{0x20},
                                          cFileMode{0x40}, cFileMode{0x30}}) {
                    cFileHandle handle;
                    cFileStatus status = cFileOpen(path.c_str(), access | sharing, &handle);
                    if (status != 0) {
                        ADD_FAILURE() << scenario.name << where << ": " << path << " refuses mode "
                                      << std::hex << (access | sharing) << " with " << status;
                        return;
                    }
                    cFileClose(handle);
                }
            }
            cFileHandle handle;
            ASSERT_EQ(cFileOpen(path.c_str(), 0x0044, &handle), 0u);
            EXPECT_EQ(cFileLock(handle, 0, 0xFFFFFFFF), 0u)
                << scenario.name << where << ": a lock was left on " << path;
            cFileUnlock(handle, 0, 0xFFFFFFFF);
            cFileClose(handle);
        }
    }
};

std::string callsMade(const Outcome& outcome) {
    std::ostringstream text;
    for (std::size_t entry = 0; entry < kEntries; ++entry) {
        if (outcome.calls[entry] > 0) {
            text << " " << factsAt(offsets()[entry]).name << "x" << outcome.calls[entry];
        }
    }
    return text.str();
}

}  // namespace

TEST_F(FaultSweep, EveryFailingKernelCallOfEveryExportIsAnsweredAndLeavesNothingBehind) {
    for (const Scenario& scenario : scenarios()) {
        Outcome clean = run(scenario, kEntries, 0, 0);
        std::printf("[ calls    ] %s:%s\n", scenario.name.c_str(), callsMade(clean).c_str());
        resetWorld();
        Snapshot before = snapshot(root);
        for (std::size_t entry = 0; entry < kEntries; ++entry) {
            if (clean.calls[entry] == 0) continue;
            const EntryFacts& facts = factsAt(offsets()[entry]);
            for (DWORD error : facts.errors) {
                for (long k = 1; k <= 1000; ++k) {
                    Outcome faulty = run(scenario, entry, error, k);
                    if (!faulty.fired) break;
                    std::string where = scenario.name + context(entry, error, k);
                    uint32_t reported = scenario.answer == Answer::ZeroOne ? 1 : statusOf(error);
                    const Rule* rule = ruleFor(scenario, facts.name);
                    bool allowed = rule == nullptr
                                       ? faulty.answer == reported
                                       : (rule->recovered && faulty.answer == clean.answer) ||
                                             (rule->reported && faulty.answer == reported);
                    EXPECT_TRUE(allowed)
                        << where << std::hex << ": answered " << faulty.answer
                        << ", the failure is " << reported << ", fault-free " << clean.answer
                        << (rule ? "; " : "") << (rule ? rule->why : "");
                    // A file made in the step that opens it stays, empty, when the write fails.
                    Snapshot madeEmpty = before;
                    if (scenario.name == "cFileWriteToFile new") madeEmpty["other.txt"] = "rw:";
                    EXPECT_TRUE(faulty.after == before || faulty.after == clean.after ||
                                faulty.after == madeEmpty)
                        << where << ": left " << describe(faulty.after) << " not "
                        << describe(before) << " nor " << describe(clean.after);
                }
            }
        }
    }
}

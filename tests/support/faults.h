// Failures injected into the platform layer's table of system calls (`sys`
// on POSIX, `kernel32` on Windows): the one engine behind both fault sweeps,
// the counting of system calls, and the targeted fault tests.
//
// The injector wraps every entry of the table without naming it: while armed
// it counts each entry's calls and fails the k-th call of one entry with one
// error. A sweep (FaultSweep::sweep) runs each scenario fault-free, then once
// for every entry the scenario reaches, every error of that entry and every
// k until the scenario completes without reaching k. Every such run must:
//   - answer the failure's status, or what a rule of the sweep allows (the
//     library recovers: a retried EINTR, a close done whatever it answers);
//   - leak no descriptor or handle;
//   - leave no share or lock record behind: every file then opens with every
//     mode word that opens a fresh file, and locks whole;
//   - leave the scratch directory as it was before the call, or exactly as
//     the fault-free call leaves it.
// An entry added to the table is swept as soon as it exists (with the
// sweep's default error until it is given its own).
#ifndef QORVEL_TESTS_SUPPORT_FAULTS_H
#define QORVEL_TESTS_SUPPORT_FAULTS_H

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "qorvel.h"
#include "struct_fields.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/kernel32.h"
#else
#include <cerrno>

#include "descriptors.h"
#include "platform/posix/syscalls.h"
#endif

namespace qtest::faults {

// ---- The platform's table ---------------------------------------------------

#ifdef _WIN32
using Calls = qorvel::platform::win32::Kernel32Calls;
using Error = DWORD;
inline Calls& liveCalls() { return qorvel::platform::win32::kernel32; }
inline const Calls& defaultCalls() { return qorvel::platform::win32::kDefaultKernel32Calls; }
constexpr std::size_t kCloseEntry = offsetof(Calls, CloseHandle);
constexpr char kSeparator = '\\';
inline void setError(Error error) { SetLastError(error); }
inline std::string errorName(Error error) { return std::to_string(error); }
inline long openHandleCount() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return static_cast<long>(count);
}
// An invalid handle, FALSE, or the DWORD that marks a failure (0 for the
// two directory queries, all ones elsewhere).
template <class R>
R failureValue(std::size_t offset) {
    if constexpr (std::is_pointer_v<R>) {
        return INVALID_HANDLE_VALUE;
    } else if constexpr (std::is_same_v<R, BOOL>) {
        return FALSE;
    } else {
        bool zero = offset == offsetof(Calls, GetCurrentDirectoryA) ||
                    offset == offsetof(Calls, GetTempPathA);
        return zero ? R(0) : R(0xFFFFFFFF);
    }
}
#else
using Calls = qorvel::platform::posix::SystemCalls;
using Error = int;
inline Calls& liveCalls() { return qorvel::platform::posix::sys; }
inline const Calls& defaultCalls() { return qorvel::platform::posix::kDefaultSystemCalls; }
constexpr std::size_t kCloseEntry = offsetof(Calls, close);
constexpr char kSeparator = '/';
inline void setError(Error error) { errno = error; }
inline std::string errorName(Error error) { return std::strerror(error); }
inline long openHandleCount() { return openDescriptorCount(); }
template <class R>
R failureValue(std::size_t) {
    if constexpr (std::is_pointer_v<R>) {
        return nullptr;
    } else {
        return static_cast<R>(-1);
    }
}
#endif

constexpr std::size_t kEntries = fieldCount<Calls>();
static_assert(sizeof(Calls) == kEntries * sizeof(void (*)()),
              "every member of the system-call table is one function pointer");

// ---- The injector -----------------------------------------------------------

struct Injection {
    bool armed = false;
    std::size_t entry = kEntries;  // none
    Error error = 0;
    long failAt = 0;  // the k-th call of the entry fails
    bool fired = false;
    long calls[kEntries] = {};
};
inline Injection gInjection;
inline Calls gBase = defaultCalls();  // what a call that does not fail reaches

template <std::size_t I>
std::size_t offsetOfEntry() {
    auto fields = tieFields(gBase);
    return static_cast<std::size_t>(reinterpret_cast<const char*>(&std::get<I>(fields)) -
                                    reinterpret_cast<const char*>(&gBase));
}

template <std::size_t I, class R, class... A>
R intercept(A... args) {
    auto base = std::get<I>(tieFields(gBase));
    if (gInjection.armed) {
        ++gInjection.calls[I];
        if (I == gInjection.entry && gInjection.calls[I] == gInjection.failAt) {
            gInjection.fired = true;
            // A failing close has still released what it closed.
            if (offsetOfEntry<I>() == kCloseEntry) base(args...);
            setError(gInjection.error);
            return failureValue<R>(offsetOfEntry<I>());
        }
    }
    return base(args...);
}

template <std::size_t I, class F>
struct Wrapper;
template <std::size_t I, class R, class... A>
struct Wrapper<I, R (*)(A...)> {
    static R call(A... args) { return intercept<I, R, A...>(args...); }
};
#if defined(_WIN32) && !defined(_WIN64)
template <std::size_t I, class R, class... A>
struct Wrapper<I, R(WINAPI*)(A...)> {
    static R WINAPI call(A... args) { return intercept<I, R, A...>(args...); }
};
#endif

template <std::size_t... I>
void installWrappers(std::index_sequence<I...>) {
    auto fields = tieFields(liveCalls());
    ((std::get<I>(fields) =
          &Wrapper<I, std::decay_t<std::tuple_element_t<I, decltype(fields)>>>::call),
     ...);
}

// Puts the injector between the library and the system; nothing fails until
// arm() says what.
inline void installInjector() { installWrappers(std::make_index_sequence<kEntries>()); }

inline void arm(std::size_t entry, Error error, long failAt) {
    gInjection = Injection{};
    gInjection.entry = entry;
    gInjection.error = error;
    gInjection.failAt = failAt;
    gInjection.armed = true;
}

// How many system calls `body` makes, every entry of the table counted.
template <class Body>
long systemCallsOf(Body body) {
    installInjector();
    arm(kEntries, 0, 0);
    body();
    gInjection.armed = false;
    long total = 0;
    for (long calls : gInjection.calls) total += calls;
    return total;
}

template <std::size_t... I>
std::vector<std::size_t> entryOffsets(std::index_sequence<I...>) {
    return {offsetOfEntry<I>()...};
}

// ---- What a sweep is given --------------------------------------------------

// The errors an entry can really give.
struct EntryFacts {
    std::size_t offset;
    const char* name;
    std::vector<Error> errors;
};
#define QTEST_FAULT_ENTRY(member, ...)                                   \
    qtest::faults::EntryFacts {                                          \
        offsetof(qtest::faults::Calls, member), #member, { __VA_ARGS__ } \
    }

// Every file and directory under a root: name -> kind, write bits, content.
using Snapshot = std::map<std::string, std::string>;

// The scratch directory of one run, and what the scenario keeps in it.
struct World {
    std::string root;
    std::string file;   // "file.txt", 7 bytes: "content"
    std::string other;  // "other.txt", absent
    std::string dir;    // "dir", an empty directory
    cFileMode mode = 0;
    cFileHandle handle = CFILE_INVALID_HANDLE;  // opened by the setup
    cFileHandle opened = CFILE_INVALID_HANDLE;  // opened by the call
    char buffer[CFILE_DIR_BUFFER_SIZE] = {};
    uint32_t count = 0;  // what the call answers besides its status
    int16_t flag = 0;
    int32_t number = 0;

    std::string path(const char* name) const { return root + kSeparator + name; }
};

enum class Answer { Status, ZeroOne };

// One call of an export, on a world its setup prepared.
struct Scenario {
    std::string name;
    void (*setup)(World&);  // nullptr: the world as it is
    uint32_t (*call)(World&);
    cFileMode mode = 0;  // the mode of the setup's handle, or of the call's open
    Answer answer = Answer::Status;
    void (*environment)(Calls&) = nullptr;     // changes the calls beneath the injector
    void (*alsoAllowed)(Snapshot&) = nullptr;  // a third state the directory may be left in
};

inline cFileHandle openForSetup(const std::string& path, cFileMode mode) {
    cFileHandle handle = CFILE_INVALID_HANDLE;
    if (cFileOpen(path.c_str(), mode, &handle) != 0) ADD_FAILURE() << "setup open " << path;
    return handle;
}
// The setup of a scenario on a handle of the file opened with its mode.
inline void withHandle(World& w) { w.handle = openForSetup(w.file, w.mode); }
inline void withLockedHandle(World& w) {
    withHandle(w);
    if (cFileLock(w.handle, 0, 4) != 0) ADD_FAILURE() << "setup lock";
}

// The scenarios both platforms sweep: the handle and path exports on a
// file, a directory and a name that does not exist yet.
inline std::vector<Scenario> everyPlatformScenarios() {
    std::vector<Scenario> all;
    for (cFileMode mode : {cFileMode{0x0001}, cFileMode{0x0002}, cFileMode{0x0004},
                           cFileMode{0x0012}, cFileMode{0x0044}, cFileMode{0x0003}}) {
        char name[32];
        std::snprintf(name, sizeof name, "cFileOpen %#06x", mode);
        all.push_back({name, nullptr,
                       [](World& w) { return cFileOpen(w.file.c_str(), w.mode, &w.opened); },
                       mode});
    }
    const Scenario table[] = {
        {"cFileClose", withHandle,
         [](World& w) {
             cFileStatus status = cFileClose(w.handle);
             w.handle = CFILE_INVALID_HANDLE;  // gone, whatever the answer
             return status;
         },
         0x0044},
        {"cFileFlush", withHandle, [](World& w) { return cFileFlush(w.handle); }, 0x0042},
        {"cFileRead", withHandle,
         [](World& w) { return cFileRead(w.handle, w.buffer, 4, &w.count); }, 0x0021},
        {"cFileWrite", withHandle,
         [](World& w) { return cFileWrite(w.handle, "XYZ", 3, &w.count); }, 0x0012},
        {"cFileSeek end", withHandle,
         [](World& w) { return cFileSeek(w.handle, 0, CFILE_SEEK_END, &w.count); }, 0x0001},
        {"cFileGetPosition", withHandle,
         [](World& w) { return cFileGetPosition(w.handle, &w.count); }, 0x0001},
        {"cFileSetSize shrink", withHandle, [](World& w) { return cFileSetSize(w.handle, 3); },
         0x0012},
        {"cFileSetSize grow", withHandle, [](World& w) { return cFileSetSize(w.handle, 20); },
         0x0044},
        {"cFileIsEof", withHandle, [](World& w) { return cFileIsEof(w.handle, &w.flag); }, 0x0001},
        {"cFileLock", withHandle, [](World& w) { return cFileLock(w.handle, 0, 4); }, 0x0044},
        {"cFileUnlock", withLockedHandle, [](World& w) { return cFileUnlock(w.handle, 0, 4); },
         0x0044},
        {"cFileRemove", nullptr, [](World& w) { return cFileRemove(w.file.c_str()); }},
        {"cFileRename", nullptr,
         [](World& w) { return cFileRename(w.file.c_str(), w.other.c_str()); }},
        {"cFileCreateDir", nullptr, [](World& w) { return cFileCreateDir(w.path("new").c_str()); }},
        {"cFileRemoveDir", nullptr, [](World& w) { return cFileRemoveDir(w.dir.c_str()); }},
        {"cFileIsExist", nullptr, [](World& w) { return cFileIsExist(w.file.c_str(), &w.flag); }},
        {"cFileGetSize", nullptr, [](World& w) { return cFileGetSize(w.file.c_str(), &w.count); }},
        {"cFileGetCurrentDir", nullptr, [](World& w) { return cFileGetCurrentDir(w.buffer); }},
        {"cFileGetTempDir", nullptr, [](World& w) { return cFileGetTempDir(w.buffer); }},
        {"cFileGetDiskFree", nullptr,
         [](World& w) { return cFileGetDiskFree(w.root.c_str(), &w.count); }},
        {"cFileWriteToFile existing", nullptr,
         [](World& w) { return cFileWriteToFile(w.file.c_str(), "line\r\n"); }},
        // The file is made in the step that opens it: a failed write leaves it empty.
        {"cFileWriteToFile new", nullptr,
         [](World& w) { return cFileWriteToFile(w.other.c_str(), "line\r\n"); }, 0, Answer::Status,
         nullptr, [](Snapshot& state) { state["other.txt"] = "rw:"; }},
    };
    all.insert(all.end(), std::begin(table), std::end(table));
    return all;
}

// Where the library answers something other than the failure itself, and
// why. The first rule that matches a run decides; a run no rule matches
// must answer the failure's status.
constexpr uint32_t kNone = 0xFFFFFFFF;
struct Rule {
    const char* scenario;  // prefix of the scenario's name
    const char* entry;
    Error error;             // 0: any
    long call;               // 0: any
    bool recovered;          // the fault-free answer is allowed
    bool reported;           // the failure's status is allowed
    uint32_t other = kNone;  // one more answer that is allowed
    bool litter = false;     // a hidden .qorvel-move-* name may stay behind
    const char* why = "";
};

struct SweepTable {
    std::vector<EntryFacts> entries;
    Error newEntryError;  // for an entry not in `entries` yet
    cFileStatus (*statusOf)(Error);
    std::vector<Scenario> scenarios;
    std::vector<Rule> rules;
};

// ---- The sweep --------------------------------------------------------------

class FaultSweep : public ::testing::Test {
protected:
    TempDir scratch;
    std::string root = scratch.path("run");
    std::vector<cFileMode> modesThatOpen;
    long runs = 0, faults = 0;

    void SetUp() override {
        installInjector();
        resetWorld();
        modesThatOpen = findModesThatOpen(world().file);
    }
    void TearDown() override {
        liveCalls() = defaultCalls();
        std::printf("[ sweep    ] %ld runs, %ld injected faults\n", runs, faults);
    }

    void sweep(const SweepTable& table);

private:
    struct Outcome {
        uint32_t answer = 0;
        bool fired = false;
        Snapshot after;
        long calls[kEntries] = {};
    };

    // The mode words a check that nothing was left behind opens with. POSIX:
    // every one that opens a fresh file; Windows (slow under Wine): each
    // access with each sharing.
    static std::vector<cFileMode> findModesThatOpen(const std::string& file) {
        std::vector<cFileMode> modes;
#ifdef _WIN32
        (void)file;
        for (unsigned access : {0x1u, 0x2u, 0x4u, 0x3u}) {
            for (unsigned sharing : {0x00u, 0x10u, 0x20u, 0x40u, 0x30u}) {
                modes.push_back(static_cast<cFileMode>(access | sharing));
            }
        }
#else
        for (unsigned mode = 0; mode <= 0xFFFF; ++mode) {
            if (mode & CFILE_MODE_INVALID_MASK) continue;
            cFileHandle handle;
            if (cFileOpen(file.c_str(), static_cast<cFileMode>(mode), &handle) == 0) {
                modes.push_back(static_cast<cFileMode>(mode));
                cFileClose(handle);
            }
        }
        EXPECT_GT(modes.size(), 100u);
#endif
        return modes;
    }

    World world() const {
        World w;
        w.root = root;
        w.file = w.path("file.txt");
        w.other = w.path("other.txt");
        w.dir = w.path("dir");
        return w;
    }
    void resetWorld() {
        namespace fs = std::filesystem;
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(root, ignored)) {
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
        fs::remove_all(root, ignored);
        fs::create_directories(world().dir);
        writeFile(world().file, "content");
    }

    static Snapshot snapshot(const std::string& root) {
        namespace fs = std::filesystem;
        constexpr auto kWrite =
            fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
        Snapshot result;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            std::string name = fs::relative(entry.path(), root).string();
            fs::file_status status = entry.symlink_status();
            if (status.type() == fs::file_type::directory) {
                result[name] = "dir";
            } else {
                bool writable = (status.permissions() & kWrite) != fs::perms::none;
                result[name] = (writable ? "rw:" : "ro:") + readFile(entry.path().string());
            }
        }
        return result;
    }

    static std::string describe(const Snapshot& state) {
        std::ostringstream text;
        for (const auto& [name, what] : state) text << name << "=" << what << "; ";
        return text.str();
    }

    static const EntryFacts& factsAt(const SweepTable& table, std::size_t entry) {
        static const std::vector<std::size_t> offsets =
            entryOffsets(std::make_index_sequence<kEntries>());
        static EntryFacts unknown{0, "(new entry)", {}};
        for (const EntryFacts& facts : table.entries) {
            if (facts.offset == offsets[entry]) return facts;
        }
        unknown.errors = {table.newEntryError};
        return unknown;
    }

    static std::string context(const SweepTable& table, std::size_t entry, Error error,
                               long failAt) {
        if (entry >= kEntries) return " (no fault)";
        std::ostringstream text;
        text << " (" << factsAt(table, entry).name << " call " << failAt << " failing with "
             << errorName(error) << ")";
        return text.str();
    }

    static std::string callsMade(const SweepTable& table, const Outcome& outcome) {
        std::ostringstream text;
        for (std::size_t entry = 0; entry < kEntries; ++entry) {
            if (outcome.calls[entry] > 0) {
                text << " " << factsAt(table, entry).name << "x" << outcome.calls[entry];
            }
        }
        return text.str();
    }

    static const Rule* ruleFor(const SweepTable& table, const Scenario& scenario, const char* entry,
                               Error error, long call) {
        for (const Rule& rule : table.rules) {
            if (scenario.name.rfind(rule.scenario, 0) == 0 && std::strcmp(rule.entry, entry) == 0 &&
                (rule.error == 0 || rule.error == error) && (rule.call == 0 || rule.call == call)) {
                return &rule;
            }
        }
        return nullptr;
    }

    static Snapshot withoutLitter(Snapshot state) {
        for (auto it = state.begin(); it != state.end();) {
            it = it->first.rfind(".qorvel-move-", 0) == 0 ? state.erase(it) : std::next(it);
        }
        return state;
    }

    Outcome run(const SweepTable& table, const Scenario& scenario, std::size_t entry, Error error,
                long failAt) {
        ++runs;
        resetWorld();
        gBase = defaultCalls();
        if (scenario.environment) scenario.environment(gBase);
        World w = world();
        w.mode = scenario.mode;
        long handles = openHandleCount();
        if (scenario.setup) scenario.setup(w);

        arm(entry, error, failAt);
        Outcome outcome;
        outcome.answer = scenario.call(w);
        gInjection.armed = false;
        outcome.fired = gInjection.fired;
        std::copy(std::begin(gInjection.calls), std::end(gInjection.calls), outcome.calls);

        if (w.opened != CFILE_INVALID_HANDLE) cFileClose(w.opened);
        if (w.handle != CFILE_INVALID_HANDLE) cFileClose(w.handle);
        outcome.after = snapshot(root);
        std::string where = scenario.name + context(table, entry, error, failAt);
        EXPECT_EQ(openHandleCount(), handles) << where << ": a descriptor or handle leaked";
        if (outcome.fired) {
            ++faults;
            expectNothingLeftBehind(where);
        }
        gBase = defaultCalls();
        return outcome;
    }

    // Every regular file left opens with every mode word, and can be locked whole.
    void expectNothingLeftBehind(const std::string& where) {
        namespace fs = std::filesystem;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file()) continue;
            std::string path = entry.path().string();
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
            for (cFileMode mode : modesThatOpen) {
                cFileHandle handle;
                cFileStatus status = cFileOpen(path.c_str(), mode, &handle);
                if (status != 0) {
                    ADD_FAILURE() << where << ": " << path << " refuses mode " << std::hex << mode
                                  << " with " << status;
                    return;
                }
                cFileClose(handle);
            }
            cFileHandle handle;
            ASSERT_EQ(cFileOpen(path.c_str(), 0x0044, &handle), 0u);
            EXPECT_EQ(cFileLock(handle, 0, 0xFFFFFFFF), 0u)
                << where << ": a lock was left on " << path;
            cFileUnlock(handle, 0, 0xFFFFFFFF);
            cFileClose(handle);
        }
    }

    void expectAllowed(const SweepTable& table, const Scenario& scenario, const Outcome& clean,
                       const Snapshot& before, std::size_t entry, Error error, long k,
                       Outcome& faulty) {
        std::string where = scenario.name + context(table, entry, error, k);
        uint32_t reported = scenario.answer == Answer::ZeroOne ? 1 : table.statusOf(error);
        const Rule* rule = ruleFor(table, scenario, factsAt(table, entry).name, error, k);
        bool allowed = rule == nullptr ? faulty.answer == reported
                                       : (rule->recovered && faulty.answer == clean.answer) ||
                                             (rule->reported && faulty.answer == reported) ||
                                             (rule->other != kNone && faulty.answer == rule->other);
        EXPECT_TRUE(allowed) << where << std::hex << ": answered " << faulty.answer
                             << ", the failure is " << reported << ", fault-free " << clean.answer
                             << (rule ? "; " : "") << (rule ? rule->why : "");
        if (rule != nullptr && rule->litter) faulty.after = withoutLitter(faulty.after);
        bool allowedState = faulty.after == before || faulty.after == clean.after;
        if (scenario.alsoAllowed) {
            Snapshot other = before;
            scenario.alsoAllowed(other);
            allowedState = allowedState || faulty.after == other;
        }
        EXPECT_TRUE(allowedState) << where << ": left " << describe(faulty.after) << " not "
                                  << describe(before) << " nor " << describe(clean.after);
    }
};

inline void FaultSweep::sweep(const SweepTable& table) {
    std::vector<bool> reached(kEntries, false);
    for (const Scenario& scenario : table.scenarios) {
        Outcome clean = run(table, scenario, kEntries, 0, 0);
        std::printf("[ calls    ] %s:%s\n", scenario.name.c_str(), callsMade(table, clean).c_str());
        resetWorld();
        Snapshot before = snapshot(root);
        for (std::size_t entry = 0; entry < kEntries; ++entry) {
            if (clean.calls[entry] == 0) continue;
            reached[entry] = true;
            for (Error error : factsAt(table, entry).errors) {
                for (long k = 1; k <= 1000; ++k) {
                    Outcome faulty = run(table, scenario, entry, error, k);
                    if (!faulty.fired) break;
                    expectAllowed(table, scenario, clean, before, entry, error, k, faulty);
                }
            }
        }
    }
    for (std::size_t entry = 0; entry < kEntries; ++entry) {
        if (!reached[entry]) {
            std::printf("[ note     ] no scenario reaches %s\n", factsAt(table, entry).name);
        }
    }
}

#ifndef _WIN32
// ---- Targeted faults (POSIX) ------------------------------------------------
//
// A test replaces entries of `sys` with functions that ask failNow() first;
// the plan says which of those calls fail and with which errno. The fixture
// puts the real calls back after each test and checks that no descriptor
// leaked.

// `goodCalls` calls pass, then `failures` calls fail with `error`, then every
// call passes again. `calls` counts every call that asked.
struct Plan {
    int goodCalls = 0;
    int failures = 0;
    int error = 0;
    int calls = 0;
};
inline Plan gPlan;

inline void failAfter(int goodCalls, int error, int failures = 1) {
    gPlan = {goodCalls, failures, error, 0};
}
inline void failNever() { gPlan = {}; }

// Whether this call is to fail; sets errno when it is.
inline bool failNow() {
    ++gPlan.calls;
    if (gPlan.failures <= 0) return false;
    if (gPlan.goodCalls > 0) {
        --gPlan.goodCalls;
        return false;
    }
    --gPlan.failures;
    errno = gPlan.error;
    return true;
}

// Makes the entry `Member` of `sys` ask failNow() first: a call that is to
// fail answers -1 (or a null pointer) with the plan's errno, the others
// reach the system. failByPlan<&Calls::write>() and so on.
template <class F>
struct PlannedCall;
template <class R, class... A>
struct PlannedCall<R (*)(A...)> {
    template <R (*Calls::*Member)(A...)>
    static R call(A... args) {
        return failNow() ? failureValue<R>(0) : (defaultCalls().*Member)(args...);
    }
};
template <auto Member>
void failByPlan() {
    using Function = std::remove_reference_t<decltype(liveCalls().*Member)>;
    liveCalls().*Member = &PlannedCall<Function>::template call<Member>;
}

class SystemCallFaultTest : public ::testing::Test {
protected:
    TempDir dir;  // the test's scratch directory
    int descriptorsBefore = 0;

    void SetUp() override {
        failNever();
        descriptorsBefore = openDescriptorCount();
    }
    void TearDown() override {
        liveCalls() = defaultCalls();
        EXPECT_EQ(openDescriptorCount(), descriptorsBefore) << "a descriptor leaked";
    }
};
#endif

}  // namespace qtest::faults

#endif  // QORVEL_TESTS_SUPPORT_FAULTS_H

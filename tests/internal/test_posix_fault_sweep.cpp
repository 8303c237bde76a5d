// The fault sweep: every export, every system call it makes, every failure
// that call can really give.
//
// Each entry of the system-call table is wrapped by a counting injector. For
// each export's scenario, each entry the scenario reaches and each errno of
// that entry, the k-th call of the entry fails (k = 1, 2, ... until the
// scenario completes without reaching k). Every such run must:
//   - answer the status of that failure (an independent table below), or the
//     fault-free answer where the library recovers (EINTR is retried, a
//     close is done whatever it answers, ...): the recoveries are listed;
//   - leak no descriptor;
//   - leave no share or lock record behind: the file then opens with every
//     mode word that opens a fresh file, and a lock on its whole range is
//     granted;
//   - leave the scratch directory as it was before the call, or exactly as
//     the fault-free call leaves it.
//
// The entries are enumerated, not named: an entry added to the table is
// swept as soon as it exists (with EIO until it is given its own errnos).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "descriptors.h"
#include "platform/posix/syscalls.h"
#include "qorvel.h"
#include "struct_fields.h"
#include "test_support.h"

namespace fs = std::filesystem;
using qorvel::platform::posix::kDefaultSystemCalls;
using qorvel::platform::posix::sys;
using qorvel::platform::posix::SystemCalls;

namespace {

constexpr std::size_t kEntries = qtest::fieldCount<SystemCalls>();
static_assert(sizeof(SystemCalls) == kEntries * sizeof(void (*)()),
              "every member of the system-call table is one function pointer");

// ---- What each entry can really fail with -----------------------------------

struct EntryFacts {
    std::size_t offset;
    const char* name;
    std::vector<int> errors;
};

#define QORVEL_ENTRY(member, ...)                               \
    EntryFacts {                                                \
        offsetof(SystemCalls, member), #member, { __VA_ARGS__ } \
    }

// The errnos the kernel gives these calls on a local file system that fails
// (an I/O error, a full volume or quota, no memory, the descriptor limit)
// or refuses (permissions, a read-only mount). A lock call's conflict
// answers (EAGAIN, EACCES) are not faults; the share-mode and crash tests
// cover them.
const std::vector<EntryFacts>& entryFacts() {
    static const std::vector<EntryFacts> facts = {
        QORVEL_ENTRY(open, EMFILE, ENFILE, ENOMEM, EACCES, EIO, ENOSPC, EROFS, EINTR),
        QORVEL_ENTRY(close, EIO, EINTR, ENOSPC),
        QORVEL_ENTRY(read, EIO, EINTR),
        QORVEL_ENTRY(write, EIO, ENOSPC, EDQUOT, EFBIG, EINTR),
        QORVEL_ENTRY(lseek, EOVERFLOW),
        QORVEL_ENTRY(ftruncate, EIO, EFBIG, EPERM, EINTR),
        QORVEL_ENTRY(fsync, EIO, ENOSPC),
        QORVEL_ENTRY(fcntlLock, ENOLCK, ENOMEM),
        QORVEL_ENTRY(fcntlInt, EBADF),  // F_GETFD: only a closed descriptor fails
        QORVEL_ENTRY(fstat, EIO, ENOMEM, EOVERFLOW),
        QORVEL_ENTRY(stat, EACCES, EIO, ENOMEM),
        QORVEL_ENTRY(lstat, EACCES, EIO, ENOMEM),
        QORVEL_ENTRY(statx, EACCES, EIO, ENOMEM),
        QORVEL_ENTRY(unlink, EACCES, EBUSY, EIO, EROFS),
        QORVEL_ENTRY(renameat2, EACCES, ENOSPC, EROFS, EXDEV),
        QORVEL_ENTRY(link, EACCES, EIO, ENOSPC, EPERM),
        QORVEL_ENTRY(mkdir, EACCES, ENOSPC, EROFS),
        QORVEL_ENTRY(rmdir, EACCES, EBUSY, EROFS),
        QORVEL_ENTRY(chmod, EPERM, EIO, EROFS),
        QORVEL_ENTRY(fchmod, EPERM, EIO, EROFS),
        QORVEL_ENTRY(futimens, EPERM, EROFS),
        QORVEL_ENTRY(getcwd, ENOENT, EACCES, ENOMEM),
        QORVEL_ENTRY(statvfs, EIO, EACCES, ENOMEM),
        QORVEL_ENTRY(copyFileRange, EIO, ENOSPC, EXDEV),
        QORVEL_ENTRY(getxattr, EIO, ENOMEM),
        QORVEL_ENTRY(setxattr, EIO, ENOSPC, EDQUOT, EPERM),
        QORVEL_ENTRY(removexattr, EIO, EPERM),
        QORVEL_ENTRY(fstatfs, EIO, ENOMEM),
    };
    return facts;
}

#undef QORVEL_ENTRY

const EntryFacts& factsAt(std::size_t offset) {
    static const EntryFacts unknown{0, "(new entry)", {EIO}};
    for (const EntryFacts& facts : entryFacts()) {
        if (facts.offset == offset) return facts;
    }
    return unknown;
}

// The status word of each injected errno, from the error-number table of
// docs/platform-notes.md, written out here rather than asked of the library.
cFileStatus statusOf(int error) {
    switch (error) {
        case EIO: return 0x045D0307;
        case ENOSPC:
        case EDQUOT: return 0x00700308;
        case EMFILE:
        case ENFILE: return 0x00040307;
        case EACCES:
        case EPERM: return 0x00050301;
        case ENOMEM: return 0x00080307;
        case EROFS: return 0x00130307;
        case EFBIG:
        case EOVERFLOW: return 0x00DF0307;
        case ENOLCK: return 0x00240305;
        case EBUSY: return 0x00AA0307;
        case EXDEV: return 0x00110307;
        case EINVAL: return 0x00570307;
        case ENOENT: return 0x00020304;
        case EBADF: return 0x00060303;
        default: return 0x001F0307;  // ERROR_GEN_FAILURE: unlisted
    }
}

// ---- The injector -----------------------------------------------------------

struct Injection {
    bool armed = false;
    std::size_t entry = kEntries;  // none
    int error = 0;
    long failAt = 0;  // the k-th call of the entry fails
    bool fired = false;
    long calls[kEntries] = {};
};

Injection gInjection;
SystemCalls gBase = kDefaultSystemCalls;  // what a call that does not fail reaches

template <std::size_t I>
std::size_t offsetOfEntry() {
    auto fields = qtest::tieFields(gBase);
    return static_cast<std::size_t>(reinterpret_cast<const char*>(&std::get<I>(fields)) -
                                    reinterpret_cast<const char*>(&gBase));
}

template <class R>
R failureValue() {
    if constexpr (std::is_pointer_v<R>) {
        return nullptr;
    } else {
        return static_cast<R>(-1);
    }
}

template <std::size_t I, class F>
struct Wrapper;

template <std::size_t I, class R, class... A>
struct Wrapper<I, R (*)(A...)> {
    static R call(A... args) {
        auto base = std::get<I>(qtest::tieFields(gBase));
        if (gInjection.armed) {
            ++gInjection.calls[I];
            if (I == gInjection.entry && gInjection.calls[I] == gInjection.failAt) {
                gInjection.fired = true;
                // A failing close has still released the descriptor (Linux).
                if (offsetOfEntry<I>() == offsetof(SystemCalls, close)) base(args...);
                errno = gInjection.error;
                return failureValue<R>();
            }
        }
        return base(args...);
    }
};

template <std::size_t... I>
void installWrappers(std::index_sequence<I...>) {
    auto fields = qtest::tieFields(sys);
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

// Every file and directory under a root: name -> kind, write bits, content.
using Snapshot = std::map<std::string, std::string>;

// The scratch directory of one run, and what the scenario keeps in it.
struct World {
    std::string root;
    std::string file;                           // "file.txt", 7 bytes: "content"
    std::string other;                          // "other.txt", absent
    std::string dir;                            // "dir", an empty directory
    cFileHandle handle = CFILE_INVALID_HANDLE;  // opened by the setup
    cFileHandle opened = CFILE_INVALID_HANDLE;  // opened by the call
    char buffer[CFILE_DIR_BUFFER_SIZE] = {};
};

enum class Answer { Status, ZeroOne };

struct Scenario {
    Scenario(std::string name_, std::function<void(World&)> setup_,
             std::function<uint32_t(World&)> call_, Answer answer_ = Answer::Status,
             std::function<void(SystemCalls&)> environment_ = {},
             std::function<void(Snapshot&)> alsoAllowed_ = {})
        : name(std::move(name_)),
          setup(std::move(setup_)),
          call(std::move(call_)),
          answer(answer_),
          environment(std::move(environment_)),
          alsoAllowed(std::move(alsoAllowed_)) {}

    std::string name;
    std::function<void(World&)> setup;
    std::function<uint32_t(World&)> call;
    Answer answer;
    std::function<void(SystemCalls&)> environment;  // changes the calls beneath the injector
    std::function<void(Snapshot&)> alsoAllowed;     // a third state the directory may be left in
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

int renameAcrossDevices(int, const char*, int, const char*, unsigned int) {
    errno = EXDEV;
    return -1;
}

std::vector<Scenario> scenarios() {
    std::vector<Scenario> all;
    for (unsigned word : {0x0001u, 0x0002u, 0x0004u, 0x0012u, 0x0021u, 0x0044u, 0x0040u, 0x0003u}) {
        const auto mode = static_cast<cFileMode>(word);
        char name[32];
        std::snprintf(name, sizeof name, "cFileOpen %#06x", mode);
        all.push_back({name, nothing,
                       [mode](World& w) { return cFileOpen(w.file.c_str(), mode, &w.opened); }});
    }
    all.push_back({"cFileCreate existing", nothing,
                   [](World& w) { return cFileCreate(w.file.c_str(), 0x0002, 0, &w.opened); }});
    all.push_back({"cFileCreate new", nothing,
                   [](World& w) { return cFileCreate(w.other.c_str(), 0x0044, 0, &w.opened); }});
    all.push_back({"cFileClose", withHandle(0x0044), [](World& w) {
                       cFileStatus status = cFileClose(w.handle);
                       w.handle = CFILE_INVALID_HANDLE;  // gone, whatever the answer
                       return status;
                   }});
    all.push_back(
        {"cFileFlush", withHandle(0x0042), [](World& w) { return cFileFlush(w.handle); }});
    all.push_back({"cFileGetPlatformHandle", withHandle(0x0001), [](World& w) {
                       int32_t fd = 0;
                       return cFileGetPlatformHandle(w.handle, &fd, sizeof fd);
                   }});
    all.push_back({"cFileRead", withHandle(0x0021), [](World& w) {
                       char data[8];
                       uint32_t got = 0;
                       return cFileRead(w.handle, data, 4, &got);
                   }});
    all.push_back({"cFileWrite", withHandle(0x0012), [](World& w) {
                       uint32_t wrote = 0;
                       return cFileWrite(w.handle, "XYZ", 3, &wrote);
                   }});
    all.push_back({"cFileWrite on a read handle", withHandle(0x0001), [](World& w) {
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
    all.push_back({"cFileLock read handle", withHandle(0x0041),
                   [](World& w) { return cFileLock(w.handle, 2, 3); }});
    // Reads and writes beside a range that another handle holds locked.
    auto besideALock = [](World& w) {
        w.handle = openForSetup(w.file, 0x0044);
        w.opened = openForSetup(w.file, 0x0044);
        if (cFileLock(w.opened, 4, 2) != 0) ADD_FAILURE() << "setup lock";
    };
    all.push_back({"cFileRead beside a lock", besideALock, [](World& w) {
                       char data[8];
                       uint32_t got = 0;
                       return cFileRead(w.handle, data, 3, &got);
                   }});
    all.push_back({"cFileWrite beside a lock", besideALock, [](World& w) {
                       uint32_t wrote = 0;
                       return cFileWrite(w.handle, "XY", 2, &wrote);
                   }});
    all.push_back({"cFileUnlock",
                   [](World& w) {
                       w.handle = openForSetup(w.file, 0x0044);
                       if (cFileLock(w.handle, 0, 4) != 0) ADD_FAILURE() << "setup lock";
                   },
                   [](World& w) { return cFileUnlock(w.handle, 0, 4); }});
    all.push_back({"cFileRemove", nothing, [](World& w) { return cFileRemove(w.file.c_str()); }});
    all.push_back({"cFileRename", nothing,
                   [](World& w) { return cFileRename(w.file.c_str(), w.other.c_str()); }});
    all.push_back({"cFileRename across file systems", nothing,
                   [](World& w) { return cFileRename(w.file.c_str(), w.other.c_str()); },
                   Answer::Status,
                   [](SystemCalls& calls) { calls.renameat2 = renameAcrossDevices; }});
    all.push_back({"cFileCreateDir", nothing,
                   [](World& w) { return cFileCreateDir((w.root + "/new").c_str()); }});
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
    all.push_back({"cFileGetAttribute", nothing,
                   [](World& w) {
                       int16_t flag = 0;
                       return static_cast<uint32_t>(cFileGetAttribute(w.file.c_str(), 1, &flag));
                   },
                   Answer::ZeroOne});
    all.push_back(
        {"cFileSetAttribute read-only", nothing,
         [](World& w) { return static_cast<uint32_t>(cFileSetAttribute(w.file.c_str(), 1, 1)); },
         Answer::ZeroOne});
    all.push_back({"cFileGetTime", nothing,
                   [](World& w) {
                       int32_t time = 0;
                       return static_cast<uint32_t>(cFileGetTime(w.file.c_str(), 1, &time));
                   },
                   Answer::ZeroOne});
    all.push_back(
        {"cFileGetCurrentDir", nothing, [](World& w) { return cFileGetCurrentDir(w.buffer); }});
    all.push_back({"cFileGetTempDir", nothing, [](World& w) { return cFileGetTempDir(w.buffer); }});
    all.push_back({"cFileGetTempDir from TMPDIR", nothing, [](World& w) {
                       setenv("TMPDIR", w.dir.c_str(), 1);
                       cFileStatus status = cFileGetTempDir(w.buffer);
                       unsetenv("TMPDIR");
                       return status;
                   }});
    all.push_back({"cFileGetDiskFree", nothing, [](World& w) {
                       uint32_t free = 0;
                       return cFileGetDiskFree(w.root.c_str(), &free);
                   }});
    all.push_back({"cFileBuildNftBuffer", nothing,
                   [](World& w) { return cFileBuildNftBuffer(nullptr, nullptr, w.buffer); }});
    all.push_back({"cFileWriteToFile existing", nothing,
                   [](World& w) { return cFileWriteToFile(w.file.c_str(), "line\r\n"); }});
    // The file is made in the step that opens it: a failed write leaves it empty.
    all.push_back({"cFileWriteToFile new",
                   nothing,
                   [](World& w) { return cFileWriteToFile(w.other.c_str(), "line\r\n"); },
                   Answer::Status,
                   {},
                   [](Snapshot& state) { state["other.txt"] = "rw:"; }});
    all.push_back({"cFilePrepLock", nothing, [](World&) { return cFilePrepLock(1); }});
    all.push_back({"cFileTermLock", nothing, [](World&) { return cFileTermLock(); }});
    return all;
}

// ---- One run ----------------------------------------------------------------

Snapshot snapshot(const std::string& root) {
    Snapshot result;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string name = fs::relative(entry.path(), root).string();
        struct stat status;
        ::lstat(entry.path().c_str(), &status);
        if (S_ISDIR(status.st_mode)) {
            result[name] = "dir";
        } else {
            result[name] =
                ((status.st_mode & 0222) ? "rw:" : "ro:") + qtest::readFile(entry.path());
        }
    }
    return result;
}

std::string describe(const Snapshot& state) {
    std::ostringstream text;
    for (const auto& [name, what] : state) text << name << "=" << what << "; ";
    return text.str();
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
    std::vector<cFileMode> modesThatOpen;
    long runs = 0, faults = 0;

    void SetUp() override {
        installWrappers(std::make_index_sequence<kEntries>());
        resetWorld();
        World w = world();
        for (unsigned mode = 0; mode <= 0xFFFF; ++mode) {
            if (mode & CFILE_MODE_INVALID_MASK) continue;
            cFileHandle handle;
            if (cFileOpen(w.file.c_str(), static_cast<cFileMode>(mode), &handle) == 0) {
                modesThatOpen.push_back(static_cast<cFileMode>(mode));
                cFileClose(handle);
            }
        }
        ASSERT_GT(modesThatOpen.size(), 100u);
    }
    void TearDown() override {
        sys = kDefaultSystemCalls;
        std::printf("[ sweep    ] %ld runs, %ld injected faults\n", runs, faults);
    }

    World world() const {
        World w;
        w.root = root;
        w.file = root + "/file.txt";
        w.other = root + "/other.txt";
        w.dir = root + "/dir";
        return w;
    }
    void resetWorld() {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(root, ignored)) {
            ::chmod(entry.path().c_str(), 0755);
        }
        fs::remove_all(root, ignored);
        fs::create_directories(root + "/dir");
        qtest::writeFile(root + "/file.txt", "content");
    }

    Outcome run(const Scenario& scenario, std::size_t entry, int error, long failAt) {
        ++runs;
        resetWorld();
        gBase = kDefaultSystemCalls;
        if (scenario.environment) scenario.environment(gBase);
        World w = world();
        int descriptors = qtest::openDescriptorCount();
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
        EXPECT_EQ(qtest::openDescriptorCount(), descriptors)
            << scenario.name << ": a descriptor leaked" << context(entry, error, failAt);
        if (outcome.fired) {
            ++faults;
            expectNothingLeftBehind(scenario, context(entry, error, failAt));
        }
        gBase = kDefaultSystemCalls;
        return outcome;
    }

    static std::string context(std::size_t entry, int error, long failAt) {
        if (entry >= kEntries) return " (no fault)";
        std::ostringstream text;
        text << " (" << factsAt(offsets()[entry]).name << " call " << failAt << " failing with "
             << std::strerror(error) << ")";
        return text.str();
    }

    // Every regular file left opens with every mode word, and can be locked whole.
    void expectNothingLeftBehind(const Scenario& scenario, const std::string& where) {
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file()) continue;
            std::string path = entry.path().string();
            ::chmod(path.c_str(), 0644);
            for (cFileMode mode : modesThatOpen) {
                cFileHandle handle;
                cFileStatus status = cFileOpen(path.c_str(), mode, &handle);
                if (status != 0) {
                    ADD_FAILURE() << scenario.name << where << ": " << path << " refuses mode "
                                  << std::hex << mode << " with " << status;
                    return;
                }
                cFileClose(handle);
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

// Where the library answers something other than the failure itself, and why.
// The first rule that matches a run decides; a run no rule matches must
// answer the failure's status.
struct Rule {
    const char* scenario;  // prefix of the scenario's name
    const char* entry;
    int error;       // 0: any
    long call;       // 0: any
    bool recovered;  // the fault-free answer is allowed
    bool reported;   // the failure's status is allowed
    uint32_t other;  // one more answer that is allowed, kNone for none
    bool litter;     // a hidden .qorvel-move-* name may stay behind
    const char* why;
};

constexpr uint32_t kNone = 0xFFFFFFFF;

const Rule kRules[] = {
    {"cFileClose", "close", EINTR, 0, true, false, kNone, false,
     "an interrupted close has released the descriptor: done"},
    {"cFileClose", "close", 0, 0, false, true, kNone, false, "the close's failure is the answer"},
    {"", "close", 0, 0, true, false, kNone, false,
     "a descriptor whose work is complete is released whatever close answers"},
    {"", "read", EINTR, 0, true, false, kNone, false, "an interrupted read is repeated"},
    {"", "write", EINTR, 0, true, false, kNone, false, "an interrupted write is repeated"},
    {"cFileSetSize", "ftruncate", EINTR, 0, true, false, kNone, false,
     "an interrupted size change is repeated"},
    {"cFileRename across", "open", EINTR, 0, true, true, kNone, false,
     "gap: an interrupted open of the copy is not repeated yet"},
    {"", "open", EINTR, 0, true, false, kNone, false, "an interrupted open is repeated"},
    {"cFileCreate", "ftruncate", EINTR, 0, true, false, kNone, false,
     "an interrupted truncation is repeated"},
    {"cFileOpen 0x0001", "open", EACCES, 2, true, false, kNone, false,
     "no writable second description for a reader that denies reading: the denial is checked"},
    {"cFileOpen 0x0001", "open", EROFS, 2, true, false, kNone, false,
     "no writable second description for a reader that denies reading: the denial is checked"},
    {"cFileOpen 0x0003", "open", EACCES, 1, true, false, kNone, false,
     "a handle without data access on a file it may not read and write is an O_PATH descriptor"},
    {"cFileOpen 0x0003", "open", EROFS, 1, true, false, kNone, false,
     "a handle without data access on a file it may not read and write is an O_PATH descriptor"},
    {"cFileIsExist", "stat", 0, 0, true, false, kNone, false,
     "answers 0 whenever its pointers are given; the flag says whether the look succeeded"},
    {"cFileGetDiskFree", "statx", 0, 0, false, true, 0x00020304, false,
     "a failed look at the path itself answers the C run time's error 2 and measures on"},
    {"cFileGetTempDir", "stat", 0, 0, false, false, 0, false,
     "a TMPDIR that cannot be looked at names no directory: the answer is /tmp"},
    {"cFileRemoveDir", "stat", 0, 0, true, true, kNone, false,
     "the check against removing the current directory is skipped when it cannot be made"},
    {"cFileRename across", "copyFileRange", EXDEV, 0, true, false, kNone, false,
     "no kernel copy: the move copies by reading and writing"},
    {"cFileRename", "renameat2", EXDEV, 0, true, false, kNone, false,
     "another file system: the move copies"},
    {"cFileRename across", "lstat", 0, 3, true, true, kNone, false,
     "the early look for an existing target only spares the copy; link refuses one anyway"},
    {"cFileRename across", "link", EPERM, 0, false, false, 0x00110307, false,
     "no hard links: the copy is published by renameat2, which this scenario fails with EXDEV"},

    // Found by this sweep; they go with the rework of the handle model.
    // Remove a rule once its gap is closed: the sweep then holds the fix.
    {"cFileRemove", "open", EACCES, 1, true, false, kNone, false,
     "a file this process may not read cannot be held by a handle of it: nothing to look at"},
    {"cFileRename", "open", EACCES, 1, true, false, kNone, false,
     "a file this process may not read cannot be held by a handle of it: nothing to look at"},
    {"cFileRename across", "open", 0, 4, true, true, kNone, false,
     "gap: the directory sync after publishing a moved file is best effort"},
    {"cFileRename across", "fsync", 0, 2, true, true, kNone, false,
     "gap: the directory sync after publishing a moved file is best effort"},
    {"cFileRename across", "unlink", 0, 1, true, true, kNone, true,
     "gap: the hidden name of a published copy stays when it cannot be removed"},
};

const Rule* ruleFor(const Scenario& scenario, const char* entry, int error, long call) {
    for (const Rule& rule : kRules) {
        if (scenario.name.rfind(rule.scenario, 0) == 0 && std::strcmp(rule.entry, entry) == 0 &&
            (rule.error == 0 || rule.error == error) && (rule.call == 0 || rule.call == call)) {
            return &rule;
        }
    }
    return nullptr;
}

Snapshot withoutLitter(Snapshot state) {
    for (auto it = state.begin(); it != state.end();) {
        it = it->first.rfind(".qorvel-move-", 0) == 0 ? state.erase(it) : std::next(it);
    }
    return state;
}

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

TEST_F(FaultSweep, EveryFailingCallOfEveryExportIsAnsweredAndLeavesNothingBehind) {
    std::vector<bool> reached(kEntries, false);
    for (const Scenario& scenario : scenarios()) {
        Outcome clean = run(scenario, kEntries, 0, 0);
        std::printf("[ calls    ] %s:%s\n", scenario.name.c_str(), callsMade(clean).c_str());
        for (std::size_t entry = 0; entry < kEntries; ++entry) {
            if (clean.calls[entry] > 0) reached[entry] = true;
        }
        Snapshot before;
        {
            resetWorld();
            before = snapshot(root);
        }
        for (std::size_t entry = 0; entry < kEntries; ++entry) {
            if (clean.calls[entry] == 0) continue;
            const EntryFacts& facts = factsAt(offsets()[entry]);
            for (int error : facts.errors) {
                for (long k = 1; k <= 1000; ++k) {
                    Outcome faulty = run(scenario, entry, error, k);
                    if (!faulty.fired) break;
                    std::string where = scenario.name + context(entry, error, k);
                    uint32_t reported = scenario.answer == Answer::ZeroOne ? 1 : statusOf(error);
                    const Rule* rule = ruleFor(scenario, facts.name, error, k);
                    bool allowed = rule == nullptr
                                       ? faulty.answer == reported
                                       : (rule->recovered && faulty.answer == clean.answer) ||
                                             (rule->reported && faulty.answer == reported) ||
                                             (rule->other != kNone && faulty.answer == rule->other);
                    EXPECT_TRUE(allowed)
                        << where << std::hex << ": answered " << faulty.answer
                        << ", the failure is " << reported << ", fault-free " << clean.answer
                        << (rule ? "; " : "") << (rule ? rule->why : "");
                    if (rule != nullptr && rule->litter) faulty.after = withoutLitter(faulty.after);
                    bool allowedState = faulty.after == before || faulty.after == clean.after;
                    if (scenario.alsoAllowed) {
                        Snapshot other = before;
                        scenario.alsoAllowed(other);
                        allowedState = allowedState || faulty.after == other;
                    }
                    EXPECT_TRUE(allowedState)
                        << where << ": left " << describe(faulty.after) << " not "
                        << describe(before) << " nor " << describe(clean.after);
                }
            }
        }
    }
    for (std::size_t entry = 0; entry < kEntries; ++entry) {
        if (!reached[entry]) {
            std::printf("[ note     ] no scenario reaches %s\n", factsAt(offsets()[entry]).name);
        }
    }
}

// Share modes and locks at the edges only a POSIX system has: descriptors
// inherited across exec, files the caller may not read, FIFOs, a system
// without /proc, other programs' POSIX locks, races between processes, and
// the host's own descriptor attributes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "fixtures.h"
#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

extern char** environ;

namespace {

using namespace qtest::words;

class PosixShareEdgeTest : public qtest::HandlesOnAFileTest {
protected:
    PosixShareEdgeTest() : HandlesOnAFileTest("file.txt", "0123456789abcdefghij") {}

    cFileStatus tryOpen(cFileMode mode) {
        cFileHandle handle = CFILE_INVALID_HANDLE;
        cFileStatus status = cFileOpen(file.c_str(), mode, &handle);
        if (status == 0) cFileClose(handle);
        return status;
    }
};

// Runs `body` in a forked process, `setUp` first (exit code 100 when it
// fails: the system does not allow it), with a time limit so that a hang
// fails instead of stopping the run. Answers the exit code, -1 for 100.
template <typename SetUp, typename Body>
int inChild(SetUp setUp, Body body) {
    pid_t pid = fork();
    if (pid == 0) {
        alarm(20);
        if (!setUp()) _exit(100);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status)) return 200 + WTERMSIG(status);
    return WEXITSTATUS(status) == 100 ? -1 : WEXITSTATUS(status);
}

bool asNobody() {
    return setresgid(65534, 65534, 65534) == 0 && setresuid(65534, 65534, 65534) == 0;
}

bool withoutProc() {
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           umount2("/proc", MNT_DETACH) == 0 && access("/proc/self", F_OK) != 0;
}

// A program that inherits every descriptor of this process and sleeps.
pid_t startSleeper() {
    pid_t pid = -1;
    char sleep[] = "sleep";
    char seconds[] = "30";
    char* argv[] = {sleep, seconds, nullptr};
    return posix_spawnp(&pid, "sleep", nullptr, nullptr, argv, environ) == 0 ? pid : -1;
}

void stop(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// A POSIX lock (fcntl F_SETLK) of another program, held until the object
// goes. Length 0 reaches to the end of the lock space.
class OtherProgramsLock {
public:
    OtherProgramsLock(const std::string& path, short type, off_t start, off_t length) {
        int ready[2];
        if (pipe(ready) != 0 || pipe(release_) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            ::close(release_[1]);
            int fd = ::open(path.c_str(), type == F_WRLCK ? O_RDWR : O_RDONLY);
            struct flock lock = {};
            lock.l_type = type;
            lock.l_start = start;
            lock.l_len = length;
            char answer = fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
            if (write(ready[1], &answer, 1) != 1 || read(release_[0], &answer, 1) < 0) _exit(1);
            _exit(0);
        }
        char answer = 'n';
        held_ = read(ready[0], &answer, 1) == 1 && answer == 'y';
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~OtherProgramsLock() {
        ::close(release_[1]);
        ::close(release_[0]);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    bool held() const { return held_; }

private:
    int release_[2] = {-1, -1};
    pid_t pid_ = -1;
    bool held_ = false;
};

}  // namespace

// A handle keeps its share mode in a program that inherited it, after the
// host closed its own copy, until that program ends too: a handle that
// denies reading keeps out a later reader as well as a later writer.
TEST_F(PosixShareEdgeTest, AnInheritedHandleKeepsItsShareModeAcrossExec) {
    for (unsigned mode : {0x0001u, 0x0011u, 0x0041u, 0x0002u}) {
        cFileHandle handle = open(cFileMode(mode));
        pid_t sleeper = startSleeper();
        ASSERT_GT(sleeper, 0);
        close(handle);
        EXPECT_EQ(tryOpen(0x0002), kSharingViolation) << mode;
        EXPECT_EQ(tryOpen(0x0041), mode == 0x0041 ? 0u : kSharingViolation) << mode;
        EXPECT_EQ(cFileRemove(file.c_str()), kSharingViolation) << mode;
        stop(sleeper);
        EXPECT_EQ(tryOpen(0x0002), 0u) << mode;
        EXPECT_EQ(tryOpen(0x0041), 0u) << mode;
    }
}

// A handle the host marks close-on-exec leaves nothing of itself, share mode
// included, in a program it starts.
TEST_F(PosixShareEdgeTest, AHandleMarkedCloseOnExecStaysOutOfAStartedProgram) {
    for (unsigned mode : {0x0001u, 0x0011u, 0x0004u}) {
        cFileHandle handle = open(cFileMode(mode));
        ASSERT_EQ(fcntl(handle, F_SETFD, FD_CLOEXEC), 0);
        pid_t sleeper = startSleeper();
        ASSERT_GT(sleeper, 0);
        close(handle);
        EXPECT_EQ(tryOpen(0x0004), 0u) << mode;
        stop(sleeper);
    }
}

// Started programs, here as another user, get no more than the host's
// handles: a program run with bash looks through its own descriptors for the
// file, tries to write through each, and exits with 10 * (those with write
// access) + (all of them). Nothing may write; with FD_CLOEXEC on the handle
// nothing of the file is there at all.
TEST_F(PosixShareEdgeTest, AStartedProgramGetsNoWriterOfAFileTheHostOnlyReads) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to switch users";
    const std::string target = std::filesystem::canonical(file).string();
    const std::string probe =
        "n=0; w=0; for f in /proc/$$/fd/*; do "
        "[ \"$(readlink \"$f\")\" = \"$1\" ] || continue; d=${f##*/}; n=$((n + 1)); "
        "m=$(sed -n \"s/^flags:[[:space:]]*//p\" /proc/$$/fdinfo/$d); "
        "[ $((0$m & 3)) -ne 0 ] && w=$((w + 1)); "
        "echo overwritten 2>/dev/null >&$d; "
        "done; exit $((10 * w + n))";
    std::string bash = "/bin/bash", dashC = "-c", name = "probe";
    char* argv[] = {bash.data(),
                    dashC.data(),
                    const_cast<char*>(probe.c_str()),
                    name.data(),
                    const_cast<char*>(target.c_str()),
                    nullptr};
    auto exitCode = [](int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 99; };
    auto byForkAndExec = [&] {
        pid_t pid = fork();
        if (pid == 0) {
            execv(argv[0], argv);
            _exit(98);
        }
        int status = 0;
        return waitpid(pid, &status, 0) == pid ? exitCode(status) : 97;
    };
    auto bySpawn = [&] {
        pid_t pid = -1;
        int status = 0;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) return 96;
        return waitpid(pid, &status, 0) == pid ? exitCode(status) : 97;
    };
    auto bySystem = [&] {
        std::string command = "exec /bin/bash -c '" + probe + "' probe '" + target + "'";
        return exitCode(system(command.c_str()));
    };
    for (unsigned mode : {0x0001u, 0x0011u, 0x0021u, 0x0041u}) {
        for (bool closeOnExec : {false, true}) {
            cFileHandle handle = open(cFileMode(mode));
            if (closeOnExec) {
                ASSERT_EQ(fcntl(handle, F_SETFD, FD_CLOEXEC), 0);
            }
            int expected = closeOnExec ? 0 : 1;
            EXPECT_EQ(inChild(asNobody, byForkAndExec), expected) << mode << closeOnExec;
            EXPECT_EQ(inChild(asNobody, bySpawn), expected) << mode << closeOnExec;
            EXPECT_EQ(inChild(asNobody, bySystem), expected) << mode << closeOnExec;
            close(handle);
            EXPECT_EQ(qtest::readFile(file), "0123456789abcdefghij") << mode;
        }
    }
}

// Descriptors of this process on `path` (same st_dev, st_ino) that may write.
int writersOf(const std::string& path) {
    struct stat target;
    if (stat(path.c_str(), &target) != 0) return -1;
    int writers = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        int fd = std::stoi(entry.path().filename().string());
        struct stat status;
        int flags = fcntl(fd, F_GETFL);
        if (fstat(fd, &status) != 0 || flags < 0 || (flags & O_PATH)) continue;
        bool same = status.st_dev == target.st_dev && status.st_ino == target.st_ino;
        int mode = flags & O_ACCMODE;
        if (same && (mode == O_WRONLY || mode == O_RDWR)) ++writers;
    }
    return writers;
}

// Emptying through a create with no access right writes through a descriptor
// of its own, which is gone when the call returns; no handle without write
// access ever leaves one.
TEST_F(PosixShareEdgeTest, NoWriterOutlivesTheCallThatEmpties) {
    cFileHandle reader = open(0x0011);
    EXPECT_EQ(writersOf(file), 0);
    cFileHandle empty = CFILE_INVALID_HANDLE;
    ASSERT_EQ(cFileCreate(file.c_str(), 0x0046, 0, &empty), 0u);
    handles.push_back(empty);
    EXPECT_EQ(qtest::fileSize(file), 0u);
    EXPECT_EQ(writersOf(file), 0);
    EXPECT_EQ(fcntl(empty, F_GETFD), 0);
    close(reader);
}

// A host that closed its standard error (or output) before opening a file
// to read starts a program that writes to both: the file stays as it was.
TEST_F(PosixShareEdgeTest, AProgramsOutputNeverReachesAFileOpenedToRead) {
    for (int lowest : {1, 2}) {
        int code = inChild([] { return true; },
                           [&] {
                               for (int fd = lowest; fd <= 2; ++fd) ::close(fd);
                               cFileHandle handle;
                               if (cFileOpen(file.c_str(), 0x0001, &handle) != 0) return 1;
                               if (handle != lowest) return 2;
                               int status = system("echo overwritten; echo overwritten >&2");
                               return cFileClose(handle) == 0 && status != -1 ? 0 : 3;
                           });
        EXPECT_EQ(code, 0) << lowest;
        EXPECT_EQ(qtest::readFile(file), "0123456789abcdefghij") << lowest;
    }
}

// A forked child that closes everything it inherited (as a host does before
// exec), opens the file itself and uses the library keeps every descriptor
// it opened: the library closes none it did not open.
TEST_F(PosixShareEdgeTest, AChildThatClosedEverythingKeepsItsOwnDescriptors) {
    for (unsigned mode : {0x0001u, 0x0011u, 0x0044u}) {
        cFileHandle handle = open(cFileMode(mode));
        int code = inChild([] { return true; },
                           [&] {
                               if (syscall(SYS_close_range, 3u, ~0u, 0u) != 0) return 1;
                               std::vector<int> own;
                               while (own.empty() || own.back() <= handle + 2) {
                                   own.push_back(::open(file.c_str(), O_RDONLY));
                                   if (own.back() < 0) return 2;
                               }
                               ::close(handle);    // the number the handle had is free
                               cFileHandle again;  // no access: the parent's handle stays
                               if (cFileOpen(file.c_str(), 0x0043, &again) != 0) return 3;
                               if (again != handle || cFileClose(again) != 0) return 4;
                               for (int fd : own) {
                                   char byte;
                                   if (fd != handle && pread(fd, &byte, 1, 0) != 1) return 5;
                               }
                               return 0;
                           });
        EXPECT_EQ(code, 0) << mode;
        close(handle);
    }
}

// A held file stays where it is when the caller may not read it: the look
// for holders is made another way, or the call refuses.
TEST_F(PosixShareEdgeTest, AHeldFileTheCallerCannotReadStays) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to switch users";
    chmod(dir.root().c_str(), 0777);
    std::string moved = dir.path("moved.txt");
    std::string locked = dir.path("nobody-may-open.txt");
    qtest::writeFile(locked, "x");
    chmod(locked.c_str(), 0);
    int code = inChild(asNobody, [&] {
        cFileHandle handle;
        if (cFileCreate(dir.path("w.txt").c_str(), 0x0002, 0, &handle) != 0) return 1;
        chmod(dir.path("w.txt").c_str(), 0200);
        if (cFileRemove(dir.path("w.txt").c_str()) != kSharingViolation) return 2;
        if (cFileRename(dir.path("w.txt").c_str(), moved.c_str()) != kSharingViolation) return 3;
        uint32_t count = 0;
        if (cFileWrite(handle, "abc", 3, &count) != 0 || count != 3) return 4;
        if (cFileClose(handle) != 0) return 5;
        if (cFileRemove(dir.path("w.txt").c_str()) != 0) return 6;
        // Neither readable nor writable: no look can be made, so no removal.
        return cFileRemove(locked.c_str()) == kAccessDenied ? 0 : 7;
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(qtest::exists(locked));
}

// Reading a FIFO through a handle that denies reading ends at end-of-file:
// the library never becomes a writer of the pipe.
TEST_F(PosixShareEdgeTest, AFifoReadThroughAnExclusiveHandleEnds) {
    std::string fifo = dir.path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    for (unsigned mode : {0x0001u, 0x0011u, 0x0021u}) {
        pid_t writer = fork();
        if (writer == 0) {
            int fd = ::open(fifo.c_str(), O_WRONLY);
            _exit(fd >= 0 && write(fd, "abc", 3) == 3 ? 0 : 1);
        }
        int code = inChild([] { return true; },
                           [&] {
                               cFileHandle handle;
                               if (cFileOpen(fifo.c_str(), cFileMode(mode), &handle) != 0) return 1;
                               char buffer[8];
                               uint32_t count = 0, total = 0;
                               do {
                                   if (cFileRead(handle, buffer, sizeof buffer, &count) != 0)
                                       return 2;
                                   total += count;
                               } while (count > 0);
                               return total == 3 && cFileClose(handle) == 0 ? 0 : 3;
                           });
        EXPECT_EQ(code, 0) << mode;
        waitpid(writer, nullptr, 0);
    }
}

// Without /proc every export answers as with it.
TEST_F(PosixShareEdgeTest, NothingDependsOnProc) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root for a mount namespace";
    int code = inChild(withoutProc, [&] {
        cFileHandle reader, other, empty;
        if (cFileOpen(file.c_str(), 0x0001, &reader) != 0) return 1;
        if (cFileOpen(file.c_str(), 0x0021, &other) != kSharingViolation) return 2;
        if (cFileClose(reader) != 0) return 3;
        if (cFileOpen(file.c_str(), 0x0011, &reader) != 0) return 4;
        if (cFileCreate(file.c_str(), 0x0006, 0, &empty) != 0) return 5;
        if (qtest::fileSize(file) != 0) return 6;
        if (cFileLock(empty, 0, 10) != kAccessDenied) return 7;
        if (cFileRemove(file.c_str()) != kSharingViolation) return 8;
        return cFileClose(reader) == 0 && cFileClose(empty) == 0 ? 0 : 9;
    });
    if (code == -1) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(code, 0);
}

// Another program's whole-file POSIX lock is not a handle of the library:
// opens say the file is locked (33), never a sharing violation or 36, and a
// removal goes ahead where no library lock can hide behind it.
TEST_F(PosixShareEdgeTest, AnotherProgramsWholeFileLock) {
    std::string moved = dir.path("moved.txt");
    {
        OtherProgramsLock whole(file, F_WRLCK, 0, 0);  // lockf(fd, F_TLOCK, 0)
        ASSERT_TRUE(whole.held());
        EXPECT_EQ(tryOpen(0x0041), kLockViolation);
        EXPECT_EQ(tryOpen(0x0042), kLockViolation);
        EXPECT_EQ(tryOpen(0x0014), kLockViolation);
        EXPECT_EQ(cFileRename(file.c_str(), moved.c_str()), 0u);
        EXPECT_EQ(cFileRename(moved.c_str(), file.c_str()), 0u);
    }
    {
        OtherProgramsLock whole(file, F_RDLCK, 0, 0);
        ASSERT_TRUE(whole.held());
        // Behind another program's read lock the share modes cannot be seen:
        // a reader that denies reading may be there, so no reader opens.
        EXPECT_EQ(tryOpen(0x0041), kLockViolation);
        EXPECT_EQ(tryOpen(0x0001), kLockViolation);
        EXPECT_EQ(tryOpen(0x0042), kLockViolation);
        EXPECT_EQ(cFileRename(file.c_str(), moved.c_str()), kLockViolation);
    }
    {
        // Locks on file bytes reach no share mode.
        OtherProgramsLock bytes(file, F_RDLCK, 0, 10);
        ASSERT_TRUE(bytes.held());
        EXPECT_EQ(tryOpen(0x0041), 0u);
        EXPECT_EQ(tryOpen(0x0001), 0u);
    }
    {
        // A read lock taken over a reader that denies reading lets no reader
        // in: the look sees the reader (32) or cannot see past the lock (33).
        cFileHandle exclusive = open(0x0001);
        OtherProgramsLock whole(file, F_RDLCK, 0, 0);
        ASSERT_TRUE(whole.held());
        EXPECT_NE(tryOpen(0x0041), 0u);
        EXPECT_NE(tryOpen(0x0021), 0u);
        EXPECT_NE(tryOpen(0x0044), 0u);
        close(exclusive);
    }
    EXPECT_EQ(tryOpen(0x0042), 0u);
}

// Another program's read lock on file bytes binds no transfer; a read
// handle's own lock, also a read lock, still does.
TEST_F(PosixShareEdgeTest, TransfersTellReadHandlesLocksFromOtherPrograms) {
    OtherProgramsLock bytes(file, F_RDLCK, 0, 10);
    ASSERT_TRUE(bytes.held());
    cFileHandle reader = open(0x0041);
    cFileHandle other = open(0x0044);
    char buffer[5];
    uint32_t count = 0;
    EXPECT_EQ(cFileRead(other, buffer, 5, &count), 0u);
    EXPECT_EQ(cFileLock(reader, 12, 4), 0u);
    EXPECT_EQ(cFileSeek(other, 10, CFILE_SEEK_BEGIN, nullptr), 0u);
    EXPECT_EQ(cFileRead(other, buffer, 5, &count), kLockViolation);
    EXPECT_EQ(cFileUnlock(reader, 12, 4), 0u);
    EXPECT_EQ(cFileRead(other, buffer, 5, &count), 0u);
    close(reader);
    close(other);
}

// Every valid mode word refuses a directory.
TEST_F(PosixShareEdgeTest, ADirectoryOpensAsAFileInNoMode) {
    for (unsigned mode = 1; mode < 0x80; ++mode) {
        if ((mode & 0x7) == 0 || (mode & 0x8)) continue;
        cFileHandle handle = CFILE_INVALID_HANDLE;
        EXPECT_EQ(cFileOpen(dir.root().c_str(), cFileMode(mode), &handle), kAccessDenied) << mode;
        EXPECT_EQ(handle, CFILE_INVALID_HANDLE);
    }
}

// A zero-length lock and a range over it, taken at the same instant in two
// processes (both spin until the other arrives), are never both granted.
TEST_F(PosixShareEdgeTest, AZeroLengthLockAndARangeRacingAcrossProcesses) {
    constexpr int kRounds = 10000;
    struct Shared {
        std::atomic<long> arrived;
        cFileStatus result[2];
        int bothGranted;
    };
    void* memory =
        mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    auto* shared = new (memory) Shared{};
    auto meet = [&](long& phase) {
        phase += 2;
        shared->arrived.fetch_add(1);
        // Spinning keeps both sides running, so that their calls overlap;
        // a long wait yields to whatever else the machine runs.
        for (long spins = 0; shared->arrived.load() < phase; ++spins) {
            if (spins > 100000) sched_yield();
        }
    };
    auto racer = [&](int side) {
        cFileHandle handle;
        if (cFileOpen(file.c_str(), 0x0044, &handle) != 0) return 1;
        long phase = 0;
        for (int round = 0; round < kRounds; ++round) {
            meet(phase);
            shared->result[side] = side == 0 ? cFileLock(handle, 5, 0) : cFileLock(handle, 0, 10);
            meet(phase);
            if (side == 0 && shared->result[0] == 0 && shared->result[1] == 0)
                ++shared->bothGranted;
            if (shared->result[side] == 0) {
                cFileUnlock(handle, side == 0 ? 5 : 0, side == 0 ? 0 : 10);
            }
            meet(phase);
        }
        return 0;
    };
    pid_t first = fork();
    if (first == 0) _exit(racer(0));
    pid_t second = fork();
    if (second == 0) _exit(racer(1));
    int status = 0;
    waitpid(first, &status, 0);
    EXPECT_EQ(status, 0);
    waitpid(second, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(shared->bothGranted, 0);
    munmap(memory, sizeof(Shared));
}

// A reader that denies reading and a handle that reads, opened at the same
// instant in two processes (both spin until the other arrives), are never
// both granted; most rounds one of them is.
TEST_F(PosixShareEdgeTest, ExclusiveReadersAndReadersRacingAcrossProcesses) {
    constexpr int kRounds = 2000;
    struct Shared {
        std::atomic<long> arrived;
        cFileStatus result[2];
        int bothGranted;
        int oneGranted;
    };
    void* memory =
        mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    const unsigned pairs[][2] = {
        {0x0001, 0x0041}, {0x0011, 0x0041}, {0x0001, 0x0044}, {0x0011, 0x0021}, {0x0001, 0x0011}};
    for (const auto& pair : pairs) {
        auto* shared = new (memory) Shared{};
        auto meet = [&](long& phase) {
            phase += 2;
            shared->arrived.fetch_add(1);
            for (long spins = 0; shared->arrived.load() < phase; ++spins) {
                if (spins > 100000) sched_yield();
            }
        };
        auto racer = [&](int side) {
            long phase = 0;
            for (int round = 0; round < kRounds; ++round) {
                cFileHandle handle = CFILE_INVALID_HANDLE;
                meet(phase);
                shared->result[side] = cFileOpen(file.c_str(), cFileMode(pair[side]), &handle);
                meet(phase);
                if (side == 0) {
                    bool first = shared->result[0] == 0, second = shared->result[1] == 0;
                    if (first && second) ++shared->bothGranted;
                    if (first != second) ++shared->oneGranted;
                }
                if (shared->result[side] == 0) cFileClose(handle);
                meet(phase);
            }
            return 0;
        };
        pid_t first = fork();
        if (first == 0) _exit(racer(0));
        pid_t second = fork();
        if (second == 0) _exit(racer(1));
        int status = 0;
        waitpid(first, &status, 0);
        EXPECT_EQ(status, 0);
        waitpid(second, &status, 0);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(shared->bothGranted, 0) << pair[0] << " " << pair[1];
        EXPECT_GT(shared->oneGranted, 0) << pair[0] << " " << pair[1];
    }
    munmap(memory, sizeof(Shared));
}

// The host's descriptor attributes are the host's: no export changes them.
TEST_F(PosixShareEdgeTest, TheHostsDescriptorAttributesStayTheHosts) {
    for (unsigned mode : {0x0041u, 0x0044u, 0x0002u}) {
        cFileHandle handle = open(cFileMode(mode));
        ASSERT_EQ(fcntl(handle, F_SETSIG, SIGUSR1), 0);
        int flags = fcntl(handle, F_GETFL);
        EXPECT_EQ(cFileLock(handle, 0, 4), 0u);
        EXPECT_EQ(cFileLock(handle, 8, 0), 0u);
        EXPECT_EQ(fcntl(handle, F_GETSIG), SIGUSR1) << mode;
        ASSERT_EQ(fcntl(handle, F_SETSIG, SIGUSR2), 0);
        EXPECT_EQ(cFileUnlock(handle, 0, 4), 0u) << mode;
        EXPECT_EQ(cFileUnlock(handle, 8, 0), 0u) << mode;
        uint32_t position = 0;
        EXPECT_EQ(cFileGetPosition(handle, &position), 0u);
        EXPECT_EQ(fcntl(handle, F_GETSIG), SIGUSR2);
        EXPECT_EQ(fcntl(handle, F_GETFL), flags);
        EXPECT_EQ(fcntl(handle, F_GETFD), 0);
        close(handle);
    }
}

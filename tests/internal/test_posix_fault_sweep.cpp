// The fault sweep of the POSIX backend: every export, every system call it
// makes, every failure that call can really give (the engine and what each
// run must show: tests/support/faults.h).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "faults.h"
#include "status_words.h"

using namespace qtest::faults;
using namespace qtest::words;

namespace {

// The errnos the kernel gives these calls on a local file system that fails
// (an I/O error, a full volume or quota, no memory, the descriptor limit)
// or refuses (permissions, a read-only mount). A lock call's conflict
// answers (EAGAIN, EACCES) are not faults; the share-mode and crash tests
// cover them.
const std::vector<EntryFacts> kEntryFacts = {
    QTEST_FAULT_ENTRY(open, EMFILE, ENFILE, ENOMEM, EACCES, EIO, ENOSPC, EROFS, EINTR),
    QTEST_FAULT_ENTRY(close, EIO, EINTR, ENOSPC),
    QTEST_FAULT_ENTRY(read, EIO, EINTR),
    QTEST_FAULT_ENTRY(write, EIO, ENOSPC, EDQUOT, EFBIG, EINTR),
    QTEST_FAULT_ENTRY(lseek, EOVERFLOW),
    QTEST_FAULT_ENTRY(ftruncate, EIO, EFBIG, EPERM, EINTR),
    QTEST_FAULT_ENTRY(fsync, EIO, ENOSPC),
    QTEST_FAULT_ENTRY(fcntlLock, ENOLCK, ENOMEM),
    QTEST_FAULT_ENTRY(fcntlInt, EBADF),  // F_GETFD: only a closed descriptor fails
    QTEST_FAULT_ENTRY(fstat, EIO, ENOMEM, EOVERFLOW),
    QTEST_FAULT_ENTRY(stat, EACCES, EIO, ENOMEM),
    QTEST_FAULT_ENTRY(lstat, EACCES, EIO, ENOMEM),
    QTEST_FAULT_ENTRY(statx, EACCES, EIO, ENOMEM),
    QTEST_FAULT_ENTRY(unlink, EACCES, EBUSY, EIO, EROFS),
    QTEST_FAULT_ENTRY(renameat2, EACCES, ENOSPC, EROFS, EXDEV),
    QTEST_FAULT_ENTRY(link, EACCES, EIO, ENOSPC, EPERM),
    QTEST_FAULT_ENTRY(mkdir, EACCES, ENOSPC, EROFS),
    QTEST_FAULT_ENTRY(rmdir, EACCES, EBUSY, EROFS),
    QTEST_FAULT_ENTRY(chmod, EPERM, EIO, EROFS),
    QTEST_FAULT_ENTRY(fchmod, EPERM, EIO, EROFS),
    QTEST_FAULT_ENTRY(futimens, EPERM, EROFS),
    QTEST_FAULT_ENTRY(getcwd, ENOENT, EACCES, ENOMEM),
    QTEST_FAULT_ENTRY(statvfs, EIO, EACCES, ENOMEM),
    QTEST_FAULT_ENTRY(copyFileRange, EIO, ENOSPC, EXDEV),
    QTEST_FAULT_ENTRY(getxattr, EIO, ENOMEM),
    QTEST_FAULT_ENTRY(setxattr, EIO, ENOSPC, EDQUOT, EPERM),
    QTEST_FAULT_ENTRY(removexattr, EIO, EPERM),
    QTEST_FAULT_ENTRY(fstatfs, EIO, ENOMEM),
};

// The status word of each injected errno, from the error-number table of
// docs/platform-notes.md, not asked of the library.
cFileStatus statusOf(int error) {
    // clang-format off
    const std::map<int, cFileStatus> kStatusOf = {
        {EIO, kIoError}, {ENOSPC, kDiskFull}, {EDQUOT, kDiskFull}, {EMFILE, kTooManyOpenFiles},
        {ENFILE, kTooManyOpenFiles}, {EACCES, kAccessDenied}, {EPERM, kAccessDenied},
        {ENOMEM, kNotEnoughMemory}, {EROFS, kWriteProtect}, {EFBIG, kFileTooLarge},
        {EOVERFLOW, kFileTooLarge}, {ENOLCK, kSharingBufferExceeded}, {EBUSY, kBusy},
        {EXDEV, kNotSameDevice}, {EINVAL, kInvalidParameter}, {ENOENT, kFileNotFound},
        {EBADF, kInvalidHandle}};
    // clang-format on
    auto found = kStatusOf.find(error);
    return found != kStatusOf.end() ? found->second : kGenFailure;  // unlisted
}

int renameAcrossDevices(int, const char*, int, const char*, unsigned int) {
    errno = EXDEV;
    return -1;
}

// Reads and writes beside a range that another handle holds locked.
void besideALock(World& w) {
    w.handle = openForSetup(w.file, 0x0044);
    w.opened = openForSetup(w.file, 0x0044);
    if (cFileLock(w.opened, 4, 2) != 0) ADD_FAILURE() << "setup lock";
}

std::vector<Scenario> scenarios() {
    std::vector<Scenario> all = everyPlatformScenarios();
    const Scenario posixOnly[] = {
        {"cFileOpen 0x0021", nullptr,
         [](World& w) { return cFileOpen(w.file.c_str(), w.mode, &w.opened); }, 0x0021},
        {"cFileOpen 0x0040", nullptr,
         [](World& w) { return cFileOpen(w.file.c_str(), w.mode, &w.opened); }, 0x0040},
        {"cFileCreate existing", nullptr,
         [](World& w) { return cFileCreate(w.file.c_str(), 0x0002, 0, &w.opened); }},
        {"cFileCreate new", nullptr,
         [](World& w) { return cFileCreate(w.other.c_str(), 0x0044, 0, &w.opened); }},
        {"cFileGetPlatformHandle", withHandle,
         [](World& w) { return cFileGetPlatformHandle(w.handle, &w.number, sizeof w.number); },
         0x0001},
        {"cFileWrite on a read handle", withHandle,
         [](World& w) { return cFileWrite(w.handle, "XYZ", 3, &w.count); }, 0x0001},
        {"cFileLock read handle", withHandle, [](World& w) { return cFileLock(w.handle, 2, 3); },
         0x0041},
        {"cFileRead beside a lock", besideALock,
         [](World& w) { return cFileRead(w.handle, w.buffer, 3, &w.count); }},
        {"cFileWrite beside a lock", besideALock,
         [](World& w) { return cFileWrite(w.handle, "XY", 2, &w.count); }},
        {"cFileRename across file systems", nullptr,
         [](World& w) { return cFileRename(w.file.c_str(), w.other.c_str()); }, 0, Answer::Status,
         [](Calls& calls) { calls.renameat2 = renameAcrossDevices; }},
        {"cFileGetAttribute", nullptr,
         [](World& w) {
             return static_cast<uint32_t>(cFileGetAttribute(w.file.c_str(), 1, &w.flag));
         },
         0, Answer::ZeroOne},
        {"cFileSetAttribute read-only", nullptr,
         [](World& w) { return static_cast<uint32_t>(cFileSetAttribute(w.file.c_str(), 1, 1)); }, 0,
         Answer::ZeroOne},
        {"cFileGetTime", nullptr,
         [](World& w) { return static_cast<uint32_t>(cFileGetTime(w.file.c_str(), 1, &w.number)); },
         0, Answer::ZeroOne},
        {"cFileGetTempDir from TMPDIR", nullptr,
         [](World& w) {
             setenv("TMPDIR", w.dir.c_str(), 1);
             cFileStatus status = cFileGetTempDir(w.buffer);
             unsetenv("TMPDIR");
             return status;
         }},
        {"cFileBuildNftBuffer", nullptr,
         [](World& w) { return cFileBuildNftBuffer(nullptr, nullptr, w.buffer); }},
        {"cFilePrepLock", nullptr, [](World&) { return cFilePrepLock(1); }},
        {"cFileTermLock", nullptr, [](World&) { return cFileTermLock(); }},
    };
    all.insert(all.end(), std::begin(posixOnly), std::end(posixOnly));
    return all;
}

// The first rule that matches a run decides (faults.h).
const std::vector<Rule> kRules = {
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
    {"cFileOpen 0x0003", "open", EACCES, 1, true, false, kNone, false,
     "a handle without data access on a file it may not read and write is an O_PATH descriptor"},
    {"cFileOpen 0x0003", "open", EROFS, 1, true, false, kNone, false,
     "a handle without data access on a file it may not read and write is an O_PATH descriptor"},
    {"cFileIsExist", "stat", 0, 0, true, false, kNone, false,
     "answers 0 whenever its pointers are given; the flag says whether the look succeeded"},
    {"cFileGetDiskFree", "statx", 0, 0, false, true, kFileNotFound, false,
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
    {"cFileRename across", "link", EPERM, 0, false, false, kNotSameDevice, false,
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

}  // namespace

TEST_F(FaultSweep, EveryFailingCallOfEveryExportIsAnsweredAndLeavesNothingBehind) {
    sweep({kEntryFacts, EIO, statusOf, scenarios(), kRules});
}

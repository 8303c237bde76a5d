// DeleteFileA, MoveFileA, CreateDirectoryA, RemoveDirectoryA,
// GetFileAttributesA and GetCompressedFileSizeA for POSIX, with the answers
// Windows gives (docs/paths-and-volumes.md lists them):
//
//  * a file open through the library, with data access, can be neither
//    removed nor renamed (32): the library never shares delete access;
//  * a read-only file or directory (paths.h) cannot be removed (5), also
//    by root; a directory is not a file to remove (5);
//  * a rename never replaces an existing name (183), and moves a file to
//    another filesystem by copying it (see moveAcrossFilesystems);
//  * the size of a file is its length, of a directory 0.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/paths.h"
#include "platform/posix/share_modes.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform {
namespace posix {

SplitPath splitPath(const std::string& path) {
    std::string text(path);
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    size_t slash = text.rfind('/');
    if (slash == std::string::npos) return {".", text};
    return {slash == 0 ? "/" : text.substr(0, slash), text.substr(slash + 1)};
}

bool isDirectory(const char* path) {
    struct stat status;
    return sys.stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

Written writeAll(int fd, const void* data, size_t count) {
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < count) {
        ssize_t written = uninterrupted([&] { return sys.write(fd, bytes + done, count - done); });
        if (written <= 0) return {done, written < 0 ? errno : 0};
        done += static_cast<size_t>(written);
    }
    return {done, 0};
}

// ---- The read-only attribute (paths.h) -------------------------------------------

namespace {

constexpr const char* kReadOnlyMark = "user.qorvel.readonly";
constexpr mode_t kPermissionBits = 07777;

bool lacksUserAttributes(int error) { return error == ENOTSUP || error == EOPNOTSUPP; }

bool markDirectory(const char* path, mode_t mode) {
    // Read-only already; without the owner-write bit the owner could not
    // write the mark either.
    if (!(mode & S_IWUSR)) return true;
    if (sys.setxattr(path, kReadOnlyMark, "1", 1, 0) == 0) return true;
    if (!lacksUserAttributes(errno)) return false;
    return sys.chmod(path, (mode & kPermissionBits) & ~mode_t{S_IWUSR}) == 0;
}

bool unmarkDirectory(const char* path, mode_t mode) {
    // The owner-write bit first: without it the owner may not remove the mark.
    if (!(mode & S_IWUSR) && sys.chmod(path, (mode & kPermissionBits) | S_IWUSR) != 0) {
        return false;
    }
    return sys.removexattr(path, kReadOnlyMark) == 0 || errno == ENODATA ||
           lacksUserAttributes(errno);
}

// isReadOnly for a caller about to act on the answer (a removal): answers
// false with errno set when the mark could not be read for a reason other
// than its absence, the filesystem keeping no such marks, or a permission.
bool readOnlyState(const char* path, mode_t mode, bool* readOnly) {
    *readOnly = isReadOnlyFile(mode) ||
                (S_ISDIR(mode) && sys.getxattr(path, kReadOnlyMark, nullptr, 0) >= 0);
    if (*readOnly || !S_ISDIR(mode)) return true;
    return errno == ENODATA || lacksUserAttributes(errno) || errno == EACCES || errno == EPERM;
}

}  // namespace

bool isReadOnly(const char* path, mode_t mode) {
    bool readOnly = false;
    readOnlyState(path, mode, &readOnly);
    return readOnly;
}

bool setReadOnly(const char* path, mode_t mode, bool readOnly) {
    if (S_ISDIR(mode)) return readOnly ? markDirectory(path, mode) : unmarkDirectory(path, mode);
    // A read-only file loses every write bit, so that no other program
    // writes it either; a writable one gets the owner's back.
    mode_t permissions = mode & kPermissionBits;
    return sys.chmod(path, readOnly ? permissions & ~kEveryWriteBit : permissions | S_IWUSR) == 0;
}

namespace {

constexpr uint32_t kAttributeReadOnly = 0x01;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Two names of one directory entry ("a", "./a", "d/../a"), which a rename
// leaves as it is; two hard links of one file are two entries.
bool sameEntry(const char* first, const char* second) {
    struct stat a, b;
    if (sys.lstat(first, &a) != 0 || sys.lstat(second, &b) != 0 || !sameFile(a, b)) return false;
    SplitPath x = splitPath(first), y = splitPath(second);
    if (x.name != y.name) return false;
    struct stat dirX, dirY;
    return sys.stat(x.directory.c_str(), &dirX) == 0 && sys.stat(y.directory.c_str(), &dirY) == 0 &&
           sameFile(dirX, dirY);
}

// The end of a move that gave the file its new name beside its old one: the
// old name goes, or else the new one. Answers 0, or the errno of the first.
int dropOldName(const char* from, const char* to) {
    if (sys.unlink(from) == 0) return 0;
    int error = errno;
    sys.unlink(to);
    return error;
}

// ---- Moving a file to another filesystem ---------------------------------------

// The copy under way, under a hidden name in the target's directory.
// Answers its descriptor, or -1 with errno set.
int createHiddenCopy(const std::string& directory, std::string* name) {
    static std::atomic<unsigned> counter{0};
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW;
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = directory + "/.qorvel-move-" + std::to_string(getpid()) + "-" +
                std::to_string(counter++);
        int fd = uninterrupted([&] { return sys.open(name->c_str(), kFlags, 0600); });
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool copyByReading(int from, int to) {
    char buffer[64 * 1024];
    for (;;) {
        ssize_t got = uninterrupted([&] { return sys.read(from, buffer, sizeof buffer); });
        if (got <= 0) return got == 0;
        Written written = writeAll(to, buffer, static_cast<size_t>(got));
        if (written.count != static_cast<size_t>(got)) {
            errno = written.error != 0 ? written.error : EIO;
            return false;
        }
    }
}

// The kernel copies without passing the bytes through the process where it
// can; across filesystems it often cannot, and the copy falls back to reads
// and writes from where it stopped (the offsets of both descriptors moved).
bool copyContent(int from, int to) {
    for (;;) {
        ssize_t copied = uninterrupted(
            [&] { return sys.copyFileRange(from, nullptr, to, nullptr, size_t(1) << 30, 0); });
        if (copied == 0) return true;
        if (copied > 0) continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
            errno == EPERM) {
            return copyByReading(from, to);
        }
        return false;
    }
}

// Permissions and times of the source, on the copy.
bool copyMetadata(int to, const struct stat& source) {
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    return sys.fchmod(to, source.st_mode & 07777) == 0 && sys.futimens(to, times) == 0;
}

// Gives the finished copy its final name, never over an existing one.
bool publishCopy(const std::string& copy, const char* target) {
    if (sys.link(copy.c_str(), target) == 0) return true;
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return false;
    // A filesystem without hard links.
    return sys.renameat2(AT_FDCWD, copy.c_str(), AT_FDCWD, target, RENAME_NOREPLACE) == 0;
}

void syncDirectory(const std::string& directory) {
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    Descriptor fd(uninterrupted([&] { return sys.open(directory.c_str(), flags, 0); }));
    if (fd.valid()) sys.fsync(fd.get());
}

// A move to another filesystem: the source is copied to a hidden name beside
// the target, made durable, given the target name (which must not exist) and
// only then removed. Any failure before the end leaves the source as it was
// and no target; a source that cannot be removed at the end takes the new
// target back. Only regular files cross; a directory answers 17, as Windows.
bool moveAcrossFilesystems(const char* from, const char* to) {
    struct stat source;
    if (sys.lstat(from, &source) != 0) return failWithErrnoForPath(errno, from);
    if (!S_ISREG(source.st_mode)) return fail(win32error::kNotSameDevice);
    int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    Descriptor in(uninterrupted([&] { return sys.open(from, flags, 0); }));
    if (!in.valid()) return failWithErrnoForPath(errno, from);

    // The final step refuses an existing target too; this spares the copy.
    struct stat target;
    if (sys.lstat(to, &target) == 0) return fail(win32error::kAlreadyExists);

    std::string directory = splitPath(to).directory;
    std::string hidden;
    Descriptor copy(createHiddenCopy(directory, &hidden));
    if (!copy.valid()) return failWithErrnoForPath(errno, to);
    bool filled = copyContent(in.get(), copy.get()) && copyMetadata(copy.get(), source) &&
                  sys.fsync(copy.get()) == 0;
    bool published =
        filled ? publishCopy(hidden, to) || failWithErrnoForPath(errno, to) : failWithErrno(errno);
    // Once the copy has its final name, that name keeps it.
    sys.unlink(hidden.c_str());
    if (!published) return false;
    syncDirectory(directory);
    int error = dropOldName(from, to);
    return error == 0 || failWithErrnoForPath(error, from);
}

// ---- Rename ----------------------------------------------------------------------

// Answers 0, or the errno of the refusal.
int renameWithoutReplacing(const char* from, const char* to) {
    if (sys.renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A filesystem that cannot rename without replacing: a file gets its new
    // name as a hard link, which never replaces either. (For a directory
    // EINVAL has its own meaning: a move into itself.)
    struct stat source;
    if (sys.lstat(from, &source) != 0 || S_ISDIR(source.st_mode)) return EINVAL;
    return sys.link(from, to) == 0 ? dropOldName(from, to) : errno;
}

bool failRename(int error, const char* from, const char* to) {
    if (error == EEXIST && sameEntry(from, to)) return true;
    if (error == ENOENT) {
        // Either the source is missing, or the target's directory is.
        struct stat source;
        if (sys.lstat(from, &source) != 0) return failWithErrnoForPath(ENOENT, from);
        return failWithErrnoForPath(ENOENT, to);
    }
    // The kernel does not say which name was too long; the longer one was.
    if (error == ENAMETOOLONG && std::strlen(to) > std::strlen(from)) {
        return failWithErrnoForPath(error, to);
    }
    return failWithErrnoForPath(error, from);
}

}  // namespace
}  // namespace posix

using namespace posix;

bool deleteFile(const char* path) {
    struct stat status;
    if (sys.lstat(path, &status) != 0) return failWithErrnoForPath(errno, path);
    if (S_ISDIR(status.st_mode)) return fail(win32error::kAccessDenied);
    if (!S_ISREG(status.st_mode)) {
        return sys.unlink(path) == 0 || failWithErrnoForPath(errno, path);
    }
    // The read-only attribute holds for every user, root included.
    if (isReadOnly(path, status.st_mode)) return fail(win32error::kAccessDenied);
    if (!mayRemove(path)) return false;
    return sys.unlink(path) == 0 || failWithErrnoForPath(errno, path);
}

bool moveFile(const char* existingPath, const char* newPath) {
    struct stat source;
    bool found = sys.lstat(existingPath, &source) == 0;
    bool nameRefused =
        errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP;
    // A name the kernel refuses is the rename's to answer; a file that cannot
    // be looked at may be held by a handle: it stays where it is.
    if (!found && !nameRefused) return failWithErrnoForPath(errno, existingPath);
    bool isFile = found && S_ISREG(source.st_mode);
    // A claim only for regular files: opening anything else may have effects.
    if (isFile && !mayRemove(existingPath)) return false;
    int error = renameWithoutReplacing(existingPath, newPath);
    if (error == 0) return true;
    if (error == EXDEV) {
        return isFile ? moveAcrossFilesystems(existingPath, newPath)
                      : fail(win32error::kNotSameDevice);
    }
    return failRename(error, existingPath, newPath);
}

bool createDirectory(const char* path) {
    return sys.mkdir(path, 0777) == 0 || failWithErrnoForPath(errno, path);
}

bool removeDirectory(const char* path) {
    // Windows gives the empty name its own answer here.
    if (path[0] == '\0') return fail(win32error::kInvalidName);
    struct stat target;
    if (sys.stat(path, &target) == 0 && S_ISDIR(target.st_mode)) {
        // Windows keeps the current directory in use.
        struct stat current;
        if (sys.stat(".", &current) == 0 && sameFile(target, current)) {
            return fail(win32error::kSharingViolation);
        }
        // The read-only attribute holds for every user, root included.
        bool readOnly = false;
        if (!readOnlyState(path, target.st_mode, &readOnly)) return failWithErrno(errno);
        if (readOnly) return fail(win32error::kAccessDenied);
    }
    if (sys.rmdir(path) == 0) return true;
    int error = errno;
    struct stat status;
    if (error == ENOTDIR && sys.lstat(path, &status) == 0 && !S_ISDIR(status.st_mode)) {
        return fail(win32error::kDirectory);
    }
    return failWithErrnoForPath(error, path);
}

uint32_t getFileAttributes(const char* path) {
    struct stat status;
    if (sys.stat(path, &status) != 0) {
        return failAnswering(kInvalidFileAttributes, win32ErrorForPath(errno, path));
    }
    uint32_t attributes = S_ISDIR(status.st_mode) ? kAttributeDirectory : kAttributeArchive;
    if (isReadOnly(path, status.st_mode)) attributes |= kAttributeReadOnly;
    return attributes;
}

uint32_t getCompressedFileSize(const char* path) {
    struct stat status;
    if (sys.stat(path, &status) != 0) {
        return failAnswering(kInvalidFileSize, win32ErrorForPath(errno, path));
    }
    if (S_ISDIR(status.st_mode)) return 0;
    // Linux compresses nothing, and a sparse file's allocated blocks would put
    // an append before its end: the size is the length.
    if (uint64_t(status.st_size) >= kInvalidFileSize) {
        return failAnswering(kInvalidFileSize, win32error::kFileTooLarge);
    }
    return uint32_t(status.st_size);
}

}  // namespace qorvel::platform

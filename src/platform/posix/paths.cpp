// DeleteFileA, MoveFileA, CreateDirectoryA, RemoveDirectoryA,
// GetFileAttributesA and GetCompressedFileSizeA for POSIX, with the answers
// Windows gives (docs/paths-and-volumes.md lists them):
//
//  * a file open through the library, with data access, can be neither
//    removed nor renamed (32): the library never shares delete access;
//  * a read-only file or directory (readonly.h) cannot be removed (5), also
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
#include "platform/posix/path_parts.h"
#include "platform/posix/readonly.h"
#include "platform/posix/share_modes.h"
#include "platform/posix/syscalls.h"

namespace qorvel::platform {
namespace posix {
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

// ---- Moving a file to another filesystem ---------------------------------------

// A hidden name in the target's directory for the copy under way. Removed
// when it goes, unless the copy has been given its final name.
class TemporaryCopy {
public:
    explicit TemporaryCopy(const std::string& directory) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            path_ = directory + "/.qorvel-move-" + std::to_string(getpid()) + "-" +
                    std::to_string(counter++);
            int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW;
            fd_ = uninterrupted([&] { return sys.open(path_.c_str(), flags, 0600); });
            if (fd_ < 0 && errno != EEXIST) break;
        }
    }
    ~TemporaryCopy() { discard(); }

    // Closes the copy and removes its hidden name (once it has its final
    // name, that name keeps it).
    void discard() {
        if (fd_ < 0) return;
        sys.close(fd_);
        sys.unlink(path_.c_str());
        fd_ = -1;
    }
    TemporaryCopy(const TemporaryCopy&) = delete;
    TemporaryCopy& operator=(const TemporaryCopy&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

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
    TemporaryCopy copy(directory);
    if (copy.fd() < 0) return failWithErrnoForPath(errno, to);
    if (!copyContent(in.get(), copy.fd()) || !copyMetadata(copy.fd(), source) ||
        sys.fsync(copy.fd()) != 0) {
        return failWithErrno(errno);
    }
    if (!publishCopy(copy.path(), to)) return failWithErrnoForPath(errno, to);
    copy.discard();
    syncDirectory(directory);
    if (sys.unlink(from) != 0) {
        int error = errno;
        sys.unlink(to);
        return failWithErrnoForPath(error, from);
    }
    return true;
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
    if (sys.link(from, to) != 0) return errno;
    if (sys.unlink(from) == 0) return 0;
    int error = errno;
    sys.unlink(to);
    return error;
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

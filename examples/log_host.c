/* A small C host of qorvel: it appends a status-line record to a log file,
 * reads the file back through a handle and shows it.
 *
 *   log_host [DIRECTORY]
 *
 * The log is DIRECTORY/qorvel-example.log, or qorvel-example.log in the
 * temporary directory the library reports. Every failure is shown with its
 * status word: the library code in the low half, the Win32 error number in
 * the high half. */
#include <stdio.h>
#include <string.h>

#include <qorvel.h>

static int failed(const char *what, cFileStatus status) {
    fprintf(stderr, "log_host: %s: status 0x%08lX (code 0x%04X, Win32 error %u)\n", what,
            (unsigned long)status, (unsigned)CFILE_STATUS_CODE(status),
            (unsigned)CFILE_STATUS_ERROR(status));
    return 1;
}

static int logPath(const char *directory, char *path, size_t size) {
    char temp[CFILE_DIR_BUFFER_SIZE + 1];
    const char *separator = "";
    size_t length;
    if (directory == NULL) {
        cFileStatus status;
        memset(temp, 0, sizeof temp);
        status = cFileGetTempDir(temp);
        if (status != CFILE_OK) return failed("cFileGetTempDir", status);
        directory = temp;
    }
    length = strlen(directory);
    if (length == 0 || (directory[length - 1] != '/' && directory[length - 1] != '\\'))
        separator = "/";
    if ((size_t)snprintf(path, size, "%s%sqorvel-example.log", directory, separator) >= size) {
        fprintf(stderr, "log_host: the directory name is too long\n");
        return 1;
    }
    return 0;
}

static int appendRecord(const char *path) {
    /* Room for the longest line these texts can give. */
    char line[256];
    cFileNftRecord record;
    cFileStatus status;
    memset(&record, 0, sizeof record);
    record.severity = 2;
    record.eText = "example";
    record.aText = "log_host";
    record.fText = "appendRecord";
    record.oValue = 42;
    record.tText = "Y";
    cFileBuildNftBuffer(NULL, &record, line); /* always answers 0 */
    status = cFileWriteToFile(path, line);
    if (status != CFILE_OK) return failed("cFileWriteToFile", status);
    return 0;
}

static int show(const char *path) {
    char block[4096];
    cFileHandle handle = CFILE_INVALID_HANDLE;
    uint32_t got = 0;
    cFileStatus status = cFileOpen(path, CFILE_ACCESS_READ | CFILE_SHARE_READ, &handle);
    if (status != CFILE_OK) return failed("cFileOpen", status);
    do {
        status = cFileRead(handle, block, sizeof block, &got);
        fwrite(block, 1, got, stdout);
    } while (status == CFILE_OK && got > 0);
    cFileClose(handle);
    if (status != CFILE_OK) return failed("cFileRead", status);
    return 0;
}

int main(int argc, char **argv) {
    char path[1024];
    cFileVersionInfo version;
    if (argc > 2) {
        fprintf(stderr, "usage: log_host [DIRECTORY]\n");
        return 2;
    }
    cFileVersion(&version);
    printf("qorvel version words: %u %u %u\n", version.word[1], version.word[2], version.word[3]);
    if (logPath(argc == 2 ? argv[1] : NULL, path, sizeof path) != 0) return 1;
    if (appendRecord(path) != 0 || show(path) != 0) return 1;
    printf("(%s)\n", path);
    return 0;
}

/* A C99 host: the public headers compile as strict C, and the library links
 * and answers through its C interface. */
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "qorvel.h"
#include "qorvel_status.h"

int main(void) {
    cFileVersionInfo info;
    cFileHandle handle = 7;
    int failures = 0;
    if (cFileVersion(&info) != &info || info.word[2] != 202) ++failures;
    if (cFilePrepLock(0) != 0 || cFileTermLock() != 0) ++failures;
    if (cFileOpen(NULL, CFILE_ACCESS_READ, &handle) != 0x302u || handle != 7) ++failures;
    if (cFileClose(CFILE_INVALID_HANDLE) != 0x303u) ++failures;
    if (sizeof(cFileNftRecord) != 8 + 7 * sizeof(void *)) ++failures;
    if (offsetof(cFileNftRecord, eText) != 2) ++failures;
    {
        char text[CFILE_STATUS_TEXT_SIZE];
        const char *expected =
            "0x00200306 CFILE_ERR_SHARING (another open of the file conflicts "
            "with the sharing asked for); Win32 error 32 "
            "ERROR_SHARING_VIOLATION (another open of the file does not share it)";
        if (strcmp(cFileStatusText(0x00200306u, text, sizeof text), expected) != 0) ++failures;
        if (cFileStatusErrorName(CFILE_STATUS_ERROR(0x00210307u)) == NULL) ++failures;
    }
    printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}

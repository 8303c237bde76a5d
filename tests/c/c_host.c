/* A C99 host: the public header compiles as strict C, and the library links
 * and answers through its C interface. */
#include <stddef.h>
#include <stdio.h>

#include "qorvel.h"

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
    printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}

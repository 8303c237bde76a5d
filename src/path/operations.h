// Workers of the path operations: what the exports do once their arguments
// have passed the checks.
#ifndef QORVEL_PATH_OPERATIONS_H
#define QORVEL_PATH_OPERATIONS_H

#include <cstdint>

#include "qorvel.h"

namespace qorvel::path {

// DeleteFileA, MoveFileA (never replaces an existing name), CreateDirectoryA
// and RemoveDirectoryA, each as a status word.
cFileStatus removeFile(const char* path);
cFileStatus renameFile(const char* existingPath, const char* newPath);
cFileStatus createDirectory(const char* path);
cFileStatus removeDirectory(const char* path);

// The size of a named file, for a path and size pointer that are not null.
// Stores 0 first; stores the size only on success. A file of 0xFFFFFFFF
// bytes or more has no 32-bit size: it answers ERROR_FILE_TOO_LARGE (223),
// status 0x00DF0307, and the size stays 0, so that nobody appends to it at
// its low 32 bits and overwrites its middle.
cFileStatus sizeByName(const char* path, uint32_t* size);

// Stores 1 in *exists when the platform gives the path's attributes, else 0:
// whatever keeps it from giving them (missing, refused, a bad name) reads as
// "does not exist". There is no status: the flag is the whole answer.
void testExistence(const char* path, int16_t* exists);

}  // namespace qorvel::path

#endif  // QORVEL_PATH_OPERATIONS_H

// The workers that read, write, position and size a file through a handle.
#ifndef QORVEL_HANDLE_IO_H
#define QORVEL_HANDLE_IO_H

#include <cstdint>

#include "qorvel.h"

namespace qorvel::handle {

// The move routine: the one place that turns an origin into a move method.
// Moves the file pointer forward from the origin by `distance` (unsigned: the
// move never goes back). On success stores the new position in *position when
// it is given. A move that would end at 0xFFFFFFFF or beyond answers
// ERROR_FILE_TOO_LARGE and leaves the file pointer, and *position, as they
// were. An origin other than 0, 1 and 2 is passed on to the platform, which
// refuses it with ERROR_INVALID_PARAMETER.
cFileStatus moveFilePointer(cFileHandle handle, uint32_t distance, uint32_t origin,
                            uint32_t* position);

// One platform transfer each; *transferred receives the count the platform
// reported, also on failure. A zero-byte write makes no platform call.
cFileStatus readFile(cFileHandle handle, void* buffer, uint32_t count, uint32_t* transferred);
cFileStatus writeFile(cFileHandle handle, const void* buffer, uint32_t count,
                      uint32_t* transferred);

// The file ends at `size`; the position is kept when below it, else left at
// the new end.
cFileStatus setFileSize(cFileHandle handle, uint32_t size);

// *isEof is 1 when the position equals the end of the file; the position is
// left where it was.
cFileStatus testEndOfFile(cFileHandle handle, int16_t* isEof);

}  // namespace qorvel::handle

#endif  // QORVEL_HANDLE_IO_H

#include "status/status.h"

#include <iterator>

#include "platform/platform.h"

namespace qorvel {
namespace {

namespace win32error = platform::win32error;

struct TranslationRow {
    uint32_t number;
    uint16_t code;
};

// Searched in this order; the first row whose number matches decides.
constexpr TranslationRow kTranslationTable[] = {
    {win32error::kPathNotFound, CFILE_ERR_NOT_FOUND},
    {win32error::kFileNotFound, CFILE_ERR_NOT_FOUND},
    {win32error::kSharingBufferExceeded, CFILE_ERR_TOO_MANY_SHARED},
    {win32error::kAccessDenied, CFILE_ERR_ACCESS},
    {win32error::kCannotMake, CFILE_ERR_ACCESS},
    {win32error::kDirNotEmpty, CFILE_ERR_ACCESS},
    {win32error::kDirectory, CFILE_ERR_ACCESS},
    {win32error::kWriteFault, CFILE_ERR_ACCESS},
    {win32error::kReadFault, CFILE_ERR_ACCESS},
    {win32error::kCurrentDirectory, CFILE_ERR_ACCESS},
    {win32error::kInvalidHandle, CFILE_ERR_INVALID_HANDLE},
    {win32error::kInvalidTargetHandle, CFILE_ERR_INVALID_HANDLE},
    {win32error::kSharingViolation, CFILE_ERR_SHARING},
    {win32error::kInvalidData, CFILE_ERR_INVALID_ARG},
    {win32error::kDiskFull, CFILE_ERR_DISK_FULL},
    {win32error::kHandleDiskFull, CFILE_ERR_DISK_FULL},
    {win32error::kEaTableFull, CFILE_ERR_DISK_FULL},
};
static_assert(std::size(kTranslationTable) == 17);

}  // namespace

uint16_t cFileLookupError(uint32_t number) {
    for (const TranslationRow& row : kTranslationTable) {
        if (row.number == number) return row.code;
    }
    return CFILE_ERR_GENERAL;
}

cFileStatus cFileTranslateError(uint32_t number) {
    return ((number & 0xFFFFu) << 16) | cFileLookupError(number);
}

}  // namespace qorvel

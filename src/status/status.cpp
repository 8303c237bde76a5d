#include "status/status.h"

#include <iterator>

namespace qorvel {
namespace {

struct TranslationRow {
    uint32_t number;
    uint16_t code;
};

// Searched in this order; the first row whose number matches decides.
constexpr TranslationRow kTranslationTable[] = {
    {3, CFILE_ERR_NOT_FOUND},          // ERROR_PATH_NOT_FOUND
    {2, CFILE_ERR_NOT_FOUND},          // ERROR_FILE_NOT_FOUND
    {36, CFILE_ERR_TOO_MANY_SHARED},   // ERROR_SHARING_BUFFER_EXCEEDED
    {5, CFILE_ERR_ACCESS},             // ERROR_ACCESS_DENIED
    {82, CFILE_ERR_ACCESS},            // ERROR_CANNOT_MAKE
    {145, CFILE_ERR_ACCESS},           // ERROR_DIR_NOT_EMPTY
    {267, CFILE_ERR_ACCESS},           // ERROR_DIRECTORY
    {29, CFILE_ERR_ACCESS},            // ERROR_WRITE_FAULT
    {30, CFILE_ERR_ACCESS},            // ERROR_READ_FAULT
    {16, CFILE_ERR_ACCESS},            // ERROR_CURRENT_DIRECTORY
    {6, CFILE_ERR_INVALID_HANDLE},     // ERROR_INVALID_HANDLE
    {114, CFILE_ERR_INVALID_HANDLE},   // ERROR_INVALID_TARGET_HANDLE
    {32, CFILE_ERR_SHARING},           // ERROR_SHARING_VIOLATION
    {13, CFILE_ERR_INVALID_ARG},       // ERROR_INVALID_DATA
    {112, CFILE_ERR_DISK_FULL},        // ERROR_DISK_FULL
    {39, CFILE_ERR_DISK_FULL},         // ERROR_HANDLE_DISK_FULL
    {277, CFILE_ERR_DISK_FULL},        // ERROR_EA_TABLE_FULL
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

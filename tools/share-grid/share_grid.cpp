// Writes the share-mode grid: for every pair of open modes with one access
// and one sharing, whether the library grants a second open of a file while
// a first one holds it. The answers come from the library itself, opening a
// scratch file in the temporary directory it reports.
//
//   qorvel-share-grid --markdown   the grid as a Markdown table
//   qorvel-share-grid --data       the grid as a matrix with row and column
//                                  headers (1 granted, 0 refused), for gnuplot
#include <qorvel.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Mode {
    cFileMode word;
    const char* label;  // access R, W, RW; sharing -, r, w, rw
};

constexpr std::array<Mode, 12> modes{{
    {CFILE_ACCESS_READ, "R/-"},
    {CFILE_ACCESS_READ | CFILE_SHARE_READ, "R/r"},
    {CFILE_ACCESS_READ | CFILE_SHARE_WRITE, "R/w"},
    {CFILE_ACCESS_READ | CFILE_SHARE_READWRITE, "R/rw"},
    {CFILE_ACCESS_WRITE, "W/-"},
    {CFILE_ACCESS_WRITE | CFILE_SHARE_READ, "W/r"},
    {CFILE_ACCESS_WRITE | CFILE_SHARE_WRITE, "W/w"},
    {CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE, "W/rw"},
    {CFILE_ACCESS_READWRITE, "RW/-"},
    {CFILE_ACCESS_READWRITE | CFILE_SHARE_READ, "RW/r"},
    {CFILE_ACCESS_READWRITE | CFILE_SHARE_WRITE, "RW/w"},
    {CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE, "RW/rw"},
}};

using Grid = std::array<std::array<bool, modes.size()>, modes.size()>;

bool failed(const char* what, cFileMode mode, cFileStatus status) {
    std::fprintf(stderr, "qorvel-share-grid: %s with mode 0x%04X: status 0x%08lX\n", what,
                 static_cast<unsigned>(mode), static_cast<unsigned long>(status));
    return false;
}

// Opens the file with `existing`, then tries `next` beside it. Anything but
// success or a sharing violation is a fault of the run, not an answer.
bool tryPair(const std::string& path, cFileMode existing, cFileMode next, bool& granted) {
    cFileHandle first = CFILE_INVALID_HANDLE;
    cFileStatus status = cFileOpen(path.c_str(), existing, &first);
    if (status != CFILE_OK) return failed("the first open", existing, status);
    cFileHandle second = CFILE_INVALID_HANDLE;
    status = cFileOpen(path.c_str(), next, &second);
    granted = status == CFILE_OK;
    if (granted) cFileClose(second);
    cFileClose(first);
    return granted || CFILE_STATUS_CODE(status) == CFILE_ERR_SHARING ||
           failed("the second open", next, status);
}

// A directory of its own in the temporary directory: creating it claims the
// name, so runs of several users or at the same time never share a file.
bool scratchDirectory(std::string& directory) {
    char temp[CFILE_DIR_BUFFER_SIZE + 1] = {};
    cFileStatus status = cFileGetTempDir(temp);
    if (status != CFILE_OK) return failed("cFileGetTempDir", 0, status);
    std::string base = temp;
    if (base.empty() || (base.back() != '/' && base.back() != '\\')) base += '/';
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        directory = base + "qorvel-share-grid-" + std::to_string(attempt);
        status = cFileCreateDir(directory.c_str());
        if (status == CFILE_OK) return true;
    }
    return failed("cFileCreateDir in the temporary directory", 0, status);
}

bool measure(Grid& grid) {
    std::string directory;
    if (!scratchDirectory(directory)) return false;
    std::string path = directory + "/grid.txt";
    cFileHandle handle = CFILE_INVALID_HANDLE;
    cFileStatus status =
        cFileCreate(path.c_str(), CFILE_ACCESS_WRITE | CFILE_SHARE_READWRITE, 0, &handle);
    bool ok = status == CFILE_OK || failed("cFileCreate of the scratch file", 0, status);
    if (ok) cFileClose(handle);
    for (std::size_t row = 0; ok && row < modes.size(); ++row)
        for (std::size_t column = 0; ok && column < modes.size(); ++column)
            ok = tryPair(path, modes[row].word, modes[column].word, grid[row][column]);
    cFileRemove(path.c_str());
    cFileRemoveDir(directory.c_str());
    return ok;
}

void printMarkdown(const Grid& grid) {
    std::printf("| existing \\ new |");
    for (const Mode& mode : modes) std::printf(" %s |", mode.label);
    std::printf("\n|---|");
    for (std::size_t column = 0; column < modes.size(); ++column) std::printf(":-:|");
    std::printf("\n");
    for (std::size_t row = 0; row < modes.size(); ++row) {
        std::printf("| **%s** `0x%04X` |", modes[row].label,
                    static_cast<unsigned>(modes[row].word));
        for (bool granted : grid[row]) std::printf(" %s |", granted ? "yes" : "no");
        std::printf("\n");
    }
}

void printData(const Grid& grid) {
    std::printf("# existing open (rows) x new open (columns): 1 granted, 0 refused\n");
    std::printf("existing\\new");
    for (const Mode& mode : modes) std::printf(" %s", mode.label);
    std::printf("\n");
    for (std::size_t row = 0; row < modes.size(); ++row) {
        std::printf("%s", modes[row].label);
        for (bool granted : grid[row]) std::printf(" %d", granted ? 1 : 0);
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool markdown = argc == 2 && std::strcmp(argv[1], "--markdown") == 0;
    bool data = argc == 2 && std::strcmp(argv[1], "--data") == 0;
    if (!markdown && !data) {
        std::fprintf(stderr, "usage: qorvel-share-grid --markdown | --data\n");
        return 2;
    }
    Grid grid{};
    if (!measure(grid)) return 1;
    if (markdown)
        printMarkdown(grid);
    else
        printData(grid);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

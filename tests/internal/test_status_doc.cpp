// docs/status-codes.md lists the Win32 errors from the same list the library
// and the program take their constants and names from. With
// QORVEL_UPDATE_DOCS=1 in the environment the test writes the table into the
// document instead of comparing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/win32_errors.h"

namespace {

const char kBegin[] = "<!-- win32-errors: made from src/platform/win32_errors.h -->\n";
const char kEnd[] = "<!-- win32-errors: end -->\n";

std::string errorTable() {
    std::string table = "| number | name | meaning |\n|---|---|---|\n";
#define QORVEL_WIN32_ERROR_LINE(number, constant, name, meaning) \
    table += "| " #number " | `ERROR_" #name "` | " meaning " |\n";
    QORVEL_WIN32_ERRORS(QORVEL_WIN32_ERROR_LINE)
#undef QORVEL_WIN32_ERROR_LINE
    return table;
}

TEST(StatusDocument, ListsTheWin32ErrorsOfTheLibrary) {
    const std::string path = QORVEL_SOURCE_DIR "/docs/status-codes.md";
    std::ifstream in(path, std::ios::binary);
#ifdef _WIN32
    if (!in) GTEST_SKIP() << "the source tree is not reachable from here: " << path;
#endif
    ASSERT_TRUE(in) << path;
    std::stringstream text;
    text << in.rdbuf();
    std::string document = text.str();
    size_t begin = document.find(kBegin);
    size_t end = document.find(kEnd);
    ASSERT_NE(begin, std::string::npos) << "no opening marker in " << path;
    ASSERT_NE(end, std::string::npos) << "no closing marker in " << path;
    begin += sizeof kBegin - 1;
    ASSERT_LE(begin, end);
    std::string expected = errorTable();
    const char* update = std::getenv("QORVEL_UPDATE_DOCS");
    if (update != nullptr && std::string(update) == "1") {
        document.replace(begin, end - begin, expected);
        std::ofstream(path, std::ios::binary) << document;
        return;
    }
    EXPECT_EQ(document.substr(begin, end - begin), expected)
        << "run QORVEL_UPDATE_DOCS=1 test_status_doc to write the table";
}

}  // namespace

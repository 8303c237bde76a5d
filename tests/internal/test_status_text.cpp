// qorvel_status.h against the lists it is made from and against every status
// word the library can answer: each code and each Win32 error named and
// explained, every such word described whole within CFILE_STATUS_TEXT_SIZE,
// words the library never answers said to be such, short buffers cut and
// terminated.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32_errors.h"
#include "qorvel_status.h"
#include "status/codes.h"
#include "status/status.h"

namespace {

std::string text(cFileStatus status) {
    char buffer[CFILE_STATUS_TEXT_SIZE];
    return cFileStatusText(status, buffer, sizeof buffer);
}

TEST(StatusText, NamesAndExplainsEveryCodeAndEveryWin32Error) {
#define QORVEL_EXPECT_CODE(name, meaning)                            \
    EXPECT_STREQ(cFileStatusCodeName(CFILE_##name), "CFILE_" #name); \
    EXPECT_STREQ(cFileStatusCodeMeaning(CFILE_##name), meaning);
    QORVEL_LIBRARY_CODES(QORVEL_EXPECT_CODE)
#undef QORVEL_EXPECT_CODE
#define QORVEL_EXPECT_ERROR(number, constant, name, meaning)    \
    EXPECT_STREQ(cFileStatusErrorName(number), "ERROR_" #name); \
    EXPECT_STREQ(cFileStatusErrorMeaning(number), meaning);
    QORVEL_WIN32_ERRORS(QORVEL_EXPECT_ERROR)
#undef QORVEL_EXPECT_ERROR
    for (uint32_t unknown : {0x0001u, 0x0300u, 0x0309u, 0xFFFFu}) {
        EXPECT_EQ(cFileStatusCodeName(unknown), nullptr) << unknown;
        EXPECT_EQ(cFileStatusCodeMeaning(unknown), nullptr) << unknown;
    }
    for (uint32_t unknown : {7u, 34u, 1000u, 0xFFFFu}) {
        EXPECT_EQ(cFileStatusErrorName(unknown), nullptr) << unknown;
        EXPECT_EQ(cFileStatusErrorMeaning(unknown), nullptr) << unknown;
    }
}

// Every word the library can answer: a failing system call's error through
// the translation table, or one of its own checks (high half 0).
std::vector<cFileStatus> answerableWords() {
    std::vector<cFileStatus> words;
#define QORVEL_ADD_WORD(number, constant, name, meaning) \
    if (number != 0) words.push_back(qorvel::cFileTranslateError(number));
    QORVEL_WIN32_ERRORS(QORVEL_ADD_WORD)
#undef QORVEL_ADD_WORD
#define QORVEL_ADD_CODE(name, meaning) words.push_back(qorvel::libraryStatus(CFILE_##name));
    QORVEL_LIBRARY_CODES(QORVEL_ADD_CODE)
#undef QORVEL_ADD_CODE
    return words;
}

TEST(StatusText, DescribesEveryAnswerableWordWhole) {
    for (cFileStatus word : answerableWords()) {
        SCOPED_TRACE(word);
        std::string line = text(word);
        EXPECT_LT(line.size() + 1, size_t{CFILE_STATUS_TEXT_SIZE}) << line;  // never cut
        std::string code = cFileStatusCodeName(CFILE_STATUS_CODE(word));
        EXPECT_EQ(line.find(code), 11u) << line;
        if (CFILE_STATUS_ERROR(word) != 0) {
            std::string error = cFileStatusErrorName(CFILE_STATUS_ERROR(word));
            EXPECT_NE(line.find("; Win32 error " + std::to_string(CFILE_STATUS_ERROR(word)) + " " +
                                error + " ("),
                      std::string::npos)
                << line;
        }
    }
    EXPECT_EQ(text(0x00020304u),
              "0x00020304 CFILE_ERR_NOT_FOUND (the file, or a directory on its path, does not "
              "exist); Win32 error 2 ERROR_FILE_NOT_FOUND (the file does not exist)");
    EXPECT_EQ(text(0x00000302u),
              "0x00000302 CFILE_ERR_INVALID_ARG (an argument was rejected); no platform error");
    EXPECT_EQ(text(CFILE_OK), "0x00000000 CFILE_OK (success)");
}

TEST(StatusText, SaysWhenAWordIsNoAnswerOfTheLibrary) {
    EXPECT_EQ(text(0x12340000u),
              "0x12340000 no code (a failure without one is not an answer of the library); Win32 "
              "error 4660 (no name known)");
    EXPECT_EQ(text(0xFFFF1234u),
              "0xFFFF1234 0x1234 (not a code of the library); Win32 error 65535 (no name known)");
    EXPECT_EQ(text(0x00201234u),
              "0x00201234 0x1234 (not a code of the library); Win32 error 32 "
              "ERROR_SHARING_VIOLATION (another open of the file does not "
              "share it)");
}

TEST(StatusText, ShortBuffersAreCutAndAlwaysTerminated) {
    const std::string whole = text(0x00200306u);
    for (size_t size : {size_t{0}, size_t{1}, size_t{2}, size_t{11}, size_t{12}, whole.size(),
                        whole.size() + 1}) {
        SCOPED_TRACE(size);
        std::vector<char> buffer(size + 8, '#');
        EXPECT_EQ(cFileStatusText(0x00200306u, buffer.data(), size), buffer.data());
        for (size_t i = size; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], '#') << i;
        if (size == 0) continue;
        EXPECT_EQ(std::string(buffer.data()), whole.substr(0, size - 1));
    }
}

}  // namespace

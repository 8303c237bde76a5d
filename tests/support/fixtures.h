// Test fixtures several test programs share.
#ifndef QORVEL_TESTS_SUPPORT_FIXTURES_H
#define QORVEL_TESTS_SUPPORT_FIXTURES_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "qorvel.h"
#include "test_support.h"

namespace qtest {

// A scratch directory holding `file` (ten bytes, "0123456789") and the empty
// directory `sub`.
class FileAndDirectoryTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string file = dir.path("file.txt");
    std::string sub = dir.path("sub");

    void SetUp() override {
        writeFile(file, "0123456789");
        std::filesystem::create_directory(sub);
    }
};

// One file of given content, and the library handles a test opens on it,
// each closed when the test ends (unless the test closed it through close()).
class HandlesOnAFileTest : public ::testing::Test {
protected:
    static constexpr cFileMode kReadWrite = CFILE_ACCESS_READWRITE | CFILE_SHARE_READWRITE;

    HandlesOnAFileTest(const std::string& name, std::string content)
        : file(dir.path(name)), content_(std::move(content)) {}

    TempDir dir;
    std::string file;
    std::vector<cFileHandle> handles;

    void SetUp() override { writeFile(file, content_); }
    void TearDown() override {
        for (cFileHandle handle : handles) {
            if (handle != CFILE_INVALID_HANDLE) cFileClose(handle);
        }
    }

    cFileHandle open(cFileMode mode = kReadWrite) {
        cFileHandle handle = CFILE_INVALID_HANDLE;
        EXPECT_EQ(cFileOpen(file.c_str(), mode, &handle), 0u);
        handles.push_back(handle);
        return handle;
    }
    void close(cFileHandle handle) {
        EXPECT_EQ(cFileClose(handle), 0u);
        for (cFileHandle& held : handles) {
            if (held == handle) held = CFILE_INVALID_HANDLE;
        }
    }

private:
    std::string content_;
};

}  // namespace qtest

#endif  // QORVEL_TESTS_SUPPORT_FIXTURES_H

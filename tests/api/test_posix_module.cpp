// The shared library as a host loads it at run time: found by its path,
// every export reachable by name, unloaded and loaded again, and a handle it
// gave out still the host's after the unload.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "qorvel.h"
#include "test_support.h"

namespace {

// The names of the export table, from the one list of them.
std::vector<std::string> exportNames() {
    std::ifstream list(QORVEL_EXPORTS_LIST);
    std::vector<std::string> names;
    for (std::string name; std::getline(list, name);) {
        if (!name.empty()) names.push_back(name);
    }
    return names;
}

using VersionFunction = cFileVersionInfo* (*)(cFileVersionInfo*);
using OpenFunction = cFileStatus (*)(const char*, cFileMode, cFileHandle*);

// The library loaded on its own, not through the test program's link.
class LoadedLibrary {
public:
    LoadedLibrary() : module_(dlopen(QORVEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL)) {}
    ~LoadedLibrary() { unload(); }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool loaded() const { return module_ != nullptr; }
    void* find(const char* name) const { return dlsym(module_, name); }
    template <typename Function>
    Function function(const char* name) const {
        return reinterpret_cast<Function>(find(name));
    }
    int unload() {
        int result = module_ != nullptr ? dlclose(module_) : 0;
        module_ = nullptr;
        return result;
    }

private:
    void* module_;
};

TEST(LoadedModule, OffersEveryExportByName) {
    LoadedLibrary library;
    ASSERT_TRUE(library.loaded()) << dlerror();
    std::vector<std::string> names = exportNames();
    ASSERT_EQ(names.size(), 32u) << QORVEL_EXPORTS_LIST;
    for (const std::string& name : names) EXPECT_NE(library.find(name.c_str()), nullptr) << name;
    EXPECT_EQ(library.find("iFilePrepLock"), nullptr);
    EXPECT_EQ(library.find("cFileLookupError"), nullptr);
    EXPECT_EQ(library.find("cFileTranslateError"), nullptr);
}

TEST(LoadedModule, LoadsAndUnloadsRepeatedly) {
    for (int round = 0; round < 20; ++round) {
        LoadedLibrary library;
        ASSERT_TRUE(library.loaded()) << dlerror();
        auto version = library.function<VersionFunction>("cFileVersion");
        ASSERT_NE(version, nullptr);
        cFileVersionInfo info;
        std::memset(&info, 0xFF, sizeof info);
        ASSERT_EQ(version(&info), &info);
        const uint16_t expected[9] = {0, 3, 202, 6, 0, 0, 0, 1, 5};
        for (size_t i = 0; i < 9; ++i) ASSERT_EQ(info.word[i], expected[i]) << "word " << i;
        ASSERT_EQ(library.unload(), 0) << dlerror();
    }
}

TEST(LoadedModule, AHandleStaysTheHostsAfterTheUnload) {
    qtest::TempDir dir;
    std::string path = dir.path("kept.txt");
    qtest::writeFile(path, "kept");
    cFileHandle handle = CFILE_INVALID_HANDLE;
    {
        LoadedLibrary library;
        ASSERT_TRUE(library.loaded()) << dlerror();
        auto open = library.function<OpenFunction>("cFileOpen");
        ASSERT_NE(open, nullptr);
        ASSERT_EQ(open(path.c_str(), CFILE_ACCESS_READ | CFILE_SHARE_READWRITE, &handle), 0u);
    }
    ASSERT_NE(fcntl(handle, F_GETFD), -1) << "the unload closed the handle";
    char text[8] = {};
    EXPECT_EQ(read(handle, text, sizeof text), 4);
    EXPECT_STREQ(text, "kept");
    EXPECT_EQ(cFileClose(handle), 0u);
}

}  // namespace

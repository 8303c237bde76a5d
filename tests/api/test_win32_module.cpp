// The Windows DLL as a host sees it: exports by name and by ordinal, loading
// and unloading a separate copy of the module, and the kernel handles it
// hands out.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "qorvel.h"
#include "status_words.h"
#include "test_support.h"

using namespace qtest::words;

namespace {

std::string modulePathOf(const void* function) {
    HMODULE module = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<const char*>(function), &module);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    return path;
}

// A private copy of qorvel.dll, loaded under its own name so that unloading
// it really unloads it (the test program itself stays linked to the original).
class ModuleCopy {
public:
    explicit ModuleCopy(const std::string& path) : path_(path) {
        std::string original = modulePathOf(reinterpret_cast<const void*>(&cFileVersion));
        if (CopyFileA(original.c_str(), path_.c_str(), FALSE))
            module_ = LoadLibraryA(path_.c_str());
    }
    ~ModuleCopy() { unload(); }
    HMODULE get() const { return module_; }
    void unload() {
        if (module_ != nullptr) FreeLibrary(module_);
        module_ = nullptr;
    }
    template <typename Function>
    Function find(const char* nameOrOrdinal) const {
        return reinterpret_cast<Function>(
            reinterpret_cast<void*>(GetProcAddress(module_, nameOrOrdinal)));
    }

private:
    std::string path_;
    HMODULE module_ = nullptr;
};

const char* ordinal(WORD number) { return MAKEINTRESOURCEA(number); }

using VersionFunction = cFileVersionInfo*(QORVEL_CALL*)(cFileVersionInfo*);
using OpenFunction = cFileStatus(QORVEL_CALL*)(const char*, cFileMode, cFileHandle*);
using PrepLockFunction = int32_t(QORVEL_CALL*)(unsigned short);

class Win32ModuleTest : public ::testing::Test {
protected:
    qtest::TempDir dir;
    ModuleCopy copy{dir.path("qorvel-copy.dll")};
};

}  // namespace

TEST_F(Win32ModuleTest, ExportsAreReachableByNameAndByOrdinal) {
    ASSERT_NE(copy.get(), nullptr);
    auto byName = copy.find<VersionFunction>("cFileVersion");
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(copy.find<VersionFunction>(ordinal(30)), byName);
    EXPECT_EQ(copy.find<OpenFunction>(ordinal(19)), copy.find<OpenFunction>("cFileOpen"));
    cFileVersionInfo info = {};
    EXPECT_EQ(byName(&info), &info);
    EXPECT_EQ(info.word[2], 202);
    EXPECT_EQ(copy.find<VersionFunction>(ordinal(33)), nullptr);
    EXPECT_EQ(copy.find<VersionFunction>(ordinal(0)), nullptr);
}

TEST_F(Win32ModuleTest, TheLockPreparationFunctionsHaveOnlyTheirDecoratedNames) {
    ASSERT_NE(copy.get(), nullptr);
    auto prepare = copy.find<PrepLockFunction>("_Z13iFilePrepLockt");
    ASSERT_NE(prepare, nullptr);
    EXPECT_EQ(copy.find<PrepLockFunction>(ordinal(1)), prepare);
    EXPECT_NE(copy.find<PrepLockFunction>("_Z13iFileTermLockv"), nullptr);
    EXPECT_EQ(prepare(65535), 0);
    EXPECT_EQ(copy.find<PrepLockFunction>("iFilePrepLock"), nullptr);
    EXPECT_EQ(copy.find<PrepLockFunction>("iFileTermLock"), nullptr);
    EXPECT_EQ(copy.find<PrepLockFunction>("DllMain"), nullptr);
}

// Unloading releases nothing of the host's: a handle opened through the
// module stays open, with its share mode, until the host closes it.
TEST_F(Win32ModuleTest, UnloadingLeavesTheHostsHandlesOpen) {
    ASSERT_NE(copy.get(), nullptr);
    std::string file = dir.path("kept.txt");
    qtest::writeFile(file, "0123456789");
    auto openThroughCopy = copy.find<OpenFunction>("cFileOpen");
    ASSERT_NE(openThroughCopy, nullptr);
    cFileHandle handle = CFILE_INVALID_HANDLE;
    ASSERT_EQ(openThroughCopy(file.c_str(), 0x0001, &handle), 0u);
    copy.unload();
    cFileHandle other;
    EXPECT_EQ(cFileOpen(file.c_str(), 0x0041, &other), kSharingViolation);
    char buffer[4] = {};
    uint32_t count = 0;
    EXPECT_EQ(cFileRead(handle, buffer, 4, &count), 0u);
    EXPECT_EQ(std::string(buffer, count), "0123");
    EXPECT_EQ(cFileClose(handle), 0u);
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0041, &other), 0u);
    EXPECT_EQ(cFileClose(other), 0u);
}

TEST_F(Win32ModuleTest, LoadingAndUnloadingRepeatedlyKeepsWorking) {
    copy.unload();
    for (int round = 0; round < 20; ++round) {
        ModuleCopy again(dir.path("qorvel-" + std::to_string(round) + ".dll"));
        ASSERT_NE(again.get(), nullptr) << round;
        auto version = again.find<VersionFunction>("cFileVersion");
        ASSERT_NE(version, nullptr);
        cFileVersionInfo info;
        EXPECT_EQ(version(&info)->word[8], 5);
    }
}

// ---- Kernel handles --------------------------------------------------------

class Win32HandleTest : public ::testing::Test {
protected:
    qtest::TempDir dir;
    std::string file = dir.path("file.txt");
    void SetUp() override { qtest::writeFile(file, "0123456789"); }
};

TEST_F(Win32HandleTest, HandlesAreInheritableKernelHandlesWhateverTheAccess) {
    struct Case {
        bool create;
        cFileMode mode;
    };
    // Creating without write access goes its own way, so it is checked too.
    for (Case c : {Case{false, 0x0001}, Case{false, 0x0044}, Case{false, 0x0003},
                   Case{true, 0x0002}, Case{true, 0x0004}, Case{true, 0x0046}}) {
        SCOPED_TRACE(c.mode);
        cFileHandle handle = CFILE_INVALID_HANDLE;
        cFileStatus status = c.create ? cFileCreate(file.c_str(), c.mode, 0, &handle)
                                      : cFileOpen(file.c_str(), c.mode, &handle);
        ASSERT_EQ(status, 0u);
        HANDLE kernel = LongToHandle(handle);
        DWORD flags = 0;
        ASSERT_TRUE(GetHandleInformation(kernel, &flags));
        EXPECT_TRUE(flags & HANDLE_FLAG_INHERIT);
        EXPECT_EQ(GetFileType(kernel), static_cast<DWORD>(FILE_TYPE_DISK));
        cFileHandle copied = 0;
        char buffer[8];
        ASSERT_EQ(cFileGetPlatformHandle(handle, buffer, sizeof buffer), 0u);
        memcpy(&copied, buffer, sizeof copied);
        EXPECT_EQ(copied, handle);
        EXPECT_EQ(cFileClose(handle), 0u);
    }
}

// An emptying open that keeps no access counts as a writer only while it
// empties the file: afterwards it takes no part in sharing.
TEST_F(Win32HandleTest, AnEmptyingOpenWithoutAccessKeepsNoShareAccess) {
    cFileHandle emptied, exclusive;
    ASSERT_EQ(cFileCreate(file.c_str(), 0x0006, 0, &emptied), 0u);
    EXPECT_EQ(qtest::fileSize(file), 0u);
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0004, &exclusive), 0u);
    EXPECT_EQ(cFileClose(exclusive), 0u);
    EXPECT_EQ(cFileClose(emptied), 0u);
}

TEST_F(Win32HandleTest, AnEmptyingOpenWithoutAccessKeepsTheFileItEmptied) {
    cFileHandle emptied;
    ASSERT_EQ(cFileCreate(file.c_str(), 0x0046, 0, &emptied), 0u);
    BY_HANDLE_FILE_INFORMATION viaHandle = {}, viaName = {};
    ASSERT_TRUE(GetFileInformationByHandle(LongToHandle(emptied), &viaHandle));
    HANDLE named = CreateFileA(file.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(named, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(GetFileInformationByHandle(named, &viaName));
    CloseHandle(named);
    EXPECT_EQ(viaHandle.nFileIndexLow, viaName.nFileIndexLow);
    EXPECT_EQ(viaHandle.nFileIndexHigh, viaName.nFileIndexHigh);
    EXPECT_EQ(viaHandle.nFileSizeLow, 0u);
    // The handle has no data access.
    char oneByte;
    uint32_t count = 7;
    EXPECT_EQ(cFileRead(emptied, &oneByte, 1, &count), kAccessDenied);
    EXPECT_EQ(cFileClose(emptied), 0u);
}

TEST_F(Win32HandleTest, ACreatedFileIsNormalAndAClosedHandleIsRefused) {
    std::string made = dir.path("made.txt");
    cFileHandle handle;
    ASSERT_EQ(cFileCreate(made.c_str(), 0x0002, 0, &handle), 0u);
    EXPECT_EQ(GetFileAttributesA(made.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(cFileClose(handle), 0u);
    EXPECT_EQ(cFileClose(handle), kInvalidHandle);
}

// ---- Inheritance ---------------------------------------------------------------

namespace {

// This test program started again in helper mode with every inheritable
// handle, as a host's child started with inheritance gets them. It waits for
// its standard input to close.
class InheritingChild {
public:
    InheritingChild() {
        SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE childIn = nullptr;
        if (!CreatePipe(&childIn, &toChild_, &inherit, 0)) return;
        SetHandleInformation(toChild_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childIn;
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string commandLine = std::string("\"") + self + "\" " + qtest::kChildFlag;
        started_ = CreateProcessA(self, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process_) != FALSE;
        CloseHandle(childIn);
    }
    ~InheritingChild() { finish(); }
    bool started() const { return started_; }
    void finish() {
        if (toChild_ != nullptr) CloseHandle(toChild_);
        toChild_ = nullptr;
        if (!started_) return;
        WaitForSingleObject(process_.hProcess, 30000);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
        started_ = false;
    }

private:
    HANDLE toChild_ = nullptr;
    PROCESS_INFORMATION process_ = {};
    bool started_ = false;
};

}  // namespace

TEST_F(Win32HandleTest, AChildStartedWithInheritanceKeepsTheFileOpen) {
    cFileHandle handle, exclusive;
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0004, &handle), 0u);
    InheritingChild child;
    ASSERT_TRUE(child.started());
    EXPECT_EQ(cFileClose(handle), 0u);
    // The child's copy of the handle still denies all sharing.
    EXPECT_EQ(cFileOpen(file.c_str(), 0x0004, &exclusive), kSharingViolation);
    child.finish();
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0004, &exclusive), 0u);
    EXPECT_EQ(cFileClose(exclusive), 0u);
}

// qtest::Child passes its helper nothing but the two pipes.
TEST_F(Win32HandleTest, TheTestHelperProcessInheritsOnlyItsPipes) {
    cFileHandle handle;
    ASSERT_EQ(cFileOpen(file.c_str(), 0x0004, &handle), 0u);
    qtest::Child child;
    EXPECT_EQ(cFileClose(handle), 0u);
    int32_t held = 0;
    EXPECT_EQ(child.open("open", file, 0x0004, &held), 0u);
    EXPECT_EQ(child.status("close " + std::to_string(held)), 0u);
}

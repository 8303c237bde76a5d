// The fault sweep of the Windows backend: every export, every KERNEL32 call
// of the table it makes, every error that call can give (the engine and
// what each run must show: tests/support/faults.h). The C run time's calls
// (file status, permissions) are not in the table and not swept.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <set>

#include "faults.h"

using namespace qtest::faults;

namespace {

const std::vector<EntryFacts> kEntryFacts = {
    QTEST_FAULT_ENTRY(CreateFileA, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
                      ERROR_TOO_MANY_OPEN_FILES, ERROR_DISK_FULL, ERROR_WRITE_PROTECT,
                      ERROR_NOT_ENOUGH_MEMORY),
    QTEST_FAULT_ENTRY(CloseHandle, ERROR_INVALID_HANDLE),
    QTEST_FAULT_ENTRY(DuplicateHandle, ERROR_NOT_ENOUGH_MEMORY),
    QTEST_FAULT_ENTRY(FlushFileBuffers, ERROR_IO_DEVICE, ERROR_DISK_FULL),
    QTEST_FAULT_ENTRY(ReadFile, ERROR_IO_DEVICE, ERROR_LOCK_VIOLATION),
    QTEST_FAULT_ENTRY(WriteFile, ERROR_DISK_FULL, ERROR_IO_DEVICE, ERROR_LOCK_VIOLATION),
    QTEST_FAULT_ENTRY(SetFilePointer, ERROR_NEGATIVE_SEEK, ERROR_INVALID_PARAMETER),
    QTEST_FAULT_ENTRY(SetEndOfFile, ERROR_DISK_FULL, ERROR_ACCESS_DENIED),
    QTEST_FAULT_ENTRY(LockFile, ERROR_LOCK_VIOLATION, ERROR_NOT_ENOUGH_MEMORY),
    QTEST_FAULT_ENTRY(UnlockFile, ERROR_NOT_LOCKED),
    QTEST_FAULT_ENTRY(LockFileEx, ERROR_LOCK_VIOLATION, ERROR_NOT_ENOUGH_MEMORY),
    QTEST_FAULT_ENTRY(UnlockFileEx, ERROR_NOT_LOCKED),
    QTEST_FAULT_ENTRY(DeleteFileA, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
                      ERROR_WRITE_PROTECT),
    QTEST_FAULT_ENTRY(MoveFileA, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
                      ERROR_NOT_SAME_DEVICE, ERROR_DISK_FULL),
    QTEST_FAULT_ENTRY(CreateDirectoryA, ERROR_ACCESS_DENIED, ERROR_DISK_FULL),
    QTEST_FAULT_ENTRY(RemoveDirectoryA, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION),
    QTEST_FAULT_ENTRY(GetFileAttributesA, ERROR_ACCESS_DENIED, ERROR_IO_DEVICE),
    QTEST_FAULT_ENTRY(GetCompressedFileSizeA, ERROR_ACCESS_DENIED, ERROR_IO_DEVICE),
    QTEST_FAULT_ENTRY(GetCurrentDirectoryA, ERROR_NOT_ENOUGH_MEMORY),
    QTEST_FAULT_ENTRY(GetTempPathA, ERROR_NOT_ENOUGH_MEMORY),
    QTEST_FAULT_ENTRY(GetDiskFreeSpaceA, ERROR_NOT_READY, ERROR_ACCESS_DENIED),
};

// The status word of a Win32 error number: the number in the high half, the
// library code of docs/status-codes.md in the low half.
cFileStatus statusOf(DWORD error) {
    const std::map<uint32_t, std::set<DWORD>> kNumbersOfCodes = {
        {0x0301, {5, 16, 29, 30, 82, 145, 267}},
        {0x0302, {13}},
        {0x0303, {6, 114}},
        {0x0304, {2, 3}},
        {0x0305, {36}},
        {0x0306, {32}},
        {0x0308, {39, 112, 277}}};
    uint32_t code = 0x0307;
    for (const auto& [listed, numbers] : kNumbersOfCodes) {
        if (numbers.count(error) != 0) code = listed;
    }
    return (static_cast<uint32_t>(error & 0xFFFF) << 16) | code;
}

std::vector<Scenario> scenarios() {
    std::vector<Scenario> all = everyPlatformScenarios();
    for (cFileMode mode : {cFileMode{0x0002}, cFileMode{0x0004}, cFileMode{0x0006}}) {
        char name[40];
        std::snprintf(name, sizeof name, "cFileCreate existing %#06x", mode);
        all.push_back({name, nullptr,
                       [](World& w) { return cFileCreate(w.file.c_str(), w.mode, 0, &w.opened); },
                       mode});
    }
    return all;
}

// Where the answer is not the failure's status (faults.h).
const std::vector<Rule> kRules = {
    {"cFileClose", "CloseHandle", 0, 0, false, true, kNone, false,
     "the close's failure is the answer"},
    {"", "CloseHandle", 0, 0, true, false, kNone, false,
     "a handle whose work is complete is released whatever CloseHandle answers"},
    {"cFileWriteToFile", "LockFileEx", 0, 0, true, true, kNone, false,
     "the turn-taking lock byte of an append is for Wine; without it the append goes on"},
    {"cFileWriteToFile", "UnlockFileEx", 0, 0, true, false, kNone, false,
     "the turn-taking lock byte goes with the handle's close"},
    {"cFileIsExist", "GetFileAttributesA", 0, 0, true, false, kNone, false,
     "answers 0 whenever its pointers are given; the flag says whether the look succeeded"},
    {"cFileSetSize", "SetFilePointer", 0, 0, true, true, kNone, false,
     "putting the position back after the size change"},
};

}  // namespace

TEST_F(FaultSweep, EveryFailingKernelCallOfEveryExportIsAnsweredAndLeavesNothingBehind) {
    sweep({kEntryFacts, ERROR_IO_DEVICE, statusOf, scenarios(), kRules});
}

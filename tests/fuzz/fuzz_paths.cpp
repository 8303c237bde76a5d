// The path exports on random byte paths inside a scratch directory: "..",
// "*", "?", bytes that are not UTF-8, paths of 4,100 bytes and more. Every
// answer must be a well-formed status (low half 0 or 0x301..0x308; 0 or 1
// for the attribute calls) and no call may leave a descriptor open.
//
// A path never climbs out of the scratch directory: a ".." that would is
// replaced, and a path that ends at the directory itself is not used (the
// scratch directory has no symbolic links, and no export makes one).
#include <fuzzer/FuzzedDataProvider.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "qorvel.h"

namespace {

namespace fs = std::filesystem;

// Never destroyed: the exit handler that removes the directory needs its name.
const std::string& scratch() {
    static const std::string& root = *new std::string([] {
        std::string path =
            fs::temp_directory_path().string() + "/qorvel-fuzz-paths-" + std::to_string(getpid());
        fs::create_directories(path + "/dir/sub");
        std::FILE* file = std::fopen((path + "/file.txt").c_str(), "w");
        if (file != nullptr) std::fclose(file);
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(scratch(), ignored);
        });
        return path;
    }());
    return root;
}

int openDescriptors() {
    int count = 0;
    DIR* directory = opendir("/proc/self/fd");
    while (dirent* entry = readdir(directory)) count += entry->d_name[0] != '.';
    closedir(directory);
    return count;
}

// The fuzzer's bytes as a path below the scratch directory, or "" when the
// path would name the directory itself.
std::string inside(const std::string& bytes) {
    std::string path;
    int depth = 0;
    size_t start = 0;
    while (start <= bytes.size()) {
        size_t slash = bytes.find('/', start);
        if (slash == std::string::npos) slash = bytes.size();
        std::string name = bytes.substr(start, slash - start);
        if (name == "..") {
            if (depth == 0)
                name = "__";
            else
                --depth;
        } else if (!name.empty() && name != ".") {
            ++depth;
        }
        path += "/" + name;
        start = slash + 1;
    }
    if (depth <= 0) return "";
    return scratch() + path;
}

[[noreturn]] void finding(const char* call, const std::string& path, uint32_t answer) {
    std::fprintf(stderr, "%s(\"%.300s\"...) answered %#x\n", call, path.c_str(), answer);
    std::abort();
}

void expectStatus(const char* call, const std::string& path, cFileStatus status) {
    uint32_t code = status & 0xFFFF;
    if (status != 0 && (code < 0x0301 || code > 0x0308)) finding(call, path, status);
}

void expectZeroOne(const char* call, const std::string& path, int32_t answer) {
    if (answer != 0 && answer != 1) finding(call, path, static_cast<uint32_t>(answer));
}

void exercise(FuzzedDataProvider& input, const std::string& path, const std::string& second) {
    switch (input.ConsumeIntegralInRange(0, 13)) {
        case 0: {
            cFileHandle handle;
            cFileStatus status =
                cFileOpen(path.c_str(), input.ConsumeIntegral<uint16_t>(), &handle);
            expectStatus("cFileOpen", path, status);
            if (status == 0) expectStatus("cFileClose", path, cFileClose(handle));
            break;
        }
        case 1: {
            cFileHandle handle;
            cFileStatus status =
                cFileCreate(path.c_str(), input.ConsumeIntegral<uint16_t>(), 0, &handle);
            expectStatus("cFileCreate", path, status);
            if (status == 0) expectStatus("cFileClose", path, cFileClose(handle));
            break;
        }
        case 2: expectStatus("cFileRemove", path, cFileRemove(path.c_str())); break;
        case 3:
            if (!second.empty()) {
                expectStatus("cFileRename", path, cFileRename(path.c_str(), second.c_str()));
            }
            break;
        case 4: expectStatus("cFileCreateDir", path, cFileCreateDir(path.c_str())); break;
        case 5: expectStatus("cFileRemoveDir", path, cFileRemoveDir(path.c_str())); break;
        case 6: {
            int16_t exists = 7;
            expectStatus("cFileIsExist", path, cFileIsExist(path.c_str(), &exists));
            if (exists != 0 && exists != 1) {
                finding("cFileIsExist flag", path, static_cast<uint32_t>(exists));
            }
            break;
        }
        case 7: {
            uint32_t size = 0;
            expectStatus("cFileGetSize", path, cFileGetSize(path.c_str(), &size));
            break;
        }
        case 8: {
            int16_t flag = 0;
            expectZeroOne(
                "cFileGetAttribute", path,
                cFileGetAttribute(path.c_str(), input.ConsumeIntegral<uint16_t>(), &flag));
            break;
        }
        case 9:
            expectZeroOne("cFileSetAttribute", path,
                          cFileSetAttribute(path.c_str(), input.ConsumeIntegral<uint16_t>(),
                                            input.ConsumeIntegral<int16_t>()));
            break;
        case 10: {
            int32_t time = 0;
            expectZeroOne("cFileGetTime", path,
                          cFileGetTime(path.c_str(), input.ConsumeIntegral<uint16_t>(), &time));
            break;
        }
        case 11: {
            uint32_t free = 0;
            expectStatus("cFileGetDiskFree", path, cFileGetDiskFree(path.c_str(), &free));
            break;
        }
        case 12:
            expectStatus("cFileWriteToFile", path, cFileWriteToFile(path.c_str(), "line\r\n"));
            break;
        default: {
            // The path as a directory for a relative name's resolution.
            int16_t exists = 0;
            expectStatus("cFileIsExist", path, cFileIsExist((path + "/*").c_str(), &exists));
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static long runs = 0;
    if (++runs % 20000 == 0) {
        // Keep the scratch tree small: start again from the three names.
        std::error_code ignored;
        fs::remove_all(scratch(), ignored);
        fs::create_directories(scratch() + "/dir/sub");
        std::FILE* file = std::fopen((scratch() + "/file.txt").c_str(), "w");
        if (file != nullptr) std::fclose(file);
    }
    FuzzedDataProvider input(data, size);
    std::string first = input.ConsumeRandomLengthString(300);
    std::string second = inside(input.ConsumeRandomLengthString(300));
    // Long paths: the name repeated up to 4,100 bytes and beyond.
    if (input.ConsumeBool() && !first.empty()) {
        size_t length = input.ConsumeIntegralInRange<size_t>(250, 4200);
        while (first.size() < length) first += first;
        first.resize(length);
    }
    std::string path = inside(first.c_str());
    if (path.empty()) return 0;
    int before = openDescriptors();
    exercise(input, path, second);
    int after = openDescriptors();
    if (after != before) finding("descriptor count", path, static_cast<uint32_t>(after - before));
    return 0;
}

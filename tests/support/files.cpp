#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "test_support.h"

namespace fs = std::filesystem;

namespace qtest {

namespace {

std::string makeScratchDirectory(const fs::path& base) {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ostringstream name;
        name << "qorvel-test-" << std::hex << random() << "-" << counter++;
        fs::path candidate = base / name.str();
        std::error_code error;
        if (fs::create_directory(candidate, error)) return candidate.string();
    }
    throw std::runtime_error("cannot make a scratch directory");
}

}  // namespace

TempDir::TempDir() : root_(makeScratchDirectory(fs::temp_directory_path())) {}

TempDir::TempDir(const std::string& base) : root_(makeScratchDirectory(base)) {}

TempDir::~TempDir() {
    std::error_code error;
    // Read-only files inside must not keep the tree alive.
    for (auto it = fs::recursive_directory_iterator(root_, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::remove_all(root_, error);
}

// Joined as bytes: on Windows, std::filesystem would take the name's bytes
// 0x80-0xFF as Latin-1 and hand back UTF-8, not the code page's bytes.
std::string TempDir::path(const std::string& name) const {
    return root_ + static_cast<char>(fs::path::preferred_separator) + name;
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool exists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

uint64_t fileSize(const std::string& path) {
    std::error_code error;
    return fs::file_size(path, error);
}

void makeReadOnly(const std::string& path, bool readOnly) {
    fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if (readOnly) {
        fs::permissions(path, write, fs::perm_options::remove);
    } else {
        fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    }
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> tokens;
    std::istringstream in(line);
    std::string token;
    while (in >> token) tokens.push_back(token);
    return tokens;
}

}  // namespace qtest

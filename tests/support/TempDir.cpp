#include "tests/support/TempDir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "framework/PathSyntax.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace fs = std::filesystem;

namespace {

// The tests' texts are UTF-8, as the program's are (its code page under its manifest).
fs::path U8(const std::string& s) {
    return fs::u8path(s);
}

std::string Native(std::string s) {
    for (char& c : s)
        if (c == '/')
            c = kPathSeparator;
    return s;
}

}  // namespace

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ostringstream name;
        name << "scrivox-test-" << rd() << "-" << counter++;
        fs::path p = base / name.str();
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            path_ = Native(p.u8string());
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests take permissions away; give them back so that everything can go.
    for (auto it = fs::recursive_directory_iterator(U8(path_), ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code ignored;
        if (!it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(U8(path_), ec);
}

std::string TempDir::Join(const std::string& relative) const {
    return path_ + kPathSeparator + Native(relative);
}

void TempDir::Write(const std::string& relative, const std::string& content) const {
    fs::create_directories(U8(Join(relative)).parent_path());
    WriteWholeFile(Join(relative), content);
}

std::string TempDir::Read(const std::string& relative) const {
    return ReadWholeFile(Join(relative));
}

bool TempDir::Exists(const std::string& relative) const {
    std::error_code ec;
    return fs::exists(U8(Join(relative)), ec);
}

void TempDir::MakeFolder(const std::string& relative) const {
    fs::create_directories(U8(Join(relative)));
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(U8(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteWholeFile(const std::string& path, const std::string& content) {
    std::ofstream out(U8(path), std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void UseStateFolder(const std::string& path) {
#ifdef _WIN32
    ::SetEnvironmentVariableA("LOCALAPPDATA", path.c_str());
#else
    ::setenv("XDG_STATE_HOME", path.c_str(), 1);
#endif
}

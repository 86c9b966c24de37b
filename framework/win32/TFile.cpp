#include "framework/TFile.h"

#include <windows.h>

#include "framework/TFileName.h"
#include "framework/win32/FileHelpers.h"
#include "framework/win32/WidePath.h"

#include <algorithm>
#include <vector>

namespace {

HANDLE AsHandle(intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

intptr_t FromHandle(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(h);
}

}  // namespace

TFile::~TFile() {
    if (IsOpen())
        ::CloseHandle(AsHandle(handle_));
}

TFile::TFile(TFile&& other) noexcept : handle_(other.handle_) {
    other.handle_ = kNone;
}

TFile& TFile::operator=(TFile&& other) noexcept {
    if (this != &other) {
        if (IsOpen())
            ::CloseHandle(AsHandle(handle_));
        handle_ = other.handle_;
        other.handle_ = kNone;
    }
    return *this;
}

bool TFile::OpenRead(const std::string& path) {
    // Readers may share the file; a program that holds it open for writing makes this fail,
    // so a file being written elsewhere is never scanned half-done.
    HANDLE h = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    *this = TFile();
    handle_ = FromHandle(h);
    return true;
}

bool TFile::OpenRead(const TFileName& file) {
    return OpenRead(file.FullPath());  // searches and opens here go by path
}

bool TFile::OpenTruncate(const std::string& path) {
    HANDLE h = ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    *this = TFile();
    handle_ = FromHandle(h);
    return true;
}

bool TFile::CreateTemp(std::string& name) {
    DWORD size = ::GetTempPathW(0, nullptr);
    if (size == 0)
        return false;
    std::vector<wchar_t> folder(size + 1);
    DWORD got = ::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    if (got == 0 || got >= folder.size())
        return false;
    // GetTempFileNameW writes at most MAX_PATH characters and refuses longer folders.
    wchar_t buffer[MAX_PATH];
    if (::GetTempFileNameW(folder.data(), L"TFN", 0, buffer) == 0)
        return false;
    HANDLE h = ::CreateFileW(buffer, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        ::DeleteFileW(buffer);
        return false;
    }
    *this = TFile();
    handle_ = FromHandle(h);
    name = Narrow(buffer);
    return true;
}

long long TFile::Read(void* buffer, size_t size) {
    DWORD want = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(AsHandle(handle_), buffer, want, &got, nullptr))
        return -1;
    return got;
}

bool TFile::WriteAll(const void* data, size_t size) {
    return WriteAllHandle(AsHandle(handle_), data, size);
}

bool TFile::GetStamp(FileStamp& stamp) const {
    return IsOpen() && ReadStamp(AsHandle(handle_), stamp);
}

bool TFile::Close() {
    if (!IsOpen())
        return false;
    HANDLE h = AsHandle(handle_);
    handle_ = kNone;
    return ::CloseHandle(h) != 0;
}

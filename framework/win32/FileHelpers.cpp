#include "framework/win32/FileHelpers.h"

#include <winternl.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <vector>

#include "framework/FileReplacement.h"
#include "framework/TFolder.h"
#include "framework/win32/WidePath.h"

namespace {

std::wstring UniqueReplacementName(const std::wstring& folder) {
    // Started from the clock once, so that a run's names differ from those a killed run of the
    // same process id left; a name taken all the same is tried again with the next.
    static std::atomic<unsigned> counter{::GetTickCount()};
    wchar_t unique[40];
    std::swprintf(unique, 40, L"~scrivox-%08lx%04x.tmp",
                  static_cast<unsigned long>(::GetCurrentProcessId()), counter++ & 0xFFFF);
    return PathIn(folder, unique);
}

}  // namespace

std::wstring PathIn(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty() || folder.back() == L'\\' || folder.back() == L'/')
        return folder + name;
    return folder + L"\\" + name;
}

std::wstring PathIn(const TFolder& folder, const std::string& name) {
    return PathIn(Widen(folder.Path()), Widen(name));
}

HANDLE CreateHiddenTemp(const std::wstring& folder, std::wstring& name, DWORD flags) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring candidate = UniqueReplacementName(folder);
        // CREATE_NEW never opens what exists, a link of that name included.
        HANDLE h = ::CreateFileW(
            candidate.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC, 0,
            nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_SEQUENTIAL_SCAN | flags,
            nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            name = candidate;
            return h;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS)
            return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

std::wstring TemporaryFolder() {
    DWORD n = ::GetTempPathW(0, nullptr);
    std::vector<wchar_t> folder(n + 1);
    n = ::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    if (n == 0 || n >= folder.size())
        return L".";
    std::wstring tmp(folder.data(), n);
    while (!tmp.empty() && (tmp.back() == L'\\' || tmp.back() == L'/'))
        tmp.pop_back();
    return tmp;
}

std::wstring FinalPath(HANDLE h) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = ::GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0)
            return std::wstring();
        if (n < buffer.size())
            return std::wstring(buffer.data(), n);
        buffer.resize(n + 1);
    }
}

bool ReadIndex(HANDLE file, uint64_t& index) {
    IO_STATUS_BLOCK io;
    FILE_INTERNAL_INFORMATION internal;
    if (!NT_SUCCESS(::NtQueryInformationFile(file, &io, &internal, sizeof internal,
                                             FileInternalInformation)))
        return false;
    index = static_cast<uint64_t>(internal.IndexNumber.QuadPart);
    return true;
}

namespace {

// As the system's headers for drivers declare it (Windows 10 1709 on); the user-mode ones leave
// it out.
constexpr auto kFileStatInformation = static_cast<FILE_INFORMATION_CLASS>(68);
struct FileStatInformation {
    LARGE_INTEGER FileId;
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    LARGE_INTEGER AllocationSize;
    LARGE_INTEGER EndOfFile;
    ULONG FileAttributes;
    ULONG ReparseTag;
    ULONG NumberOfLinks;
    ACCESS_MASK EffectiveAccess;
};

// Cleared for good once the system says it knows no such class (older systems, Wine 8).
std::atomic<bool> statKnown{true};

bool ReadStat(HANDLE file, FileFacts& facts) {
    if (!statKnown.load(std::memory_order_relaxed))
        return false;
    IO_STATUS_BLOCK io;
    FileStatInformation stat;
    const NTSTATUS status =
        ::NtQueryInformationFile(file, &io, &stat, sizeof stat, kFileStatInformation);
    if (status == static_cast<NTSTATUS>(0xC0000003L))  // STATUS_INVALID_INFO_CLASS
        statKnown.store(false, std::memory_order_relaxed);
    if (!NT_SUCCESS(status))
        return false;  // a file system that does not answer it is asked the older way
    facts.stamp.identity.device = 0;
    facts.stamp.identity.index = static_cast<uint64_t>(stat.FileId.QuadPart);
    facts.stamp.size = static_cast<uint64_t>(stat.EndOfFile.QuadPart);
    facts.stamp.lastWrite = stat.LastWriteTime.QuadPart;
    facts.creation = stat.CreationTime.QuadPart;
    facts.attributes = stat.FileAttributes;
    facts.links = stat.NumberOfLinks;
    return true;
}

}  // namespace

bool ReadFacts(HANDLE file, FileFacts& facts, bool withIndex) {
    if (ReadStat(file, facts))
        return true;
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    uint64_t index = 0;
    if (!::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) ||
        !::GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
        (withIndex && !ReadIndex(file, index)))
        return false;
    facts.stamp.identity.device = 0;
    facts.stamp.identity.index = index;
    facts.stamp.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
    facts.stamp.lastWrite = basic.LastWriteTime.QuadPart;
    facts.creation = basic.CreationTime.QuadPart;
    facts.attributes = basic.FileAttributes;
    facts.links = standard.NumberOfLinks;
    return true;
}

bool ReadStamp(HANDLE file, FileStamp& stamp, DWORD* attributes) {
    FileFacts facts;
    if (!ReadFacts(file, facts))
        return false;
    stamp = facts.stamp;
    if (attributes)
        *attributes = facts.attributes;
    return true;
}

long long ReadAtOffset(HANDLE file, uint64_t offset, void* buffer, size_t size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD got = 0;
    if (::ReadFile(file, buffer, want, &got, &at))
        return got;
    return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
}

bool WriteAllHandle(HANDLE h, const void* data, size_t size) {
    auto p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD put = 0;
        if (!::WriteFile(h, p, want, &put, nullptr) || put == 0)
            return false;
        p += put;
        size -= put;
    }
    return true;
}

bool CopyHandleContent(HANDLE from, HANDLE to) {
    std::vector<char> buffer(256 * 1024);
    for (uint64_t offset = 0;;) {
        long long n = ReadAtOffset(from, offset, buffer.data(), buffer.size());
        if (n <= 0)
            return n == 0;
        if (!WriteAllHandle(to, buffer.data(), static_cast<size_t>(n)))
            return false;
        offset += static_cast<uint64_t>(n);
    }
}

bool DeleteThroughHandle(HANDLE h) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    return ::SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) !=
           0;
}

bool IsReplacementName(const char* name) {
    const size_t n = std::strlen(name);
    return n >= 9 + 4 && std::strncmp(name, "~scrivox-", 9) == 0 &&
           std::strcmp(name + n - 4, ".tmp") == 0;
}

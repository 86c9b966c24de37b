#include "framework/win32/FileHelpers.h"

#include <winternl.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "framework/FileReplacement.h"

std::wstring UniqueReplacementName(const std::wstring& folder) {
    static unsigned counter = 0;
    wchar_t unique[40];
    std::swprintf(unique, 40, L"~scrivox-%08lx%04x.tmp",
                  static_cast<unsigned long>(::GetCurrentProcessId()),
                  (counter++ + ::GetTickCount()) & 0xFFFF);
    return folder + L"\\" + unique;
}

HANDLE CreateHiddenTemp(const std::wstring& folder, std::wstring& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring candidate = UniqueReplacementName(folder);
        HANDLE h = ::CreateFileW(candidate.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                 nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
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

std::wstring FolderOf(const std::wstring& path) {
    size_t sep = path.find_last_of(L"\\/");
    return sep == std::wstring::npos ? std::wstring(L".") : path.substr(0, sep);
}

bool ReadStamp(HANDLE file, FileStamp& stamp) {
    FILETIME lastWrite;
    LARGE_INTEGER size;
    IO_STATUS_BLOCK io;
    FILE_INTERNAL_INFORMATION internal;
    if (!::GetFileTime(file, nullptr, nullptr, &lastWrite) || !::GetFileSizeEx(file, &size) ||
        !NT_SUCCESS(::NtQueryInformationFile(file, &io, &internal, sizeof internal,
                                             FileInternalInformation)))
        return false;
    stamp.identity.device = 0;
    stamp.identity.index = static_cast<uint64_t>(internal.IndexNumber.QuadPart);
    stamp.size = static_cast<uint64_t>(size.QuadPart);
    stamp.lastWrite = static_cast<int64_t>((uint64_t(lastWrite.dwHighDateTime) << 32) |
                                           lastWrite.dwLowDateTime);
    return true;
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

bool IsReplacementName(const char* name) {
    const size_t n = std::strlen(name);
    return n >= 9 + 4 && std::strncmp(name, "~scrivox-", 9) == 0 &&
           std::strcmp(name + n - 4, ".tmp") == 0;
}

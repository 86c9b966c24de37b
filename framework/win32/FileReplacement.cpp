#include "framework/FileReplacement.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "framework/win32/FileHelpers.h"
#include "framework/win32/UniqueHandle.h"
#include "framework/win32/WidePath.h"


struct TFileReplacement::Impl {
    std::wstring target;
    std::wstring tempName;
    UniqueFile temp;
    bool inPlace = false;
    DWORD attributes = 0;

    ~Impl() {
        temp.Reset();
        if (!tempName.empty())
            ::DeleteFileW(tempName.c_str());
    }
};

TFileReplacement::TFileReplacement() : impl_(new Impl) {}
TFileReplacement::~TFileReplacement() = default;

bool TFileReplacement::Begin(const std::string& target) {
    Impl& s = *impl_;
    s.target = WidePath(target);
    UniqueFile file(::CreateFileW(s.target.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    // Not GetFileInformationByHandle: the volume serial number it looks up costs more than
    // the whole rest of a file's replacement under some systems.
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    if (!file ||
        !::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic) ||
        !::GetFileInformationByHandleEx(file.Get(), FileStandardInfo, &standard, sizeof standard) ||
        standard.Directory)
        return false;
    s.attributes = basic.FileAttributes;
    // Hard links must keep sharing the content: those files are rewritten in place.
    s.inPlace = standard.NumberOfLinks > 1;
    s.temp = UniqueFile(CreateHiddenTemp(FolderOf(s.target), s.tempName));
    if (!s.temp) {
        // A folder that takes no new file: the content waits in the temporary folder, which no
        // walk cleans, so what a killed run left waiting there goes first.
        s.inPlace = true;
        RemoveStaleReplacements(Narrow(TemporaryFolder().c_str()));
        s.temp = UniqueFile(CreateHiddenTemp(TemporaryFolder(), s.tempName));
    }
    return static_cast<bool>(s.temp);
}

bool TFileReplacement::Write(const void* data, size_t size) {
    return impl_->temp && WriteAllHandle(impl_->temp.Get(), data, size);
}

bool TFileReplacement::Commit() {
    Impl& s = *impl_;
    if (!s.temp || !::FlushFileBuffers(s.temp.Get()))
        return false;
    if (s.inPlace) {
        LARGE_INTEGER zero{};
        if (!::SetFilePointerEx(s.temp.Get(), zero, nullptr, FILE_BEGIN))
            return false;
        UniqueFile out(::CreateFileW(s.target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        LARGE_INTEGER newSize, oldSize;
        if (!out || !::GetFileSizeEx(s.temp.Get(), &newSize) ||
            !::GetFileSizeEx(out.Get(), &oldSize))
            return false;
        // The room for the new content is taken before a byte of the old is overwritten, so that
        // a full disk fails the file while it is still whole; it is cut to length at the end. A
        // file system that cannot allocate ahead is written without it.
        if (newSize.QuadPart > oldSize.QuadPart) {
            FILE_ALLOCATION_INFO room;
            room.AllocationSize = newSize;
            if (!::SetFileInformationByHandle(out.Get(), FileAllocationInfo, &room, sizeof room)) {
                DWORD error = ::GetLastError();
                if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
                    return false;
            }
        }
        std::vector<char> buffer(256 * 1024);
        for (;;) {
            DWORD got = 0;
            if (!::ReadFile(s.temp.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                            nullptr))
                return false;
            if (got == 0)
                break;
            if (!WriteAllHandle(out.Get(), buffer.data(), got))
                return false;
        }
        if (!::SetFilePointerEx(out.Get(), newSize, nullptr, FILE_BEGIN) ||
            !::SetEndOfFile(out.Get()) || !::FlushFileBuffers(out.Get()) ||
            !::CloseHandle(out.Release()))
            return false;
        method_ = Method::InPlace;
        // The copied-from temporary file is done with at once, not when this object goes.
        s.temp.Reset();
        ::DeleteFileW(s.tempName.c_str());
        s.tempName.clear();
        return true;
    }
    s.temp.Reset();
    // ReplaceFile keeps the file's creation time, attributes and security; where the file
    // system cannot, a plain rename that waits for the disk does the same job for the content.
    if (!::ReplaceFileW(s.target.c_str(), s.tempName.c_str(), nullptr,
                        REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                        nullptr) &&
        !::MoveFileExW(s.tempName.c_str(), s.target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return false;
    s.tempName.clear();
    // The temporary file was hidden; the file keeps the attributes it had.
    if (::GetFileAttributesW(s.target.c_str()) != s.attributes)
        ::SetFileAttributesW(s.target.c_str(), s.attributes);
    method_ = Method::Rename;
    return true;
}

// Windows has no call that starts a flush without waiting for it; Commit does it all.
void TFileReplacement::StartFlush() {}

// Flushing a whole volume needs administrator rights: each Commit flushes its own file.
bool TFileReplacement::FlushTogether(TFileReplacement* const*, size_t) {
    return false;
}

int RemoveStaleReplacements(const std::string& folder) {
    std::wstring base = WidePath(folder);
    while (!base.empty() && (base.back() == L'\\' || base.back() == L'/'))
        base.pop_back();
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileExW((base + L"\\" + kReplacementPattern).c_str(),
                                       FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    int removed = 0;
    if (!find)
        return 0;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        // A file that a live run holds open cannot be deleted; only leftovers go.
        std::wstring path = base + L"\\" + data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            continue;
        if (::DeleteFileW(path.c_str()))
            ++removed;
    } while (::FindNextFileW(find.Get(), &data));
    return removed;
}

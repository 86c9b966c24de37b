#include "framework/FileOperations.h"

#include <windows.h>

#include <vector>

#include "framework/FileError.h"
#include "framework/FileLocation.h"
#include "framework/TFile.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"
#include "framework/win32/FileHelpers.h"
#include "framework/win32/RelativeOpen.h"
#include "framework/win32/Security.h"
#include "framework/win32/UniqueHandle.h"
#include "framework/win32/WidePath.h"

namespace {

// All of `source`, from its start, read through it, so that it knows where its handle stands.
bool CopyContent(TFile& source, HANDLE to) {
    std::vector<char> buffer(256 * 1024);
    for (uint64_t offset = 0;;) {
        const long long n = source.ReadAt(offset, buffer.data(), buffer.size());
        if (n <= 0)
            return n == 0;
        if (!WriteAllHandle(to, buffer.data(), static_cast<size_t>(n)))
            return false;
        offset += static_cast<uint64_t>(n);
    }
}

}  // namespace

bool CopyToBackup(TFile& source, const TFileName& file, const std::string& name) {
    const HANDLE in = reinterpret_cast<HANDLE>(source.NativeHandle());
    FILE_BASIC_INFO original;
    if (!source.IsOpen() ||
        !::GetFileInformationByHandleEx(in, FileBasicInfo, &original, sizeof original) ||
        (original.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return SystemFailure();
    // Beside the name the walk listed, or the plain path's folder as it is now.
    TFolder own;
    const TFolder* folder = nullptr;
    if (!LocateListingFolder(file, own, folder))
        return SystemFailure();
    const std::wstring where = Widen(folder->Path());
    std::wstring tempName;
    UniqueFile copy(CreateHiddenTemp(where, tempName));
    if (!copy)
        return SystemFailure();
    // The copy is readable only by those who may read the original before a byte is in it. It
    // shows when it has its name: hidden until then, so that a killed run's copy is never
    // taken for a user's file.
    FILE_BASIC_INFO finished{};  // zero times change nothing
    finished.LastWriteTime = original.LastWriteTime;
    finished.FileAttributes = original.FileAttributes & ~DWORD{FILE_ATTRIBUTE_HIDDEN};
    if (finished.FileAttributes == 0)
        finished.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    bool ok = CopySecurity(in, copy.Get()) && CopyContent(source, copy.Get()) &&
              ::SetFileInformationByHandle(copy.Get(), FileBasicInfo, &finished, sizeof finished) &&
              ::FlushFileBuffers(copy.Get());
    if (!ok) {
        (void)DeleteThroughHandle(copy.Get());
        return SystemFailure();
    }
    copy.Reset();
    // The copy takes the name when whole; a link of that name is replaced, not written through.
    const std::wstring target = PathIn(where, Widen(name));
    if (::MoveFileExW(tempName.c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    // A read-only copy is not removed until it is writable again.
    ::SetFileAttributesW(tempName.c_str(), FILE_ATTRIBUTE_HIDDEN);
    ::DeleteFileW(tempName.c_str());
    return SystemFailure();
}

// Linked through the file's handle, in the open folder itself: CreateHardLinkW would look the
// file up by a name that may lead to another file by now, and the folder up by a path. Wine links
// the name the file was opened by, whatever that leads to by now: a link to another file than
// the open one is taken back.
bool LinkOpenFile(const TFile& file, const TFolder& folder, const std::string& name) {
    const HANDLE h = reinterpret_cast<HANDLE>(file.NativeHandle());
    const HANDLE at = reinterpret_cast<HANDLE>(folder.NativeHandle());
    const std::wstring wide = Widen(name);
    FileStamp stamp;  // read at the open, as a rule
    uint64_t linked = 0;
    if (!file.IsOpen() || !folder.IsOpen() || !file.GetStamp(stamp) || !LinkRelative(h, at, wide))
        return SystemFailure();
    UniqueFile made(OpenRelative(at, wide, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN,
                                 FILE_OPEN_REPARSE_POINT));
    if (made && ReadIndex(made.Get(), linked) && linked == stamp.identity.index)
        return true;
    if (made)
        (void)DeleteThroughHandle(made.Get());
    return Failure(FileProblem::NotTheFileListed);
}

bool MoveFileBetween(const TFolder& from,
                     const std::string& name,
                     const TFolder& to,
                     const std::string& toName) {
    // A move acts on the name itself, a reparse point included, never on what it leads to.
    return ::MoveFileExW(PathIn(from, name).c_str(), PathIn(to, toName).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
           SystemFailure();
}

bool RemoveFile(const std::string& path) {
    std::wstring wide = WidePath(path);
    return ::DeleteFileW(wide.c_str()) != 0 || ::RemoveDirectoryW(wide.c_str()) != 0;
}

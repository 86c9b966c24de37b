// TFolder: folders reached from a path's root one name at a time, made and removed, always
// relative to a folder held open and never through a reparse point (a junction, a symbolic
// link, a mount point).

#include "framework/TFolder.h"

#include <windows.h>
#include <winternl.h>

#include <vector>

#include "framework/FileError.h"
#include "framework/win32/FileHelpers.h"
#include "framework/win32/FolderImpl.h"
#include "framework/win32/RelativeOpen.h"
#include "framework/win32/Security.h"
#include "framework/win32/UniqueHandle.h"
#include "framework/win32/WidePath.h"

namespace {

// A folder on the way is only passed through: its attributes tell whether it is a link.
constexpr ACCESS_MASK kPassAccess = FILE_READ_ATTRIBUTES;

// What the headers, written for Windows 7, leave out: "stopped after reaching a symbolic link",
// and the removal (Windows 10 1809 on) that takes the name away at once, whoever holds the file
// open, as unlink does, and ignores the read-only attribute.
constexpr DWORD kStoppedOnLink = 681;
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDeleteAsUnlink = 0x1 | 0x2 | 0x10;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The root of an absolute path in the verbatim form ("\\?\C:\", "\\?\UNC\server\share\") and its
// names in order. False for a relative path, one relative to a drive's current folder ("C:x"),
// a device's, and one with "." or "..", which the system would resolve before the walk could
// look at them.
bool SplitAbsolute(const std::string& path, std::wstring& root, std::vector<std::wstring>& names) {
    const bool drive = path.size() >= 3 && path[1] == ':' && IsSeparator(path[2]);
    const bool share = path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]);
    if (!drive && !share)
        return false;
    for (size_t start = 0; start <= path.size();) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        const std::string name = path.substr(start, end - start);
        if (name == "." || name == "..")
            return false;
        start = end + 1;
    }
    // Only a drive's or a share's folders: "\\?\Volume{...}\" and the like are left alone.
    const std::wstring verbatim = VerbatimPath(Widen(path));
    const bool onDrive = verbatim.size() >= 7 && verbatim.compare(0, 4, L"\\\\?\\") == 0 &&
                         verbatim[5] == L':' && verbatim[6] == L'\\';
    if (!onDrive && verbatim.rfind(L"\\\\?\\UNC\\", 0) != 0)
        return false;
    const size_t rootLength = RootLength(verbatim);
    root = verbatim.substr(0, rootLength);
    if (root.back() != L'\\')
        root += L'\\';
    for (size_t start = rootLength; start < verbatim.size();) {
        size_t end = verbatim.find(L'\\', start);
        if (end == std::wstring::npos)
            end = verbatim.size();
        if (end > start)
            names.push_back(verbatim.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

// Steps from the open folder `at` into its folder `name`, never through a reparse point. With
// `security`, a missing folder is made with it.
UniqueFile Into(HANDLE at,
                const std::wstring& name,
                ACCESS_MASK access,
                PSECURITY_DESCRIPTOR security = nullptr) {
    UniqueFile h(OpenRelative(at, name, access | FILE_READ_ATTRIBUTES, kShareAll,
                              security ? FILE_OPEN_IF : FILE_OPEN,
                              FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, security));
    if (h && !IsPlainFolder(h.Get())) {
        ::SetLastError(kStoppedOnLink);
        h.Reset();
    }
    return h;
}

// The folder at an absolute path, walked from its root. Missing folders are made with
// `security` where it is given. The last is opened with `access`.
UniqueFile Walk(const std::string& path,
                ACCESS_MASK access,
                PSECURITY_DESCRIPTOR security,
                std::wstring& where) {
    std::wstring root;
    std::vector<std::wstring> names;
    // A drive's root may be opened, but is never made private.
    if (!SplitAbsolute(path, root, names) || (security && names.empty())) {
        ::SetLastError(ERROR_BAD_PATHNAME);
        return UniqueFile();
    }
    UniqueFile at(::CreateFileW(root.c_str(), names.empty() ? access : kPassAccess, kShareAll,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    for (size_t i = 0; at && i < names.size(); ++i)
        at = Into(at.Get(), names[i], i + 1 < names.size() ? kPassAccess : access, security);
    if (!at)
        return at;
    where = FinalPath(at.Get());
    if (where.empty()) {
        where = root;
        for (size_t i = 0; i < names.size(); ++i)
            where += (i ? L"\\" : L"") + names[i];
    }
    return at;
}

// Removes the open file or empty folder `h` (open with DELETE and FILE_READ_ATTRIBUTES), a
// read-only one too. Where the system cannot remove a name at once, it goes when the last handle
// to it closes: a folder held open elsewhere keeps its parent from being removed until then.
// The read-only attribute is taken away only where the system cannot remove a file as it is; a
// file that lives on under another name gets it back.
bool DeleteOpen(HANDLE h) {
    DWORD unlink = kDeleteAsUnlink;
    if (::SetFileInformationByHandle(h, kDispositionInfoEx, &unlink, sizeof unlink) ||
        DeleteThroughHandle(h))
        return true;
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    if (!::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) ||
        !::GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard) ||
        !(basic.FileAttributes & FILE_ATTRIBUTE_READONLY))
        return SystemFailure();
    UniqueFile writable(::ReOpenFile(h, FILE_WRITE_ATTRIBUTES, kShareAll,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
    FILE_BASIC_INFO change{};  // zero times change nothing
    change.FileAttributes = basic.FileAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
    if (change.FileAttributes == 0)
        change.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!writable ||
        !::SetFileInformationByHandle(writable.Get(), FileBasicInfo, &change, sizeof change))
        return SystemFailure();
    const bool deleted = DeleteThroughHandle(h);
    if (!deleted || standard.NumberOfLinks > 1) {
        change.FileAttributes = basic.FileAttributes;
        (void)::SetFileInformationByHandle(writable.Get(), FileBasicInfo, &change, sizeof change);
    }
    return deleted || SystemFailure();
}

}  // namespace

bool TFolder::OpenWithoutLinks(const std::string& path) {
    std::wstring where;
    UniqueFile dir = Walk(path, kListAccess, nullptr, where);
    // As Open: a folder whose entries the process may not read still has a path and an identity.
    if (!dir && ::GetLastError() == ERROR_ACCESS_DENIED)
        dir = Walk(path, FILE_READ_ATTRIBUTES, nullptr, where);
    if (!dir)
        return SystemFailure();
    Impl::Adopt(*this, std::move(dir), where);
    return true;
}

bool TFolder::OpenPrivate(const std::string& path) {
    PSECURITY_DESCRIPTOR security = PrivateSecurity();
    if (!security)
        return SystemFailure();
    // The folders above the last may be shared ones (C:\Users); those made here are private, and
    // none is followed if a reparse point. The last must be private whoever made it: another
    // user's, or one open to others, is no place for what is kept.
    std::wstring where;
    UniqueFile dir = Walk(path, kListAccess | READ_CONTROL, security, where);
    if (!dir)
        return SystemFailure();
    if (!IsPrivateToThisUser(dir.Get())) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return SystemFailure();
    }
    Impl::Adopt(*this, std::move(dir), where);
    return true;
}

bool TFolder::MakeSubfolder(const char* name, TFolder& sub) const {
    const std::wstring wide = Widen(name);
    PSECURITY_DESCRIPTOR security = PrivateSecurity();
    if (!security)
        return SystemFailure();
    UniqueFile dir(OpenRelative(impl_->dir.Get(), wide, kListAccess, kShareAll, FILE_CREATE,
                                FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, security));
    if (!dir)
        return SystemFailure();
    Impl::Adopt(sub, std::move(dir), PathIn(Widen(path_), wide));
    return true;
}

// Windows has no call that flushes a folder's entries alone. NTFS keeps them in its log, which
// the flush of a file on the volume (TFile::Sync) commits up to that point.
bool TFolder::Sync() const {
    return true;
}

bool TFolder::RemoveTree(const char* name) const {
    const std::wstring wide = Widen(name);
    UniqueFile h(OpenRelative(impl_->dir.Get(), wide, DELETE | FILE_READ_ATTRIBUTES, kShareAll,
                              FILE_OPEN, FILE_OPEN_REPARSE_POINT));
    if (!h) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    bool all = true;
    // A reparse point is removed itself, whatever it leads to; only a plain folder is entered,
    // through the handle that was checked.
    if (IsPlainFolder(h.Get())) {
        TFolder sub;
        UniqueFile listing(::ReOpenFile(h.Get(), kListAccess, kShareAll,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
        if (!listing)
            return SystemFailure();
        Impl::Adopt(sub, std::move(listing), PathIn(Widen(path_), wide));
        all = sub.List();
        for (size_t i = 0; i < sub.EntryCount(); ++i)
            all = sub.RemoveTree(sub.EntryName(i)) && all;
    }
    return DeleteOpen(h.Get()) && all;
}

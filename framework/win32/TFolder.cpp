#include "framework/TFolder.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <vector>

#include "framework/FileError.h"
#include "framework/PathSyntax.h"
#include "framework/FileAttributes.h"
#include "framework/win32/FileHelpers.h"
#include "framework/win32/FolderImpl.h"
#include "framework/win32/UniqueHandle.h"
#include "framework/win32/WidePath.h"

namespace {

// What one request for a folder's entries reads at most; big folders take several.
constexpr DWORD kListBytes = 64 * 1024;

// A folder whose entries the process may not read still has a path and an identity; List then
// finds nothing in it.
HANDLE OpenFolderHandle(const std::wstring& path, DWORD flags) {
    flags |= FILE_FLAG_BACKUP_SEMANTICS;
    HANDLE h =
        ::CreateFileW(path.c_str(), kListAccess, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED)
        h = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                          flags, nullptr);
    return h;
}

uint32_t AttributesOf(DWORD attributes) {
    constexpr uint32_t kKept = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory |
                               kAttrArchive | kAttrTemporary | kAttrLink;
    uint32_t mapped = attributes & kKept;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        mapped |= kAttrSpecial;
    return mapped;
}

std::wstring WithoutTrailingSeparator(std::wstring path) {
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    const std::wstring x = WithoutTrailingSeparator(a), y = WithoutTrailingSeparator(b);
    return ::CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(),
                                  static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
}

bool IdentityOf(HANDLE h, FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info))
        return SystemFailure();
    identity.device = info.dwVolumeSerialNumber;
    identity.index = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

}  // namespace

bool IsPlainFolder(HANDLE h) {
    FILE_BASIC_INFO basic;
    return ::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) &&
           (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

size_t RootLength(const std::wstring& path) {
    const std::wstring unc = L"\\\\?\\UNC\\";
    if (path.rfind(unc, 0) != 0)
        return path.size() >= 7 && path[5] == L':' ? 7 : path.size();
    size_t server = path.find(L'\\', unc.size());
    size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
    return share == std::wstring::npos ? path.size() : share + 1;
}

bool TFolder::Impl::Identify() const {
    if (!identified)
        identified = IdentityOf(dir.Get(), identity);
    return identified;
}

void TFolder::Impl::Add(const wchar_t* name, size_t length, DWORD attributes, uint64_t index) {
    const bool dots =
        (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
    if (dots)
        return;
    offsets.push_back(static_cast<uint32_t>(names.size()));
    names += Narrow(name, length);
    names += '\0';
    this->attributes.push_back(attributes);
    indexes.push_back(index);
}

bool TFolder::Impl::SearchByName(const TFolder& folder) {
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileExW(PathIn(folder, "*").c_str(), FindExInfoBasic, &data,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find)
        return SystemFailure();
    do
        Add(data.cFileName, std::wcslen(data.cFileName), data.dwFileAttributes, 0);
    while (::FindNextFileW(find.Get(), &data));
    return ::GetLastError() == ERROR_NO_MORE_FILES;
}

void TFolder::Impl::Adopt(TFolder& folder, UniqueFile dir, const std::wstring& path) {
    folder.impl_.reset(new Impl);
    folder.impl_->dir = std::move(dir);
    folder.path_ = Narrow(path.c_str());
    folder.serial_ = NextSerial();
}

TFolder::TFolder() : impl_(new Impl) {}
TFolder::~TFolder() = default;
TFolder::TFolder(TFolder&&) noexcept = default;
TFolder& TFolder::operator=(TFolder&&) noexcept = default;

bool TFolder::Open(const std::string& path) {
    const std::wstring wide = WidePath(path);
    UniqueFile dir(OpenFolderHandle(wide, 0));
    FILE_BASIC_INFO basic;
    if (!dir || !::GetFileInformationByHandleEx(dir.Get(), FileBasicInfo, &basic, sizeof basic) ||
        !(basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return SystemFailure();
    // Later calls go by path: the folder's own, as opened, so that a link on the way that is
    // changed meanwhile does not lead them elsewhere, and verbatim, so that every listed name
    // reaches its own entry.
    std::wstring where = FinalPath(dir.Get());
    if (where.empty())
        where = VerbatimPath(wide);
    if (where.empty())
        return SystemFailure();
    impl_.reset(new Impl);
    impl_->dir = std::move(dir);
    path_ = Narrow(where.c_str());
    serial_ = NextSerial();
    return true;
}

bool TFolder::OpenSubfolder(const TFolder& parent, const char* name) {
    // Whatever is walked below, the parent's listed stamps are older by then.
    parent.impl_->stampsStale = true;
    const std::wstring path = PathIn(parent, name);
    UniqueFile dir(OpenFolderHandle(path, FILE_FLAG_OPEN_REPARSE_POINT));
    if (!dir || !IsPlainFolder(dir.Get()))
        return SystemFailure();
    impl_.reset(new Impl);
    impl_->dir = std::move(dir);
    path_ = Narrow(path.c_str());
    serial_ = NextSerial();
    return true;
}

HandleListing ListByHandle(HANDLE dir,
                           const std::function<void(const FILE_ID_BOTH_DIR_INFO&)>& each) {
    // LONGLONG keeps the entries' 8-byte alignment.
    std::unique_ptr<LONGLONG[]> buffer(new LONGLONG[kListBytes / sizeof(LONGLONG)]);
    FILE_INFO_BY_HANDLE_CLASS request = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!::GetFileInformationByHandleEx(dir, request, buffer.get(), kListBytes)) {
            if (::GetLastError() == ERROR_NO_MORE_FILES)
                return HandleListing::Done;
            return request == FileIdBothDirectoryRestartInfo ? HandleListing::Refused
                                                             : HandleListing::Failed;
        }
        request = FileIdBothDirectoryInfo;
        auto at = reinterpret_cast<const char*>(buffer.get());
        for (;;) {
            auto e = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            each(*e);
            if (e->NextEntryOffset == 0)
                break;
            at += e->NextEntryOffset;
        }
    }
}

bool TFolder::List() const {
    Impl& s = *impl_;
    if (s.listed)
        return true;
    if (!s.dir)
        return SystemFailure();
    s.listed = true;
    s.stampedAt = SteadyMilliseconds();
    const HandleListing got = ListByHandle(s.dir.Get(), [&s](const FILE_ID_BOTH_DIR_INFO& e) {
        const size_t count = s.indexes.size();
        s.Add(e.FileName, e.FileNameLength / sizeof(wchar_t), e.FileAttributes,
              static_cast<uint64_t>(e.FileId.QuadPart));
        if (s.indexes.size() > count)
            s.stamps.push_back({static_cast<uint64_t>(e.EndOfFile.QuadPart),
                                e.LastWriteTime.QuadPart, s.indexes.back()});
    });
    // Some redirectors know no listing by handle: the search by name still lists.
    if (got == HandleListing::Refused)
        return s.SearchByName(*this);
    s.byHandle = true;
    return got == HandleListing::Done;
}

size_t TFolder::EntryCount() const {
    return impl_->offsets.size();
}

const char* TFolder::EntryName(size_t index) const {
    return impl_->names.c_str() + impl_->offsets[index];
}

bool TFolder::EntryIsFolder(size_t index) const {
    const DWORD attributes = impl_->attributes[index];
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool TFolder::EntryIsLink(size_t index) const {
    return (impl_->attributes[index] & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool TFolder::EntryIsFile(size_t) const {
    return false;  // the listing gives the status itself
}

bool TFolder::EntryStatusOf(size_t index, EntryStatus& status) const {
    // A file system that numbers no files is asked for the entry's own number.
    if (impl_->indexes[index] == 0 || !impl_->Identify())
        return StatusOf(EntryName(index), status);
    status.attributes = AttributesOf(impl_->attributes[index]);
    status.identity.device = impl_->identity.device;
    status.identity.index = impl_->indexes[index];
    return true;
}

bool TFolder::StatusOf(const char* name, EntryStatus& status) const {
    UniqueFile h(::CreateFileW(PathIn(*this, name).c_str(), FILE_READ_ATTRIBUTES, kShareAll,
                               nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_BASIC_INFO basic;
    uint64_t index;
    if (!h || !impl_->Identify() ||
        !::GetFileInformationByHandleEx(h.Get(), FileBasicInfo, &basic, sizeof basic) ||
        !ReadIndex(h.Get(), index))
        return SystemFailure();
    uint32_t attributes = AttributesOf(basic.FileAttributes);
    if (::GetFileType(h.Get()) != FILE_TYPE_DISK)
        attributes |= kAttrSpecial;
    status.attributes = attributes;
    status.identity.device = impl_->identity.device;
    status.identity.index = index;
    return true;
}

bool TFolder::FollowLink(const char* name, TFolder& holder, std::string& finalName) const {
    // The system follows the links, as many as it allows, and says where they ended.
    UniqueFile target(::CreateFileW(PathIn(*this, name).c_str(), FILE_READ_ATTRIBUTES, kShareAll,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    uint64_t index;
    if (!target || !ReadIndex(target.Get(), index))
        return SystemFailure();
    const std::wstring path = FinalPath(target.Get());
    const size_t separator = path.rfind(L'\\');
    if (separator == std::wstring::npos || separator + 1 >= path.size() ||
        separator + 1 < RootLength(path))
        return SystemFailure();
    TFolder folder;
    const std::string leaf = Narrow(path.c_str() + separator + 1);
    EntryStatus status;
    // The folder is opened by path: the name in it must still be what the link led to.
    if (!folder.Open(Narrow(path.substr(0, std::max(separator, RootLength(path))).c_str())) ||
        !folder.StatusOf(leaf.c_str(), status) || status.identity.index != index)
        return SystemFailure();
    holder = std::move(folder);
    finalName = leaf;
    return true;
}

bool TFolder::LiesWithin(const FolderSet& inside) const {
    FileIdentity identity;
    if (!GetIdentity(identity))
        return SystemFailure();
    if (inside.count(identity))
        return true;
    // Up the folder's path as the system sees it now, one parent at a time. Each parent must be
    // a folder, not a link, and be at that path itself: a link that took a name on the way
    // would make what is opened another folder than the one above.
    std::wstring path = FinalPath(impl_->dir.Get());
    for (int depth = 0; !path.empty() && depth < 4096; ++depth) {
        const size_t root = RootLength(path);
        const size_t separator = WithoutTrailingSeparator(path).rfind(L'\\');
        if (path.size() <= root || separator == std::wstring::npos)
            return SystemFailure();
        path.resize(separator < root ? root : separator);
        UniqueFile up(OpenFolderHandle(path, FILE_FLAG_OPEN_REPARSE_POINT));
        if (!up || !IsPlainFolder(up.Get()) || !SamePath(FinalPath(up.Get()), path) ||
            !IdentityOf(up.Get(), identity))
            return SystemFailure();
        if (inside.count(identity))
            return true;
    }
    return SystemFailure();
}

bool TFolder::RealPath(std::string& path) const {
    // The path kept at the open is the system's own final path of the folder.
    path = path_;
    if (path.empty())
        return false;
    if (!IsPathSeparator(path.back()))
        path += '\\';
    return true;
}

bool TFolder::GetIdentity(FileIdentity& identity) const {
    if (!impl_->dir || !impl_->Identify())
        return SystemFailure();
    identity = impl_->identity;
    return true;
}

int TFolder::Descriptor() const {
    return -1;
}

intptr_t TFolder::NativeHandle() const {
    return impl_ ? reinterpret_cast<intptr_t>(impl_->dir.Get()) : 0;
}

bool TFolder::IsOpen() const {
    return impl_ && impl_->dir;
}

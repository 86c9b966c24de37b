#include "framework/FileReplacement.h"

#include <windows.h>
#include <winternl.h>

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

constexpr DWORD kLinkOrFolder = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
// What ReplaceFile keeps of a file that the rename of a new one over it would not.
constexpr DWORD kKeptByReplace =
    FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED | FILE_ATTRIBUTE_SPARSE_FILE;

// As the system's headers for drivers declare it; the user-mode ones leave it out.
struct StreamInformation {
    ULONG NextEntryOffset;
    ULONG StreamNameLength;
    LARGE_INTEGER StreamSize;
    LARGE_INTEGER StreamAllocationSize;
    WCHAR StreamName[1];
};

// Whether the file has nothing but its content that ReplaceFile would keep and a rename of the
// new file would lose: named streams (a download's zone mark among them), compression,
// encryption. A file system that keeps no streams (FAT, Wine) has none.
bool OnlyContent(HANDLE file, DWORD attributes) {
    if (attributes & kKeptByReplace)
        return false;
    alignas(8) char buffer[512];
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = ::NtQueryInformationFile(
        file, &io, buffer, sizeof buffer, static_cast<FILE_INFORMATION_CLASS>(22));
    constexpr NTSTATUS kNotImplemented = static_cast<NTSTATUS>(0xC0000002L);
    constexpr NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000DL);
    constexpr NTSTATUS kInvalidClass = static_cast<NTSTATUS>(0xC0000003L);
    if (status == kNotImplemented || status == kInvalidParameter || status == kInvalidClass)
        return true;
    if (!NT_SUCCESS(status))
        return false;  // more streams than the buffer holds, or no answer: ReplaceFile it is
    if (io.Information == 0)
        return true;
    const auto* stream = reinterpret_cast<const StreamInformation*>(buffer);
    const std::wstring name(stream->StreamName, stream->StreamNameLength / sizeof(WCHAR));
    return stream->NextEntryOffset == 0 && name == L"::$DATA";
}

// The attributes a file's handle can give it.
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

struct TFileReplacement::Impl {
    std::wstring target;    // the file's verbatim path
    FileStamp expected;     // the file as it was opened for reading
    DWORD attributes = 0;   // what the new file gets: the model's, else the file's own
    int64_t lastWrite = 0;  // the same, kept with KeepLastWriteTime
    int64_t creation = 0;   // the file's own
    bool modelled = false;  // given another file's security and attributes
    UniqueFile temp;        // the new content
    std::wstring tempName;  // its path
    // Where a rename through the handle puts it in place: a copy of the folder's own handle,
    // and the file's name there. Only for a file that has nothing ReplaceFile alone would keep.
    UniqueFile folder;
    std::wstring name;
    uint64_t written = 0;   // the new content's length
    uint64_t tempIndex = 0;  // its index, once read
    bool inPlace = false;
    bool timeFixed = false;  // the new file's last-write time and attributes set through its handle
    int64_t fixedTime = 0;   // that time

    // The name still leads to the file that was read, as it was read, and is no link.
    bool StillTheFileRead() const {
        UniqueFile h(
            ::CreateFileW(target.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        FileStamp now;
        DWORD nowAttributes = 0;
        if (!h || !ReadStamp(h.Get(), now, &nowAttributes))
            return SystemFailure();
        return Unchanged(now, nowAttributes);
    }

    // A file that another program saved since it was opened is that program's; one that
    // another file or a link replaced is not the file read.
    bool Unchanged(const FileStamp& now, DWORD nowAttributes) const {
        if (now == expected && !(nowAttributes & kLinkOrFolder))
            return true;
        return Failure(now.identity == expected.identity && !(nowAttributes & kLinkOrFolder)
                           ? FileProblem::ChangedMeanwhile
                           : FileProblem::NotTheFileListed);
    }

    // The file's (or the model's) last-write time as it was read, given to `h` after its last
    // write.
    bool KeepTime(HANDLE h) const {
        FILETIME time;
        time.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(lastWrite));
        time.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(lastWrite) >> 32);
        return ::SetFileTime(h, nullptr, nullptr, &time) != 0;
    }

    // The last-write time the new file takes the name with, set through its handle after its
    // last write: a file system may set a written file's time again when the handle closes,
    // unless it was set through it, and the time told by NewStamp must be the one the file
    // keeps. Its attributes go with it, the file's (or the model's) instead of the hidden
    // temporary one's, so that whatever puts it in place (a ReplaceFile that is only a rename
    // under Wine, or the rename that stands in for it) leaves none of its own.
    bool FixTime(bool keepTime) {
        if (timeFixed || inPlace)
            return true;
        FILE_BASIC_INFO now;
        if (!::GetFileInformationByHandleEx(temp.Get(), FileBasicInfo, &now, sizeof now))
            return SystemFailure();
        FILE_BASIC_INFO change{};  // zero times change nothing
        change.LastWriteTime.QuadPart = keepTime ? lastWrite : now.LastWriteTime.QuadPart;
        // A rename, which a model's copy takes the name by, keeps no creation time.
        if (modelled || folder)
            change.CreationTime.QuadPart = creation;
        change.FileAttributes = attributes & kSettable ? attributes & kSettable
                                                       : FILE_ATTRIBUTE_NORMAL;
        if (!::SetFileInformationByHandle(temp.Get(), FileBasicInfo, &change, sizeof change))
            return SystemFailure();
        fixedTime = change.LastWriteTime.QuadPart;
        return timeFixed = true;
    }

    // The new file's index, asked for once.
    bool TempIndex() {
        return tempIndex != 0 || ReadIndex(temp.Get(), tempIndex) || SystemFailure();
    }

    bool CopyInPlace(bool keepTime) {
        LARGE_INTEGER newSize;
        if (!::GetFileSizeEx(temp.Get(), &newSize))
            return SystemFailure();
        // Without sharing: a file that another program has open is that program's to change.
        UniqueFile out(::CreateFileW(
            target.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
            FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        FileStamp now;
        DWORD nowAttributes = 0;
        if (!out || !ReadStamp(out.Get(), now, &nowAttributes))
            return SystemFailure();
        if (!Unchanged(now, nowAttributes))
            return false;
        // The room for the new content is taken before a byte of the old is overwritten, so that
        // a full disk fails the file while it is still whole; it is cut to length at the end. A
        // file system that cannot allocate ahead is written without it.
        if (newSize.QuadPart > static_cast<LONGLONG>(expected.size)) {
            FILE_ALLOCATION_INFO room;
            room.AllocationSize = newSize;
            if (!::SetFileInformationByHandle(out.Get(), FileAllocationInfo, &room, sizeof room)) {
                const DWORD error = ::GetLastError();
                if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
                    return SystemFailure();
            }
        }
        return CopyHandleContent(temp.Get(), out.Get()) &&
               ::SetFilePointerEx(out.Get(), newSize, nullptr, FILE_BEGIN) &&
               ::SetEndOfFile(out.Get()) && (!keepTime || KeepTime(out.Get())) &&
               ::FlushFileBuffers(out.Get()) && ::CloseHandle(out.Release());
    }

    // Through the handle while it is open, whatever the file's security says by now.
    void RemoveTemp() {
        if (temp)
            (void)DeleteThroughHandle(temp.Get());
        else if (!tempName.empty())
            ::DeleteFileW(tempName.c_str());
        temp.Reset();
        tempName.clear();
    }

    ~Impl() { RemoveTemp(); }
};

TFileReplacement::TFileReplacement() : impl_(new Impl) {}
TFileReplacement::~TFileReplacement() = default;

bool TFileReplacement::Begin(const TFileName& file, const TFile& scanned, const TFile* model) {
    Impl& s = *impl_;
    const HANDLE in = reinterpret_cast<HANDLE>(scanned.NativeHandle());
    const HANDLE like = model ? reinterpret_cast<HANDLE>(model->NativeHandle()) : in;
    // Not GetFileInformationByHandle: the volume serial number it looks up costs more than
    // the whole rest of a file's replacement under some systems. The stamp was read at the
    // open; the rest is one more look, and one at the model.
    FileFacts facts, likeFacts;
    TFolder own;
    const TFolder* folder = nullptr;
    std::string name;
    if (!scanned.IsOpen() || (model && !model->IsOpen()) || !scanned.GetStamp(s.expected) ||
        !ReadFacts(in, facts, false) || (model && !ReadFacts(like, likeFacts, false)) ||
        (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) || !LocateFile(file, own, folder, name))
        return SystemFailure();
    if (!model)
        likeFacts = facts;
    s.attributes = likeFacts.attributes;
    s.lastWrite = likeFacts.stamp.lastWrite;
    s.creation = facts.creation;
    s.modelled = model != nullptr;
    const std::wstring where = Widen(folder->Path());
    s.target = PathIn(where, Widen(name));
    // A plain path is looked up here, after the read: it must still name the file read.
    if (!file.Holder() && !s.StillTheFileRead())
        return SystemFailure();
    // Hard links must keep sharing the content: those files are rewritten in place, and their
    // temporary file goes with its handle, even when the run is killed.
    s.inPlace = facts.links > 1;
    s.temp =
        UniqueFile(CreateHiddenTemp(where, s.tempName, s.inPlace ? FILE_FLAG_DELETE_ON_CLOSE : 0));
    if (!s.temp) {
        // A folder that takes no new file: the content waits in the temporary folder, which no
        // walk cleans, so what a killed run left waiting there goes first.
        s.inPlace = true;
        RemoveStaleReplacements(Narrow(TemporaryFolder().c_str()));
        s.temp =
            UniqueFile(CreateHiddenTemp(TemporaryFolder(), s.tempName, FILE_FLAG_DELETE_ON_CLOSE));
        return static_cast<bool>(s.temp);
    }
    // The new content is readable by those who may read the file, and no one else, from the
    // first byte on; the new file, once in place, gives nobody more than the old one did. A
    // file whose security cannot be given is rewritten in place instead, keeping its own.
    if (!CopySecurity(like, s.temp.Get()))
        s.inPlace = true;
    // A rename through the handle, relative to the folder, instead of ReplaceFile (which under
    // Wine takes some twenty system calls), where it loses nothing.
    HANDLE dup = nullptr;
    if (!s.inPlace && !model && OnlyContent(in, facts.attributes) &&
        ::DuplicateHandle(::GetCurrentProcess(), reinterpret_cast<HANDLE>(folder->NativeHandle()),
                          ::GetCurrentProcess(), &dup, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        s.folder = UniqueFile(dup);
        s.name = Widen(name);
    }
    return true;
}

bool TFileReplacement::InPlace() const {
    return impl_->inPlace;
}

bool TFileReplacement::NewStamp(FileStamp& stamp, bool& timeKnown) {
    Impl& s = *impl_;
    // Written from its start by this object alone: its length is what was written.
    stamp.size = s.written;
    timeKnown = !s.inPlace;
    if (s.inPlace) {
        stamp.identity = s.expected.identity;  // the file keeps its own
        stamp.lastWrite = 0;
        return static_cast<bool>(s.temp) || SystemFailure();
    }
    if (!s.temp || !s.FixTime(keepTime_) || !s.TempIndex())
        return SystemFailure();
    stamp.identity = FileIdentity{0, s.tempIndex};
    stamp.lastWrite = s.fixedTime;
    return true;
}

bool TFileReplacement::Write(const void* data, size_t size) {
    Impl& s = *impl_;
    if (!s.temp || !WriteAllHandle(s.temp.Get(), data, size))
        return false;
    s.written += size;
    return true;
}

bool TFileReplacement::Commit() {
    Impl& s = *impl_;
    if (!s.temp || !::FlushFileBuffers(s.temp.Get()))
        return SystemFailure();
    if (s.inPlace) {
        if (!s.CopyInPlace(keepTime_))
            return SystemFailure();
        method_ = Method::InPlace;
        // The copied-from temporary file is done with at once, not when this object goes.
        s.RemoveTemp();
        return true;
    }
    // A file that another program saved since it was opened is that program's: the new
    // content, made from what was read, is dropped.
    if (!s.TempIndex() || !s.FixTime(keepTime_) || !s.StillTheFileRead())
        return SystemFailure();
    const uint64_t made = s.tempIndex;
    if (s.folder) {
        if (!RenameRelative(s.temp.Get(), s.folder.Get(), s.name))
            return SystemFailure();
        s.temp.Reset();  // it is the file now
        s.tempName.clear();
        newIdentity_ = FileIdentity{0, made};
        method_ = Method::Rename;
        return true;
    }
    s.temp.Reset();  // ReplaceFile opens it itself
    // ReplaceFile keeps the file's creation time, attributes and security. Where it fails having
    // moved the file away, the new content takes its place all the same; where it changed
    // nothing (a file system that cannot), a plain rename that waits for the disk does the job
    // for the content, the security having been given already. Either replaces the name itself:
    // a link that took it is never written through. A model's copy has the model's security,
    // which ReplaceFile would replace by the file's, and its times: it goes by the rename alone.
    if (s.modelled || !::ReplaceFileW(s.target.c_str(), s.tempName.c_str(), nullptr,
                                      REPLACEFILE_IGNORE_MERGE_ERRORS |
                                          REPLACEFILE_IGNORE_ACL_ERRORS,
                                      nullptr, nullptr)) {
        const DWORD error = ::GetLastError();
        const bool movedAway = error == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
                               error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
        if ((!movedAway && !s.StillTheFileRead()) ||
            !::MoveFileExW(s.tempName.c_str(), s.target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return SystemFailure();
    }
    s.tempName.clear();  // it is the file now
    newIdentity_ = FileIdentity{0, made};
    method_ = Method::Rename;
    return true;
}

// Windows has no call that starts a flush without waiting for it; Commit does it all.
void TFileReplacement::StartFlush() {}

// Flushing a whole volume needs administrator rights: each Commit flushes its own file.
bool TFileReplacement::FlushTogether(TFileReplacement* const*, size_t) {
    return false;
}

int RemoveStaleReplacements(const TFolder& folder) {
    (void)folder.List();
    int removed = 0;
    for (size_t i = 0; i < folder.EntryCount(); ++i) {
        const char* name = folder.EntryName(i);
        if (!IsReplacementName(name) || folder.EntryIsFolder(i) || folder.EntryIsLink(i))
            continue;
        // Without sharing: a file that a live run holds open (or anyone else) does not open.
        // What opens is removed through its handle, so that what is checked is what goes.
        UniqueFile h(::CreateFileW(PathIn(folder, name).c_str(),
                                   DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES, 0, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        FILE_BASIC_INFO basic;
        if (h && ::GetFileInformationByHandleEx(h.Get(), FileBasicInfo, &basic, sizeof basic) &&
            !(basic.FileAttributes & kLinkOrFolder) && OwnedByThisUser(h.Get()) &&
            DeleteThroughHandle(h.Get()))
            ++removed;
    }
    return removed;
}

int RemoveStaleReplacements(const std::string& folder) {
    TFolder open;
    return open.Open(folder) ? RemoveStaleReplacements(open) : 0;
}

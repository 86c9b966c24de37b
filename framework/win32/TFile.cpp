#include "framework/TFile.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "framework/FileError.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"
#include "framework/win32/FileHelpers.h"
#include "framework/win32/RelativeOpen.h"
#include "framework/win32/Security.h"
#include "framework/win32/UniqueHandle.h"
#include "framework/win32/WidePath.h"

namespace {

HANDLE AsHandle(intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

// Readers may share the file; a program that holds it open for writing makes the open fail,
// so a file being written elsewhere is never scanned half-done. Its name may be removed or
// taken meanwhile, as on POSIX: what is read stays the file opened, and a replacement checks
// that the name still leads to it.
HANDLE OpenForReading(const std::wstring& path, DWORD flags) {
    return ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | flags, nullptr);
}

}  // namespace

TFile::~TFile() {
    if (IsOpen())
        ::CloseHandle(AsHandle(handle_));
}

TFile::TFile(TFile&& other) noexcept
    : handle_(other.handle_),
      stamp_(other.stamp_),
      stamped_(other.stamped_),
      position_(other.position_),
      end_(other.end_),
      pointer_(other.pointer_) {
    other.handle_ = kNone;
    other.stamped_ = false;
    other.position_ = other.pointer_ = 0;
    other.end_ = kUnknown;
}

TFile& TFile::operator=(TFile&& other) noexcept {
    if (this != &other) {
        if (IsOpen())
            ::CloseHandle(AsHandle(handle_));
        handle_ = std::exchange(other.handle_, kNone);
        stamp_ = other.stamp_;
        stamped_ = std::exchange(other.stamped_, false);
        position_ = std::exchange(other.position_, 0);
        end_ = std::exchange(other.end_, kUnknown);
        pointer_ = std::exchange(other.pointer_, 0);
    }
    return *this;
}

bool TFile::OpenRead(const std::string& path) {
    UniqueFile h(OpenForReading(WidePath(path), 0));
    // A device (a printer port, a pipe) that a path names is not a file to read.
    if (!h || ::GetFileType(h.Get()) != FILE_TYPE_DISK)
        return SystemFailure();
    *this = TFile();
    handle_ = reinterpret_cast<intptr_t>(h.Release());
    return true;
}

bool TFile::OpenRead(const TFileName& file) {
    if (TFile* opened = file.Opened(); opened && opened->IsOpen()) {
        *this = std::move(*opened);
        return true;  // the walk decided on what it opened
    }
    const TFolder* holder = file.Holder();
    if (!holder)
        return OpenRead(file.FullPath());
    // The name is taken literally in the folder's verbatim path, which leads to no device, and
    // a link that took it is opened itself, to be refused.
    UniqueFile h(
        OpenForReading(PathIn(*holder, file.NameInHolder()), FILE_FLAG_OPEN_REPARSE_POINT));
    FileStamp stamp;
    DWORD attributes = 0;
    // The volume is the holder's, since no link was followed: the index alone tells whether
    // this is still the file the walk saw.
    if (!h || !ReadStamp(h.Get(), stamp, &attributes))
        return SystemFailure();
    if ((attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        stamp.identity.index != file.Identity().index)
        return Failure(FileProblem::NotTheFileListed);
    Adopt(reinterpret_cast<intptr_t>(h.Release()), stamp);
    // Opened without write sharing: nobody can change its length while it is open.
    end_ = stamp.size;
    return true;
}

// By the folder's verbatim path, as OpenRead takes a walk's names; the name itself, if a reparse
// point, is opened to be refused.
bool TFile::OpenListed(const TFolder& folder, const char* name, EntryStatus& status) {
    // Not used here (the listing gives every entry's status), but correct all the same.
    return folder.StatusOf(name, status) && OpenIn(folder, name);
}

bool TFile::OpenIn(const TFolder& folder, const char* name) {
    const std::wstring wide = Widen(name);
    if (!IsPlainName(wide)) {
        ::SetLastError(ERROR_INVALID_NAME);
        return SystemFailure();
    }
    // Shared with a writer too: a live run's journal is read by a listing of the runs.
    UniqueFile h(::CreateFileW(PathIn(Widen(folder.Path()), wide).c_str(), GENERIC_READ, kShareAll,
                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FileStamp stamp;
    DWORD attributes = 0;
    if (!h || !ReadStamp(h.Get(), stamp, &attributes))
        return SystemFailure();
    if (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))
        return Failure(FileProblem::NotTheFileListed);
    if (::GetFileType(h.Get()) != FILE_TYPE_DISK)
        return Failure(FileProblem::NotRegularFile);
    *this = TFile();
    handle_ = reinterpret_cast<intptr_t>(h.Release());
    stamp_ = stamp;
    stamped_ = true;
    return true;
}

bool TFile::CreateIn(const TFolder& folder, const char* name) {
    const std::wstring wide = Widen(name);
    SECURITY_ATTRIBUTES security{sizeof security, PrivateSecurity(), FALSE};
    if (!IsPlainName(wide))
        ::SetLastError(ERROR_INVALID_NAME);
    if (!IsPlainName(wide) || !security.lpSecurityDescriptor)
        return SystemFailure();
    // CREATE_NEW takes no existing name, a reparse point's included, and follows none.
    UniqueFile h(::CreateFileW(PathIn(Widen(folder.Path()), wide).c_str(),
                               GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_DELETE, &security, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h)
        return SystemFailure();
    *this = TFile();
    handle_ = reinterpret_cast<intptr_t>(h.Release());
    return true;
}

bool TFile::Sync() {
    if (!IsOpen())
        return SystemFailure();
    if (::FlushFileBuffers(AsHandle(handle_)))
        return true;
    if (::GetLastError() != ERROR_ACCESS_DENIED)
        return SystemFailure();
    // Only a handle that may write can be flushed: a file open for reading gets one of its own.
    UniqueFile writable(::ReOpenFile(AsHandle(handle_), GENERIC_WRITE, kShareAll, 0));
    return (writable && ::FlushFileBuffers(writable.Get())) || SystemFailure();
}

bool TFile::CreateTemp(std::string& name) {
    DWORD size = ::GetTempPathW(0, nullptr);
    if (size == 0)
        return SystemFailure();
    std::vector<wchar_t> folder(size + 1);
    DWORD got = ::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    if (got == 0 || got >= folder.size())
        return SystemFailure();
    // GetTempFileNameW writes at most MAX_PATH characters and refuses longer folders.
    wchar_t buffer[MAX_PATH];
    if (::GetTempFileNameW(folder.data(), L"TFN", 0, buffer) == 0)
        return SystemFailure();
    HANDLE h = ::CreateFileW(buffer, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        ::DeleteFileW(buffer);
        return SystemFailure();
    }
    *this = TFile();
    handle_ = reinterpret_cast<intptr_t>(h);
    name = Narrow(buffer);
    return true;
}

long long TFile::Read(void* buffer, size_t size) {
    const long long n = ReadAt(position_, buffer, size);
    if (n > 0)
        position_ += static_cast<uint64_t>(n);
    return n;
}

long long TFile::ReadAt(uint64_t offset, void* buffer, size_t size) {
    if (offset >= end_)
        return 0;  // the end of a file whose length cannot change meanwhile
    const HANDLE h = AsHandle(handle_);
    long long n;
    if (offset == pointer_) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        DWORD got = 0;
        n = ::ReadFile(h, buffer, want, &got, nullptr) ? static_cast<long long>(got) : -1;
    } else {
        n = ReadAtOffset(h, offset, buffer, size);
    }
    if (n < 0) {
        pointer_ = kUnknown;
        NoteSystemError();
        return -1;
    }
    pointer_ = offset + static_cast<uint64_t>(n);
    return n;
}

bool TFile::WriteAll(const void* data, size_t size) {
    if (WriteAllHandle(AsHandle(handle_), data, size)) {
        if (pointer_ != kUnknown)
            pointer_ += size;
        return true;
    }
    pointer_ = kUnknown;
    return false;
}

bool TFile::GetStamp(FileStamp& stamp) const {
    if (!IsOpen())
        return SystemFailure();
    if (!stamped_) {
        if (!ReadStamp(AsHandle(handle_), stamp_))
            return SystemFailure();
        stamped_ = true;
    }
    stamp = stamp_;
    return true;
}

bool TFile::Close() {
    if (!IsOpen())
        return SystemFailure();
    HANDLE h = AsHandle(std::exchange(handle_, kNone));
    stamped_ = false;
    position_ = pointer_ = 0;
    end_ = kUnknown;
    return ::CloseHandle(h) != 0;
}

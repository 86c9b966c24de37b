#include "framework/FileIdentity.h"

#include <windows.h>

#include "framework/FileError.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"
#include "framework/win32/FileHelpers.h"
#include "framework/win32/UniqueHandle.h"
#include "framework/win32/WidePath.h"

bool GetFileIdentity(const std::string& path, FileIdentity& identity) {
    // Backup semantics let a folder be opened; no access beyond its attributes is asked.
    UniqueFile h(::CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!h || !::GetFileInformationByHandle(h.Get(), &info))
        return false;
    identity.device = info.dwVolumeSerialNumber;
    identity.index = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool GetFileStamp(const TFileName& file, FileStamp& stamp) {
    const TFolder* holder = file.Holder();
    if (!holder)
        return GetFileStamp(file.FullPath(), stamp);
    UniqueFile h(::CreateFileW(PathIn(*holder, file.NameInHolder()).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return (h && ReadStamp(h.Get(), stamp)) || SystemFailure();
}

TTime LastWriteOf(const FileStamp& stamp) {
    return TTime{stamp.lastWrite};  // file times are the time value's own units
}

bool GetFileStamp(const std::string& path, FileStamp& stamp) {
    UniqueFile h(::CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    return h && ReadStamp(h.Get(), stamp);
}

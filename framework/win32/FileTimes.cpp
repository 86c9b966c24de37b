#include "framework/FileTimes.h"

#include <windows.h>

#include "framework/FileError.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"
#include "framework/win32/FileHelpers.h"
#include "framework/win32/UniqueHandle.h"
#include "framework/win32/WidePath.h"

namespace {

TTime FromFiletime(const FILETIME& ft) {
    return TTime{static_cast<int64_t>((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime)};
}

bool SetLastWriteTimeAt(const std::wstring& path,
                        DWORD flags,
                        TTime time,
                        const FileStamp* expected = nullptr) {
    // Zero means "leave unchanged" to the file system, and negative times do not exist there.
    if (time.ticks <= 0)
        return SystemFailure();
    // Write access with no sharing, so that a file that another program has open is skipped
    // (attribute access alone would pass the sharing check). A folder does not open this way.
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | flags, nullptr));
    if (!file)
        return SystemFailure();
    FILE_BASIC_INFO now;
    if (expected &&
        !::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &now, sizeof now))
        return SystemFailure();
    if (expected && now.LastWriteTime.QuadPart != expected->lastWrite)
        return Failure(FileProblem::ChangedMeanwhile);
    FILETIME lastWrite;
    lastWrite.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(time.ticks));
    lastWrite.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(time.ticks) >> 32);
    // Null pointers leave the creation and last-access times exactly as they are.
    return ::SetFileTime(file.Get(), nullptr, nullptr, &lastWrite) != 0;
}

}  // namespace

bool GetFileTimes(const std::string& path, FileTimes& times) {
    // By name, without opening the file, so that it works on files others hold open.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data))
        return SystemFailure();
    times.creation = FromFiletime(data.ftCreationTime);
    times.lastAccess = FromFiletime(data.ftLastAccessTime);
    times.lastWrite = FromFiletime(data.ftLastWriteTime);
    return true;
}

bool SetLastWriteTime(const std::string& path, TTime time) {
    return SetLastWriteTimeAt(WidePath(path), 0, time);
}

bool SetLastWriteTime(const TFileName& file, TTime time) {
    // The walk has just seen a regular file under the name; it is set in the folder that holds
    // it, and whatever took the name since, a link included, is not followed out of there.
    FileStamp given;
    const bool check = file.StampGiven() && file.SeenStamp(given);
    if (const TFolder* holder = file.Holder())
        return SetLastWriteTimeAt(PathIn(*holder, file.NameInHolder()),
                                  FILE_FLAG_OPEN_REPARSE_POINT, time, check ? &given : nullptr);
    return SetLastWriteTime(file.FullPath(), time);
}

bool SetLastWriteStamp(const TFileName& file, int64_t lastWrite) {
    return SetLastWriteTime(file, TTime{lastWrite});  // a stamp's time is in the value's units
}

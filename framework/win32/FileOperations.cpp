#include "framework/FileOperations.h"

#include <windows.h>

#include "framework/win32/FileHelpers.h"
#include "framework/win32/WidePath.h"

bool CopyFileReplacing(const std::string& from, const std::string& to) {
    // The copy (with the source's last-write time and attributes) is made under a new name
    // beside its place and moved there when whole, so that it is never seen half made.
    const std::wstring target = WidePath(to);
    const std::wstring temp = UniqueReplacementName(FolderOf(target));
    if (!::CopyFileW(WidePath(from).c_str(), temp.c_str(), TRUE))
        return false;
    if (!::MoveFileExW(temp.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

bool RemoveFile(const std::string& path) {
    std::wstring wide = WidePath(path);
    return ::DeleteFileW(wide.c_str()) != 0 || ::RemoveDirectoryW(wide.c_str()) != 0;
}

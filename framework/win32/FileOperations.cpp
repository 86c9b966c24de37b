#include "framework/FileOperations.h"

#include <windows.h>

#include "framework/win32/WidePath.h"

bool CopyFileReplacing(const std::string& from, const std::string& to) {
    // Keeps the source's last-write time and attributes.
    return ::CopyFileW(WidePath(from).c_str(), WidePath(to).c_str(), FALSE) != 0;
}

bool RemoveFile(const std::string& path) {
    std::wstring wide = WidePath(path);
    return ::DeleteFileW(wide.c_str()) != 0 || ::RemoveDirectoryW(wide.c_str()) != 0;
}

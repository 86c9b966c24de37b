#include "framework/UserFolders.h"

#include <windows.h>

#include "framework/win32/WidePath.h"

std::string UserStateFolder() {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH * 4);
    if (n == 0 || n >= MAX_PATH * 4)
        return std::string();
    std::string folder = Narrow(buffer);
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    return folder;
}

#include "framework/SystemError.h"

#include <windows.h>

int LastSystemError() {
    return static_cast<int>(::GetLastError());
}

std::string SystemErrorText(int code) {
    char buffer[512];
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
    // The system's texts end with a full stop and a line break; a message goes on after them.
    while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r' || buffer[n - 1] == '.'))
        --n;
    if (n == 0)
        return "error " + std::to_string(code);
    return std::string(buffer, n);
}

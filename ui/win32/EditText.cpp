#include "ui/win32/EditText.h"

#include <windows.h>

std::wstring EditText(std::string_view utf8) {
    std::wstring wide;
    if (!utf8.empty()) {
        const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
        wide.resize(size_t(n));
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), n);
    }
    std::wstring text;
    text.reserve(wide.size() + wide.size() / 16);
    for (size_t i = 0; i < wide.size(); ++i) {
        const wchar_t c = wide[i];
        if (c == L'\r' && i + 1 < wide.size() && wide[i + 1] == L'\n')
            continue;  // the CR of a CR LF: the LF brings its own
        if (c == L'\n')
            text += L"\r\n";
        else if (c == L'\0')
            text += L'\x2400';
        else
            text += c;
    }
    return text;
}

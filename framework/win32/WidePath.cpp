#include "framework/win32/WidePath.h"

#include <windows.h>

#include <vector>

namespace {

const wchar_t kVerbatimPrefix[] = L"\\\\?\\";

std::wstring FullPath(const std::wstring& path) {
    DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return std::wstring();
    std::vector<wchar_t> full(n + 1);
    n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size())
        return std::wstring();
    return std::wstring(full.data(), n);
}

}  // namespace

std::wstring Widen(const std::string& text) {
    if (text.empty())
        return std::wstring();
    int n =
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string Narrow(const wchar_t* text) {
    int n = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return std::string();
    std::string narrow(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], n, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(n - 1));
    return narrow;
}

std::string Narrow(const wchar_t* text, size_t length) {
    if (length == 0)
        return std::string();
    const int in = static_cast<int>(length);
    int n = ::WideCharToMultiByte(CP_ACP, 0, text, in, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, in, &narrow[0], n, nullptr, nullptr);
    return narrow;
}

std::wstring VerbatimPath(const std::wstring& path) {
    if (path.rfind(kVerbatimPrefix, 0) == 0)
        return path;
    std::wstring absolute = FullPath(path);
    if (absolute.empty())
        return absolute;
    // "\\.\" names a device, which no file path leads to.
    if (absolute.rfind(L"\\\\.\\", 0) == 0)
        return std::wstring();
    if (absolute.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + absolute.substr(2);
    return kVerbatimPrefix + absolute;
}

std::wstring WidePath(const std::string& path) {
    std::wstring wide = Widen(path);
    // Short paths stay as typed, so that relative paths and the usual parsing rules hold.
    if (wide.size() < MAX_PATH - 12 || wide.rfind(kVerbatimPrefix, 0) == 0)
        return wide;
    // A pattern's wildcards survive GetFullPathNameW; only the prefix is added.
    std::wstring verbatim = VerbatimPath(wide);
    return verbatim.empty() ? wide : verbatim;
}

#pragma once

#include <string_view>

// How this platform writes paths. Windows takes either slash; POSIX only the forward one.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
inline bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}
// Names compare as the file system compares them: here without regard to ASCII case.
inline bool SameFileName(std::string_view a, std::string_view b) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i]))
            return false;
    return true;
}
#else
constexpr char kPathSeparator = '/';
inline bool IsPathSeparator(char c) {
    return c == '/';
}
inline bool SameFileName(std::string_view a, std::string_view b) {
    return a == b;
}
#endif

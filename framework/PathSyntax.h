#pragma once

// How this platform writes paths. Windows takes either slash; POSIX only the forward one.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
inline bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}
#else
constexpr char kPathSeparator = '/';
inline bool IsPathSeparator(char c) {
    return c == '/';
}
#endif

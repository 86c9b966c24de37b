#pragma once

#include <cstddef>
#include <string>

// The program's texts are single-byte, in the active code page (UTF-8 under the program's
// manifest). The platform layer speaks to the file system in UTF-16 so that names and paths of
// any length work: a long path gets the "\\?\" prefix that lifts the 260-character limit.
std::wstring WidePath(const std::string& path);
std::wstring Widen(const std::string& text);
std::string Narrow(const wchar_t* text);
std::string Narrow(const wchar_t* text, size_t length);

// The absolute form of a path that the system takes literally ("\\?\C:\dir", "\\?\UNC\srv\share"):
// names appended to it reach exactly the listed entry, trailing dots and blanks, device names
// ("nul.c") and all. Empty when the path cannot be made absolute.
std::wstring VerbatimPath(const std::wstring& path);

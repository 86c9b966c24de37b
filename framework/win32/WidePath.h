#pragma once

#include <string>

// The program's texts are single-byte, in the active code page (UTF-8 under the program's
// manifest). The platform layer speaks to the file system in UTF-16 so that names and paths of
// any length work: a long path gets the "\\?\" prefix that lifts the 260-character limit.
std::wstring WidePath(const std::string& path);
std::wstring Widen(const std::string& text);
std::string Narrow(const wchar_t* text);

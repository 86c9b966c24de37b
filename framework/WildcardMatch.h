#pragma once

#include <string_view>

// Matches a file name against a directory-search pattern, as the Windows directory search does:
//   "*"  any run of characters, also none      "*.cpp" matches a.cpp, A.CPP, .cpp; not a.cppx
//   "?"  exactly one character                 "a?b" matches axb, not ab
//   ASCII letters match without regard to case; other bytes only themselves
//   "*.*" matches every name, names without a dot included
//   a pattern ending in ".*" also matches the name without that extension: "foo.*" matches foo
// An empty pattern matches nothing.
bool WildcardMatch(std::string_view pattern, std::string_view name);

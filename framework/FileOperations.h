#pragma once

#include <string>

// Makes `to` a copy of `from`, replacing a file of that name: the copy gets the original's
// content, last-write time and permissions. The copy is made under a temporary name beside `to`
// and takes its place when whole, so a file named `to` is always whole.
[[nodiscard]] bool CopyFileReplacing(const std::string& from, const std::string& to);

// Rewrites the existing file `to` in place with the content of `from`. `to` keeps its
// identity, owner, permissions, attributes and hard links; its last-write time becomes now.
[[nodiscard]] bool OverwriteFileContent(const std::string& from, const std::string& to);

// Removes a file, or an empty folder of that name.
[[nodiscard]] bool RemoveFile(const std::string& path);

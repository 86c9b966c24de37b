#pragma once

#include <string>
#include <string_view>

// A file's full path, split into its folder, base name and extension:
//   "src/a.b.txt" -> folder "src/", base name "a.b", extension ".txt"
//   "src/Makefile" -> folder "src/", base name "Makefile", extension ""
// The extension starts at the name's last dot; a name that begins with its only dot
// (".profile") has an empty base name.
class TFileName {
public:
    TFileName() = default;
    explicit TFileName(std::string fullPath);

    const std::string& FullPath() const { return path_; }
    std::string_view Folder() const;            // up to and including the last separator
    std::string_view BaseName() const;          // the name up to its last dot
    std::string_view Extension() const;         // from the last dot on, dot included
    std::string_view NameAndExtension() const;  // the name without its folder

    // Replaces the base name, keeping the folder and the extension.
    void SetBaseName(std::string_view baseName);

private:
    void Split();

    std::string path_;
    size_t nameStart_ = 0;
    size_t extStart_ = 0;
};

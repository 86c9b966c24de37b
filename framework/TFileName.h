#pragma once

#include <string>
#include <string_view>

class TFolder;

// A file's full path, split into its folder, base name and extension:
//   "src/a.b.txt" -> folder "src/", base name "a.b", extension ".txt"
//   "src/Makefile" -> folder "src/", base name "Makefile", extension ""
// The extension starts at the name's last dot; a name that begins with its only dot
// (".profile") has an empty base name.
//
// A name that the walk hands over also knows where the walk found it: the open folder it lies
// in, so that calls which act on it need not look the folder's path up again, and whether the
// walk saw a regular file under it at that moment. That knowledge belongs to the hand-over
// alone: a copy (or a move) of the name is a plain path, since it may outlive the walk level
// that holds the folder open and the moment the status was read.
class TFileName {
public:
    TFileName() = default;
    explicit TFileName(std::string fullPath);

    const std::string& FullPath() const { return path_; }
    std::string_view Folder() const;            // up to and including the last separator
    std::string_view BaseName() const;          // the name up to its last dot
    std::string_view Extension() const;         // from the last dot on, dot included
    std::string_view NameAndExtension() const;  // the name without its folder

    // Replaces the base name, keeping the folder and the extension. The name is another
    // file's now: what the walk saw under the old one no longer holds.
    void SetBaseName(std::string_view baseName);

    // The open folder the walk found the name in; null for a name made from a path.
    const TFolder* FoundIn() const { return origin_.folder; }
    // True when the walk read the status of this very name as it handed it over and saw a
    // regular file (following a link).
    bool SeenRegular() const { return origin_.regular; }
    // The name relative to FoundIn().
    const char* NameInFolder() const { return path_.c_str() + nameStart_; }
    // For the walk: the name lies directly in `folder`, which stays open while it is handed over.
    void SetFoundIn(const TFolder* folder, bool seenRegular) {
        origin_.folder = folder;
        origin_.regular = seenRegular;
    }

private:
    // Empty in every copy; see above.
    struct Origin {
        Origin() = default;
        Origin(const Origin&) {}
        Origin& operator=(const Origin&) {
            folder = nullptr;
            regular = false;
            return *this;
        }
        const TFolder* folder = nullptr;
        bool regular = false;
    };

    void Split();

    std::string path_;
    size_t nameStart_ = 0;
    size_t extStart_ = 0;
    Origin origin_;
};

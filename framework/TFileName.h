#pragma once

#include <string>
#include <string_view>

#include "framework/FileIdentity.h"

class TFile;
class TFolder;

// A file's full path, split into its folder, base name and extension:
//   "src/a.b.txt" -> folder "src/", base name "a.b", extension ".txt"
//   "src/Makefile" -> folder "src/", base name "Makefile", extension ""
// The extension starts at the name's last dot; a name that begins with its only dot
// (".profile") has an empty base name.
//
// A name that the walk hands over also knows where the walk found it: the open folder it is
// listed in, the file it saw there (its identity), and, for a link, the open folder that holds
// the link's target and the target's name there. Calls that act on it go through those folders,
// never by its path looked up again, so that they reach the file the walk saw or fail. That
// knowledge belongs to the hand-over alone: a copy (or a move) of the name is a plain path, since
// it may outlive the walk level that holds the folders open.
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

    // The open folder the walk listed the name in; null for a name made from a path.
    const TFolder* FoundIn() const { return origin_.folder; }
    // The open folder that holds the file itself: the link target's folder for a link.
    const TFolder* Holder() const { return origin_.holder ? origin_.holder : origin_.folder; }
    // The file's name in Holder(): the target's name for a link.
    const char* NameInHolder() const {
        return origin_.holderName ? origin_.holderName : NameInFolder();
    }
    // The name relative to FoundIn().
    const char* NameInFolder() const { return path_.c_str() + nameStart_; }
    // True when the walk read the file's status as it handed the name over and saw a regular
    // file, `Identity()`.
    bool SeenRegular() const { return origin_.folder != nullptr; }
    const FileIdentity& Identity() const { return origin_.identity; }
    // Whether the walk reached the file through a link.
    bool ThroughLink() const { return origin_.holder != nullptr; }

    // For the walk: the name lies in `folder`, which stays open while it is handed over, and is
    // the regular file `identity`.
    void SetFoundIn(const TFolder* folder, const FileIdentity& identity) {
        origin_.folder = folder;
        origin_.identity = identity;
    }
    // For the walk: the file is open in `file` already, which stays open while it is handed
    // over; TFile::OpenRead takes it from there.
    void SetOpened(TFile* file) { origin_.opened = file; }
    TFile* Opened() const { return origin_.opened; }
    // For the walk: the file's stamp, read as it was handed over.
    void SetSeenStamp(uint64_t size, int64_t lastWrite) {
        origin_.stamped = true;
        origin_.size = size;
        origin_.lastWrite = lastWrite;
    }
    // The stamp the walk read as it handed the file over, or else the one the listing of its
    // folder tells now (TFolder::ListedStamp); false when there is neither.
    bool SeenStamp(FileStamp& stamp) const;
    // Whether a stamp was given with SetSeenStamp.
    bool StampGiven() const { return origin_.stamped; }
    // For the walk: the name is a link to `name` in `holder`, which stays open as long.
    void SetLinkTarget(const TFolder* holder, const char* name) {
        origin_.holder = holder;
        origin_.holderName = name;
    }

private:
    // Empty in every copy; see above.
    struct Origin {
        Origin() = default;
        Origin(const Origin&) {}
        Origin& operator=(const Origin&) {
            folder = holder = nullptr;
            holderName = nullptr;
            identity = FileIdentity();
            stamped = false;
            opened = nullptr;
            return *this;
        }
        const TFolder* folder = nullptr;
        const TFolder* holder = nullptr;
        const char* holderName = nullptr;
        FileIdentity identity;
        TFile* opened = nullptr;
        bool stamped = false;
        uint64_t size = 0;
        int64_t lastWrite = 0;
    };

    void Split();

    std::string path_;
    size_t nameStart_ = 0;
    size_t extStart_ = 0;
    Origin origin_;
};

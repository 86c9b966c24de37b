#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

#include "framework/FileIdentity.h"

// What one name in a folder is, links not followed: a link is a link (kAttrLink), whatever it
// leads to.
struct EntryStatus {
    uint32_t attributes =
        0;  // FileAttribute bits; kAttrSpecial for what is neither file nor folder
    FileIdentity identity;
    // The length and last-write time read with the rest, where the same call gave them.
    bool stamped = false;
    uint64_t size = 0;
    int64_t lastWrite = 0;
};

using FolderSet = std::unordered_set<FileIdentity, FileIdentityHash>;

// A folder held open for one level of a walk. Its entries are read once (List), so that every
// search of it sees the same names, and nothing made in it afterwards (by the run itself, or by
// anyone) is found by a later search. Names it lists are acted on relative to it, never by a
// path looked up again: a folder renamed or replaced by a link meanwhile does not redirect what
// is done. On POSIX it holds a descriptor; on Windows a handle and its path.
class TFolder {
public:
    TFolder();
    ~TFolder();
    TFolder(const TFolder&) = delete;
    TFolder& operator=(const TFolder&) = delete;
    TFolder(TFolder&&) noexcept;
    TFolder& operator=(TFolder&&) noexcept;

    // The walk's start, by path: a link there is followed, since the user named it. False when
    // `path` cannot be opened as a folder. A trailing separator changes nothing.
    [[nodiscard]] bool Open(const std::string& path);
    // The folder `name` listed in `parent`, never through a link: a link that took the name
    // since the listing fails the open.
    [[nodiscard]] bool OpenSubfolder(const TFolder& parent, const char* name);

    // Reads every entry once, "." and ".." left out; later calls read nothing. False when the
    // folder cannot be read (what was read stays).
    bool List() const;
    size_t EntryCount() const;
    const char* EntryName(size_t index) const;
    // Whether the listing alone says the entry is a folder (not a link to one) or a link; a file
    // system that does not say is asked (a status read).
    bool EntryIsFolder(size_t index) const;
    bool EntryIsLink(size_t index) const;
    // Whether the listing itself says the entry is a regular file, so that it can be opened
    // without a status read first (TFile::OpenListed). False where the listing does not say.
    bool EntryIsFile(size_t index) const;
    // The status of a listed name, links not followed.
    [[nodiscard]] bool EntryStatusOf(size_t index, EntryStatus& status) const;

    // Follows the link `name` of this folder, link after link, to what it finally names: opens
    // the folder that holds that into `holder` and gives its name there. False for a dangling
    // link, a circle of links, or more than 40 links in a row.
    [[nodiscard]] bool FollowLink(const char* name, TFolder& holder, std::string& finalName) const;
    // The status of `name` in this folder, links not followed.
    [[nodiscard]] bool StatusOf(const char* name, EntryStatus& status) const;

    // The stamp of the file `identity`, listed as `name`, as a listing of the folder tells it,
    // where the listing has lengths and times (Windows) and the walk read no status per file.
    // Read again when the walk has entered a subfolder since, or when older than kStampAgeMs,
    // so that it is the file's as the walk hands it over, as a status read then would be.
    // False where no listing tells it, or `name` no longer lists that file.
    [[nodiscard]] bool ListedStamp(const char* name,
                                   const FileIdentity& identity,
                                   FileStamp& stamp) const;
    static constexpr int64_t kStampAgeMs = 10;

    // A private folder of this user's at an absolute `path`: made, with its missing parents,
    // readable by its owner alone; refused when it is a link, another user's, or open to others.
    [[nodiscard]] bool OpenPrivate(const std::string& path);
    // The folder at an absolute path, opened without following a link anywhere on the way, so
    // that a link planted in the path since cannot lead elsewhere.
    [[nodiscard]] bool OpenWithoutLinks(const std::string& path);
    // Makes the new folder `name` here, private to its owner, and opens it into `sub`.
    [[nodiscard]] bool MakeSubfolder(const char* name, TFolder& sub) const;
    // Puts the folder's entries (names made, removed or renamed in it) on the disk.
    bool Sync() const;
    // Removes `name` here, with everything below it when it is a folder; a link is removed,
    // never followed.
    bool RemoveTree(const char* name) const;

    // Whether this folder is one of `inside` or lies below one of them, by identity: its parents
    // are followed up until one of them is in the set or the file system's root is reached.
    bool LiesWithin(const FolderSet& inside) const;

    // The path as given to Open, or the parent's path and the name. On Windows, where calls go
    // by path, the one the system resolved at the open, in the verbatim form ("\\?\C:\dir")
    // that takes the names appended to it literally.
    const std::string& Path() const { return path_; }
    // Where the open folder is now, links resolved, ending with a separator. False where the
    // system cannot say.
    [[nodiscard]] bool RealPath(std::string& path) const;
    // Of the folder that is open, whatever path or link reached it.
    [[nodiscard]] bool GetIdentity(FileIdentity& identity) const;
    // Whether a folder is open.
    bool IsOpen() const;
    // The descriptor on POSIX; -1 on Windows.
    int Descriptor() const;
    // The descriptor or the HANDLE, for the platform layer's own use.
    intptr_t NativeHandle() const;
    // Different for every folder opened in this process, so that a new folder can be told from
    // the last one, whatever the address or path it comes with.
    uint64_t Serial() const { return serial_; }

private:
    struct Impl;
    static uint64_t NextSerial() {
        static std::atomic<uint64_t> last{0};
        return ++last;
    }

    std::string path_;
    std::unique_ptr<Impl> impl_;
    uint64_t serial_ = 0;
};

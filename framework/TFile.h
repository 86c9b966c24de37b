#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/FileIdentity.h"

class TFileName;
class TFolder;
struct EntryStatus;

// An open file. Every failure is a false (or negative) result; a write counts only once Close
// has reported success, since some file systems only report a full disk there.
class TFile {
public:
    TFile() = default;
    ~TFile();
    TFile(TFile&& other) noexcept;
    TFile& operator=(TFile&& other) noexcept;
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    // For reading. Other programs may read it meanwhile, but not write it (Windows). Only a
    // regular file opens: a FIFO or a device that has taken a file's name is refused.
    [[nodiscard]] bool OpenRead(const std::string& path);
    // The same for a name the walk may have handed over: opened in the folder that holds it,
    // without following a link there (the walk has followed the links it meant to), and only
    // when it is still the file the walk saw.
    [[nodiscard]] bool OpenRead(const TFileName& file);
    // A file of a listed or private folder, for reading, its name not followed if a link.
    [[nodiscard]] bool OpenIn(const TFolder& folder, const char* name);
    // A name the folder's listing gives as a regular file (TFolder::EntryIsFile): opened for
    // reading, not followed if a link, and its status read from the open file, so that the walk
    // decides on it with one open and one status read instead of a status read by name before
    // and another after. Whatever `status` says, only a regular file stays open. False when it
    // cannot be opened (gone, a link now, not readable): the walk asks by name then.
    [[nodiscard]] bool OpenListed(const TFolder& folder, const char* name, EntryStatus& status);
    // Makes the new file `name` in `folder`, private to its owner, and opens it for writing;
    // an existing name, a link included, is refused.
    [[nodiscard]] bool CreateIn(const TFolder& folder, const char* name);
    // Writes what was written to the disk, the file's status included.
    [[nodiscard]] bool Sync();
    // Makes a new, empty file with a unique name, prefix "TFN", in the user's temporary folder,
    // opens it for writing and returns its name.
    [[nodiscard]] bool CreateTemp(std::string& name);

    // Bytes read, 0 at the end of the file, -1 on an error.
    [[nodiscard]] long long Read(void* buffer, size_t size);
    // The same from `offset` on, leaving the position that Read goes on from where it was.
    [[nodiscard]] long long ReadAt(uint64_t offset, void* buffer, size_t size);
    [[nodiscard]] bool WriteAll(const void* data, size_t size);
    [[nodiscard]] bool Close();

    // The version of the file as it was opened (read at the open where the platform reads it
    // anyway, otherwise at the first call).
    [[nodiscard]] bool GetStamp(FileStamp& stamp) const;

    bool IsOpen() const { return handle_ != kNone; }
    // The descriptor or HANDLE, for the platform layer's own use.
    intptr_t NativeHandle() const { return handle_; }

private:
    // Takes an open file and the stamp read from it, closing what was open before.
    void Adopt(intptr_t handle, const FileStamp& stamp) {
        *this = TFile();
        handle_ = handle;
        stamp_ = stamp;
        stamped_ = true;
    }

    static constexpr intptr_t kNone = -1;
    intptr_t handle_ = kNone;  // a file descriptor or a HANDLE
    mutable FileStamp stamp_;
    mutable bool stamped_ = false;
    // Windows: where Read goes on from, where it ends without asking (for a file that nobody can
    // write while it is open), and where the handle's own position is, as far as known. A read
    // where the handle is needs no offset, which costs Wine a round trip to its server; one
    // elsewhere (ReadAt) is one call, not a seek there and back.
    static constexpr uint64_t kUnknown = UINT64_MAX;
    uint64_t position_ = 0;
    uint64_t end_ = kUnknown;
    uint64_t pointer_ = 0;
};

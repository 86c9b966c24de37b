#pragma once

#include <memory>
#include <string>

#include "framework/FileIdentity.h"

class TFileNameIterator;

// A folder held open for one level of a walk: its searches run over it (TFileNameIterator),
// and the names it hands over can be acted on relative to it, without the folder's path being
// looked up again for each. On POSIX it holds a descriptor; on Windows, whose searches take
// paths, only the path.
class TFolder {
public:
    TFolder() = default;
    ~TFolder();
    TFolder(const TFolder&) = delete;
    TFolder& operator=(const TFolder&) = delete;

    // False when `path` cannot be opened as a folder (Windows: never, a missing folder just
    // finds nothing). A trailing separator changes nothing.
    [[nodiscard]] bool Open(const std::string& path);
    // The path as given to Open.
    const std::string& Path() const { return path_; }
    // Of the folder that is open, whatever path or link reached it.
    [[nodiscard]] bool GetIdentity(FileIdentity& identity) const;
    // The descriptor on POSIX; -1 on Windows.
    int Descriptor() const { return fd_; }

private:
    friend class TFileNameIterator;

    std::string path_;
    int fd_ = -1;
    // One search at a time reads the folder; a new search ends the one before it. The read
    // buffer outlives the search so that the folder's next search reuses it.
    const TFileNameIterator* search_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    bool read_ = false;  // the descriptor's position is no longer at the folder's start
};

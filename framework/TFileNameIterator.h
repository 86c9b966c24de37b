#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TFolder;

// A directory search: a folder and a wildcard name pattern (see WildcardMatch.h). Each search
// reads the folder anew, so it finds what was made there since an earlier one. Entries come back
// in the directory's own order, "." and ".." included where the platform lists them. A folder
// that cannot be read yields nothing.
class TFileNameIterator {
public:
    // A folder, a separator and a pattern; the search opens the folder itself.
    explicit TFileNameIterator(const std::string& pattern);
    // A search of an open folder, which must outlive it. One search reads a folder at a time:
    // starting another over the same folder ends this one.
    TFileNameIterator(TFolder& folder, const std::string& pattern);
    ~TFileNameIterator();
    TFileNameIterator(const TFileNameIterator&) = delete;
    TFileNameIterator& operator=(const TFileNameIterator&) = delete;

    // Moves to the next matching entry; false at the end.
    bool Next();
    // The current entry's name, without folder; valid until the next call of Next.
    const char* Name() const;
    // Cheaper than Attributes() where the platform must ask for the full status.
    bool IsDirectory() const;
    // Read as the call is made (POSIX: the entry's status, following links).
    uint32_t Attributes() const;

private:
    void Start(TFolder& folder, const std::string& pattern);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

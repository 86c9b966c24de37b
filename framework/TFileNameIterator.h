#pragma once

#include <cstdint>
#include <memory>
#include <string>

// A directory search: a folder, a separator and a wildcard name pattern (see WildcardMatch.h).
// Entries come back in the directory's own order, "." and ".." included where the platform
// lists them. A folder that cannot be read yields nothing.
class TFileNameIterator {
public:
    explicit TFileNameIterator(const std::string& pattern);
    ~TFileNameIterator();
    TFileNameIterator(const TFileNameIterator&) = delete;
    TFileNameIterator& operator=(const TFileNameIterator&) = delete;

    // Moves to the next matching entry; false at the end.
    bool Next();
    // The current entry's name, without folder; valid until the next call of Next.
    const char* Name() const;
    // Cheaper than Attributes() where the platform must ask for the full status.
    bool IsDirectory() const;
    uint32_t Attributes() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

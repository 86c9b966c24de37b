#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class TFolder;

// A search of one folder's listing by a wildcard name pattern (see WildcardMatch.h). Entries
// come back in the listing's order, "." and ".." left out. A folder that cannot be read yields
// nothing.
class TFileNameIterator {
public:
    // A folder, a separator and a pattern; the search opens and lists the folder itself.
    explicit TFileNameIterator(const std::string& pattern);
    // A search of an open folder's listing (TFolder::List), which must outlive it.
    TFileNameIterator(const TFolder& folder, const std::string& pattern);
    ~TFileNameIterator();
    TFileNameIterator(const TFileNameIterator&) = delete;
    TFileNameIterator& operator=(const TFileNameIterator&) = delete;

    // Moves to the next matching entry; false at the end.
    bool Next();
    // The current entry's name, without folder; "" when there is none.
    const char* Name() const;
    // The current entry's place in the folder's listing.
    size_t Index() const { return index_; }
    // The entry's own attributes, links not followed (a link has kAttrLink); read as the call
    // is made where the listing does not carry them (POSIX: a status read).
    uint32_t Attributes() const;

private:
    std::unique_ptr<TFolder> own_;  // for a search by path
    const TFolder* folder_ = nullptr;
    std::string pattern_;
    size_t next_ = 0;
    size_t index_ = 0;
    bool current_ = false;
};

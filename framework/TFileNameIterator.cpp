#include "framework/TFileNameIterator.h"

#include "framework/FileAttributes.h"
#include "framework/PathSyntax.h"
#include "framework/TFolder.h"
#include "framework/WildcardMatch.h"

TFileNameIterator::TFileNameIterator(const std::string& pattern) : own_(new TFolder) {
    size_t separator = pattern.size();
    while (separator > 0 && !IsPathSeparator(pattern[separator - 1]))
        --separator;
#ifdef _WIN32
    // "C:*.c" searches the drive's current folder.
    if (separator == 0 && pattern.size() >= 2 && pattern[1] == ':')
        separator = 2;
#endif
    std::string folder = pattern.substr(0, separator);
    if (folder.empty())
        folder = ".";
    if (own_->Open(folder) && own_->List()) {
        folder_ = own_.get();
        pattern_ = pattern.substr(separator);
    }
}

TFileNameIterator::TFileNameIterator(const TFolder& folder, const std::string& pattern)
    : folder_(&folder), pattern_(pattern) {}

TFileNameIterator::~TFileNameIterator() = default;

bool TFileNameIterator::Next() {
    current_ = false;
    if (!folder_)
        return false;
    const size_t count = folder_->EntryCount();
    while (next_ < count) {
        const size_t i = next_++;
        if (WildcardMatch(pattern_, folder_->EntryName(i))) {
            index_ = i;
            current_ = true;
            return true;
        }
    }
    return false;
}

const char* TFileNameIterator::Name() const {
    return current_ ? folder_->EntryName(index_) : "";
}

uint32_t TFileNameIterator::Attributes() const {
    if (!current_)
        return 0;
    EntryStatus status;
    // Gone since the listing: nothing to process.
    return folder_->EntryStatusOf(index_, status) ? status.attributes : kAttrSpecial;
}

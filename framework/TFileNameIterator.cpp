#include "framework/TFileNameIterator.h"

#include "framework/FileAttributes.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"
#include "framework/WildcardMatch.h"

TFileNameIterator::TFileNameIterator(const std::string& pattern) : own_(new TFolder) {
    // The pattern's folder and name part split as a file name's are.
    const TFileName split(pattern);
    const std::string folder(split.Folder());
    if (own_->Open(folder.empty() ? "." : folder) && own_->List()) {
        folder_ = own_.get();
        pattern_ = std::string(split.NameAndExtension());
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

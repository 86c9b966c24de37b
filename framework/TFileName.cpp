#include "framework/TFileName.h"

#include "framework/PathSyntax.h"
#include "framework/TFolder.h"

TFileName::TFileName(std::string fullPath) : path_(std::move(fullPath)) {
    Split();
}

void TFileName::Split() {
    nameStart_ = path_.size();
    while (nameStart_ > 0 && !IsPathSeparator(path_[nameStart_ - 1]))
        --nameStart_;
#ifdef _WIN32
    // A drive designator ("C:name") belongs to the folder part.
    if (nameStart_ == 0 && path_.size() >= 2 && path_[1] == ':')
        nameStart_ = 2;
#endif
    size_t dot = path_.rfind('.');
    extStart_ = (dot == std::string::npos || dot < nameStart_) ? path_.size() : dot;
}

std::string_view TFileName::Folder() const {
    return std::string_view(path_).substr(0, nameStart_);
}

std::string_view TFileName::BaseName() const {
    return std::string_view(path_).substr(nameStart_, extStart_ - nameStart_);
}

std::string_view TFileName::Extension() const {
    return std::string_view(path_).substr(extStart_);
}

std::string_view TFileName::NameAndExtension() const {
    return std::string_view(path_).substr(nameStart_);
}

void TFileName::SetBaseName(std::string_view baseName) {
    path_.replace(nameStart_, extStart_ - nameStart_, baseName);
    Split();
    origin_ = Origin();
}

bool TFileName::SeenStamp(FileStamp& stamp) const {
    if (origin_.stamped) {
        stamp.identity = origin_.identity;
        stamp.size = origin_.size;
        stamp.lastWrite = origin_.lastWrite;
        return true;
    }
    // A link's target lies in another folder than the one whose listing named it.
    return origin_.folder && !origin_.holder &&
           origin_.folder->ListedStamp(NameInFolder(), origin_.identity, stamp);
}

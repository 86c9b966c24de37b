#include "framework/TFileNameIterator.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "framework/FileAttributes.h"
#include "framework/WildcardMatch.h"

struct TFileNameIterator::Impl {
    DIR* dir = nullptr;
    std::string pattern;
    const dirent* entry = nullptr;

    ~Impl() {
        if (dir)
            ::closedir(dir);
    }
    // Follows links: a link to a folder is a folder, a link to a file is that file.
    bool Stat(struct stat& st) const {
        return ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0;
    }
};

TFileNameIterator::TFileNameIterator(const std::string& pattern) : impl_(new Impl) {
    size_t slash = pattern.rfind('/');
    std::string folder;
    if (slash == std::string::npos) {
        folder = ".";
        impl_->pattern = pattern;
    } else {
        folder = slash == 0 ? "/" : pattern.substr(0, slash);
        impl_->pattern = pattern.substr(slash + 1);
    }
    impl_->dir = ::opendir(folder.c_str());
}

TFileNameIterator::~TFileNameIterator() = default;

bool TFileNameIterator::Next() {
    impl_->entry = nullptr;
    if (!impl_->dir)
        return false;
    while (const dirent* e = ::readdir(impl_->dir)) {
        if (WildcardMatch(impl_->pattern, e->d_name)) {
            impl_->entry = e;
            return true;
        }
    }
    return false;
}

const char* TFileNameIterator::Name() const {
    return impl_->entry ? impl_->entry->d_name : "";
}

bool TFileNameIterator::IsDirectory() const {
    if (!impl_->entry)
        return false;
    switch (impl_->entry->d_type) {
    case DT_DIR:
        return true;
    case DT_LNK:
    case DT_UNKNOWN: {
        struct stat st;
        return impl_->Stat(st) && S_ISDIR(st.st_mode);
    }
    default:
        return false;
    }
}

uint32_t TFileNameIterator::Attributes() const {
    if (!impl_->entry)
        return 0;
    uint32_t attrs = 0;
    if (impl_->entry->d_name[0] == '.')
        attrs |= kAttrHidden;
    struct stat st;
    if (!impl_->Stat(st))
        return attrs | kAttrSpecial;  // vanished, or a dangling link
    if (S_ISDIR(st.st_mode))
        attrs |= kAttrDirectory;
    else if (!S_ISREG(st.st_mode))
        attrs |= kAttrSpecial;
    if (!(st.st_mode & S_IWUSR))
        attrs |= kAttrReadOnly;
    return attrs;
}

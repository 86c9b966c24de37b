#include "framework/TFileNameIterator.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/FileAttributes.h"
#include "framework/TFolder.h"
#include "framework/WildcardMatch.h"

namespace {

// What glibc's own directory streams read at a time.
constexpr size_t kBufferSize = 32 * 1024;

}  // namespace

// The folder is read with getdents64 straight into the folder's own buffer: a directory stream
// would stat the folder again and allocate its buffer anew for every search.
struct TFileNameIterator::Impl {
    TFolder own;  // for a search by path
    TFolder* folder = nullptr;
    std::string pattern;
    size_t next = 0;  // the buffer's unread entries
    size_t end = 0;
    const struct dirent64* entry = nullptr;

    // Null once a newer search of the folder has taken over its buffer.
    const struct dirent64* Current(const TFileNameIterator* self) const {
        return entry && folder->search_ == self ? entry : nullptr;
    }
    // Follows links: a link to a folder is a folder, a link to a file is that file.
    bool Stat(struct stat& st) const {
        return ::fstatat(folder->fd_, entry->d_name, &st, 0) == 0;
    }
};

TFileNameIterator::TFileNameIterator(const std::string& pattern) : impl_(new Impl) {
    size_t slash = pattern.rfind('/');
    if (slash == std::string::npos) {
        if (impl_->own.Open("."))
            Start(impl_->own, pattern);
    } else if (impl_->own.Open(slash == 0 ? "/" : pattern.substr(0, slash))) {
        Start(impl_->own, pattern.substr(slash + 1));
    }
}

TFileNameIterator::TFileNameIterator(TFolder& folder, const std::string& pattern)
    : impl_(new Impl) {
    Start(folder, pattern);
}

void TFileNameIterator::Start(TFolder& folder, const std::string& pattern) {
    if (folder.fd_ < 0)
        return;
    folder.search_ = nullptr;  // whatever search was under way has ended
    if (folder.read_ && ::lseek(folder.fd_, 0, SEEK_SET) != 0)
        return;
    if (!folder.buffer_)
        folder.buffer_.reset(new char[kBufferSize]);
    folder.search_ = this;
    impl_->folder = &folder;
    impl_->pattern = pattern;
}

TFileNameIterator::~TFileNameIterator() {
    if (impl_->folder && impl_->folder->search_ == this)
        impl_->folder->search_ = nullptr;
}

bool TFileNameIterator::Next() {
    Impl& s = *impl_;
    s.entry = nullptr;
    TFolder* folder = s.folder;
    if (!folder || folder->search_ != this)
        return false;
    for (;;) {
        while (s.next < s.end) {
            auto e = reinterpret_cast<const struct dirent64*>(folder->buffer_.get() + s.next);
            s.next += e->d_reclen;
            if (WildcardMatch(s.pattern, e->d_name)) {
                s.entry = e;
                return true;
            }
        }
        folder->read_ = true;
        ssize_t n = ::getdents64(folder->fd_, folder->buffer_.get(), kBufferSize);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            folder->search_ = nullptr;  // the end, or a folder that cannot be read further
            return false;
        }
        s.next = 0;
        s.end = static_cast<size_t>(n);
    }
}

const char* TFileNameIterator::Name() const {
    const struct dirent64* e = impl_->Current(this);
    return e ? e->d_name : "";
}

bool TFileNameIterator::IsDirectory() const {
    const struct dirent64* e = impl_->Current(this);
    if (!e)
        return false;
    switch (e->d_type) {
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
    const struct dirent64* e = impl_->Current(this);
    if (!e)
        return 0;
    uint32_t attrs = 0;
    if (e->d_name[0] == '.')
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

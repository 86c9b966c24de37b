#include "framework/TFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "framework/FileAttributes.h"
#include "framework/FileError.h"
#include "framework/posix/FileHelpers.h"
#include "framework/posix/UniqueFd.h"

namespace {

// What glibc's own directory streams read at a time.
constexpr size_t kReadSize = 32 * 1024;
// As the kernel's own limit on links followed in one lookup.
constexpr int kMaxLinks = 40;

int OpenAt(int folder, const char* name, int flags) {
    int fd;
    do {
        fd = ::openat(folder, name, flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool ReadLinkAt(int folder, const char* name, std::string& target) {
    std::string buffer(256, '\0');
    for (;;) {
        ssize_t n = ::readlinkat(folder, name, &buffer[0], buffer.size());
        if (n < 0)
            return false;
        if (static_cast<size_t>(n) < buffer.size()) {
            target.assign(buffer, 0, static_cast<size_t>(n));
            return true;
        }
        if (buffer.size() >= 64 * 1024)
            return false;
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

// The listing is filled by List, which is const: it reads what is there, once.
struct TFolder::Impl {
    // Makes `folder` the folder open at `fd`, known by `path`, new to the program (a new serial).
    static void Adopt(TFolder& folder, UniqueFd fd, std::string path) {
        folder.impl_.reset(new Impl);
        folder.impl_->fd = std::move(fd);
        folder.path_ = std::move(path);
        folder.serial_ = NextSerial();
    }

    UniqueFd fd;
    bool listed = false;
    std::string names;                 // every listed name, each ending with a NUL
    std::vector<uint32_t> offsets;     // where each name starts in `names`
    std::vector<unsigned char> types;  // the listing's d_type of each

    // The status of a listed entry whose type the listing did not give.
    bool Lstat(size_t index, struct stat& st) const {
        return ::fstatat(fd.Get(), names.c_str() + offsets[index], &st, AT_SYMLINK_NOFOLLOW) == 0;
    }
};

TFolder::TFolder() : impl_(new Impl) {}
TFolder::~TFolder() = default;
TFolder::TFolder(TFolder&&) noexcept = default;
TFolder& TFolder::operator=(TFolder&&) noexcept = default;

bool TFolder::Open(const std::string& path) {
    UniqueFd fd(OpenAt(AT_FDCWD, path.c_str(), O_RDONLY | O_DIRECTORY));
    if (!fd)
        return SystemFailure();
    Impl::Adopt(*this, std::move(fd), path);
    return true;
}

bool TFolder::OpenSubfolder(const TFolder& parent, const char* name) {
    UniqueFd fd(OpenAt(parent.Descriptor(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
    if (!fd)
        return SystemFailure();
    impl_.reset(new Impl);
    impl_->fd = std::move(fd);
    serial_ = NextSerial();
    path_ = parent.path_;
    if (!path_.empty() && path_.back() != '/')
        path_ += '/';
    path_ += name;
    return true;
}

bool TFolder::List() const {
    Impl& s = *impl_;
    if (s.listed)
        return true;
    if (!s.fd)
        return false;
    s.listed = true;
    std::unique_ptr<char[]> buffer(new char[kReadSize]);
    for (;;) {
        ssize_t n = ::getdents64(s.fd.Get(), buffer.get(), kReadSize);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0 || SystemFailure();
        for (size_t at = 0; at < static_cast<size_t>(n);) {
            auto e = reinterpret_cast<const struct dirent64*>(buffer.get() + at);
            at += e->d_reclen;
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
                continue;
            s.offsets.push_back(static_cast<uint32_t>(s.names.size()));
            s.names.append(e->d_name, std::strlen(e->d_name) + 1);
            s.types.push_back(e->d_type);
        }
    }
}

size_t TFolder::EntryCount() const {
    return impl_->offsets.size();
}

const char* TFolder::EntryName(size_t index) const {
    return impl_->names.c_str() + impl_->offsets[index];
}

bool TFolder::EntryIsFolder(size_t index) const {
    struct stat st;
    switch (impl_->types[index]) {
        case DT_DIR:
            return true;
        case DT_UNKNOWN:
            return impl_->Lstat(index, st) && S_ISDIR(st.st_mode);
        default:
            return false;
    }
}

bool TFolder::EntryIsLink(size_t index) const {
    struct stat st;
    switch (impl_->types[index]) {
        case DT_LNK:
            return true;
        case DT_UNKNOWN:
            return impl_->Lstat(index, st) && S_ISLNK(st.st_mode);
        default:
            return false;
    }
}

bool TFolder::EntryIsFile(size_t index) const {
    return impl_->types[index] == DT_REG;
}

bool TFolder::EntryStatusOf(size_t index, EntryStatus& status) const {
    return StatusOf(EntryName(index), status);
}

bool TFolder::StatusOf(const char* name, EntryStatus& status) const {
    struct stat st;
    if (::fstatat(Descriptor(), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    status = EntryStatusFrom(name, st);
    return true;
}

intptr_t TFolder::NativeHandle() const {
    return Descriptor();
}

// The walk's status read of each file gives its stamp: a listing tells none here.
bool TFolder::ListedStamp(const char*, const FileIdentity&, FileStamp&) const {
    return false;
}

bool TFolder::FollowLink(const char* name, TFolder& holder, std::string& finalName) const {
    // Resolved one name at a time from descriptors, as the kernel would, so that every folder on
    // the way is the one looked at; O_PATH asks no more than the right to pass through.
    UniqueFd at(OpenAt(Descriptor(), ".", O_PATH | O_DIRECTORY));
    std::string rest = name;
    int links = 0;
    while (at) {
        if (!rest.empty() && rest[0] == '/') {
            at.Reset(OpenAt(AT_FDCWD, "/", O_PATH | O_DIRECTORY));
            const size_t next = rest.find_first_not_of('/');
            rest = next == std::string::npos ? "." : rest.substr(next);
        }
        const size_t slash = rest.find('/');
        const std::string part = rest.substr(0, slash);
        std::string after;
        if (slash != std::string::npos) {
            const size_t next = rest.find_first_not_of('/', slash);
            after = next == std::string::npos ? "." : rest.substr(next);
        }
        struct stat st;
        if (::fstatat(at.Get(), part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return false;
        if (S_ISLNK(st.st_mode)) {
            std::string target;
            if (++links > kMaxLinks || !ReadLinkAt(at.Get(), part.c_str(), target) ||
                target.empty())
                return false;
            rest = after.empty() ? target : target + "/" + after;
            continue;
        }
        if (after.empty()) {
            // The holder is listed by the clean-up of leftovers, which needs a readable folder.
            UniqueFd readable(OpenAt(at.Get(), ".", O_RDONLY | O_DIRECTORY));
            holder.impl_.reset(new Impl);
            holder.impl_->fd = readable ? std::move(readable) : std::move(at);
            holder.path_.clear();
            holder.serial_ = NextSerial();
            finalName = part;
            return true;
        }
        if (!S_ISDIR(st.st_mode))
            return false;
        at.Reset(OpenAt(at.Get(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW));
        rest = after;
    }
    return false;
}

bool TFolder::LiesWithin(const FolderSet& inside) const {
    UniqueFd at(OpenAt(Descriptor(), ".", O_PATH | O_DIRECTORY));
    FileIdentity below;
    for (int depth = 0; at && depth < 4096; ++depth) {
        struct stat st;
        if (::fstat(at.Get(), &st) != 0)
            return false;
        const FileIdentity identity = StampOf(st).identity;
        if (inside.count(identity))
            return true;
        if (depth > 0 && identity == below)
            return false;  // the root of the file system is its own parent
        below = identity;
        at.Reset(OpenAt(at.Get(), "..", O_PATH | O_DIRECTORY));
    }
    return false;
}

bool TFolder::RealPath(std::string& path) const {
    // The kernel's own name for the descriptor's folder.
    const std::string link = "/proc/self/fd/" + std::to_string(Descriptor());
    if (Descriptor() < 0 || !ReadLinkAt(AT_FDCWD, link.c_str(), path) || path.empty() ||
        path[0] != '/')
        return false;
    if (path.back() != '/')
        path += '/';
    return true;
}

namespace {

// Steps from `at` into the folder `name`, never through a link.
UniqueFd Into(int at, const char* name) {
    return UniqueFd(OpenAt(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
}

// Each name of an absolute path, in order; false for a relative path or one with "..".
bool Names(const std::string& path, std::vector<std::string>& names) {
    if (path.empty() || path[0] != '/')
        return false;
    for (size_t start = 1; start < path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string name = path.substr(start, end - start);
        if (name == "..")
            return false;
        if (!name.empty() && name != ".")
            names.push_back(name);
        start = end + 1;
    }
    return true;
}

}  // namespace

bool TFolder::OpenWithoutLinks(const std::string& path) {
    std::vector<std::string> names;
    if (!Names(path, names)) {
        errno = EINVAL;
        return SystemFailure();
    }
    UniqueFd at(OpenAt(AT_FDCWD, "/", O_RDONLY | O_DIRECTORY));
    for (size_t i = 0; at && i < names.size(); ++i)
        at = Into(at.Get(), names[i].c_str());
    if (!at)
        return SystemFailure();
    Impl::Adopt(*this, std::move(at), path);
    return true;
}

bool TFolder::OpenPrivate(const std::string& path) {
    std::vector<std::string> names;
    if (!Names(path, names) || names.empty()) {
        errno = EINVAL;
        return SystemFailure();
    }
    // The folders above the last may be shared ones (/home, ~/.local); they are made private
    // when this makes them, and only entered, never followed as links, either way.
    UniqueFd at(OpenAt(AT_FDCWD, "/", O_RDONLY | O_DIRECTORY));
    for (size_t i = 0; at && i < names.size(); ++i) {
        const char* name = names[i].c_str();
        if (::mkdirat(at.Get(), name, 0700) != 0 && errno != EEXIST)
            return SystemFailure();
        at = Into(at.Get(), name);
    }
    struct stat st;
    if (!at || ::fstat(at.Get(), &st) != 0)
        return SystemFailure();
    if (st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
        errno = EACCES;  // another user's, or open to others: no place for what is kept
        return SystemFailure();
    }
    Impl::Adopt(*this, std::move(at), path);
    return true;
}

bool TFolder::MakeSubfolder(const char* name, TFolder& sub) const {
    if (::mkdirat(Descriptor(), name, 0700) != 0)
        return SystemFailure();
    UniqueFd fd = Into(Descriptor(), name);
    if (!fd)
        return SystemFailure();
    Impl::Adopt(sub, std::move(fd),
                path_ + (path_.empty() || path_.back() == '/' ? "" : "/") + name);
    return true;
}

bool TFolder::Sync() const {
    return ::fsync(Descriptor()) == 0 || SystemFailure();
}

bool TFolder::RemoveTree(const char* name) const {
    if (::unlinkat(Descriptor(), name, 0) == 0)
        return true;
    if (errno != EISDIR && errno != EPERM)
        return errno == ENOENT;
    TFolder sub;
    UniqueFd fd = Into(Descriptor(), name);
    if (!fd)
        return false;
    sub.impl_.reset(new Impl);
    sub.impl_->fd = std::move(fd);
    bool all = sub.List();
    for (size_t i = 0; i < sub.EntryCount(); ++i)
        all = sub.RemoveTree(sub.EntryName(i)) && all;
    return ::unlinkat(Descriptor(), name, AT_REMOVEDIR) == 0 && all;
}

bool TFolder::GetIdentity(FileIdentity& identity) const {
    struct stat st;
    if (!impl_->fd || ::fstat(impl_->fd.Get(), &st) != 0)
        return false;
    identity = StampOf(st).identity;
    return true;
}

int TFolder::Descriptor() const {
    return impl_ ? impl_->fd.Get() : -1;
}

bool TFolder::IsOpen() const {
    return impl_ && impl_->fd;
}

#include "framework/FileReplacement.h"

#include "framework/posix/FileHelpers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// Allocates the first `length` bytes of the file without changing its length or content. A file
// system that cannot allocate ahead is written without it.
bool ReserveSpace(int fd, off_t length) {
    if (length == 0 || ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, length) == 0)
        return true;
    return errno == EOPNOTSUPP || errno == ENOSYS;
}

}  // namespace

struct TFileReplacement::Impl {
    std::string target;  // the file's real path, links resolved
    std::string tempName;
    int fd = -1;
    bool inPlace = false;
    bool prepared = false;  // permissions and owner given
    bool flushed = false;   // on the disk through FlushTogether
    struct stat original {};

    // The new file takes the old one's permissions and owner; an owner that cannot be given
    // means the file is rewritten in place instead, keeping its owner.
    bool Prepare() {
        if (prepared || inPlace)
            return prepared = true;
        const bool sameOwner = original.st_uid == ::geteuid() && original.st_gid == ::getegid();
        if (!sameOwner && ::fchown(fd, original.st_uid, original.st_gid) != 0)
            inPlace = true;
        else if (::fchmod(fd, original.st_mode & 07777) != 0)
            return false;
        return prepared = true;
    }

    ~Impl() {
        if (fd >= 0)
            ::close(fd);
        if (!tempName.empty())
            ::unlink(tempName.c_str());
    }
};

TFileReplacement::TFileReplacement() : impl_(new Impl) {}
TFileReplacement::~TFileReplacement() = default;

bool TFileReplacement::Begin(const std::string& target) {
    Impl& s = *impl_;
    // A link is followed to the file it names, which is what gets replaced.
    if (::lstat(target.c_str(), &s.original) != 0)
        return false;
    s.target = target;
    if (S_ISLNK(s.original.st_mode)) {
        char* real = ::realpath(target.c_str(), nullptr);
        if (!real)
            return false;
        s.target = real;
        std::free(real);
        if (::stat(s.target.c_str(), &s.original) != 0)
            return false;
        // The new content is made beside the target, maybe in a folder no walk cleans: what a
        // killed run left there goes now.
        RemoveStaleReplacements(FolderOf(s.target));
    }
    if (!S_ISREG(s.original.st_mode))
        return false;
    // Hard links must keep sharing the content: those files are rewritten in place.
    s.inPlace = s.original.st_nlink > 1;
    s.fd = CreateHiddenTemp(FolderOf(s.target), s.tempName);
    if (s.fd < 0) {
        // A folder that takes no new file: the content waits in the temporary folder, which no
        // walk cleans, so what a killed run left waiting there goes first.
        s.inPlace = true;
        RemoveStaleReplacements(TemporaryFolder());
        s.fd = CreateHiddenTemp(TemporaryFolder(), s.tempName);
    }
    return s.fd >= 0;
}

bool TFileReplacement::Write(const void* data, size_t size) {
    return impl_->fd >= 0 && WriteAllFd(impl_->fd, data, size);
}

bool TFileReplacement::Commit() {
    Impl& s = *impl_;
    if (s.fd < 0 || !s.Prepare())
        return false;
    if (!s.flushed && ::fsync(s.fd) != 0)
        return false;
    if (s.inPlace) {
        struct stat temp;
        if (::fstat(s.fd, &temp) != 0 || ::lseek(s.fd, 0, SEEK_SET) != 0)
            return false;
        int out = ::open(s.target.c_str(), O_WRONLY | O_CLOEXEC);
        if (out < 0)
            return false;
        // The room for the new content is taken before a byte of the old is overwritten, so that
        // a full disk fails the file while it is still whole; it is cut to length at the end.
        if (!ReserveSpace(out, temp.st_size)) {
            ::close(out);
            return false;
        }
        bool ok = CopyFdContent(s.fd, out);
        ok = ok && ::ftruncate(out, temp.st_size) == 0 && ::fsync(out) == 0;
        ok = (::close(out) == 0) && ok;
        if (!ok)
            return false;
        method_ = Method::InPlace;
    } else {
        if (::rename(s.tempName.c_str(), s.target.c_str()) != 0)
            return false;
        s.tempName.clear();  // it is the file now
        method_ = Method::Rename;
    }
    int fd = s.fd;
    s.fd = -1;
    ::close(fd);
    // The copied-from temporary file is done with at once, not when this object goes.
    if (!s.tempName.empty())
        ::unlink(std::exchange(s.tempName, std::string()).c_str());
    return true;
}

namespace {

// Bytes the whole system holds for writing (dirty or being written), from /proc/meminfo; false
// where that is not known.
bool PendingWriteBytes(uint64_t& bytes) {
    int fd = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[8192];
    ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return false;
    text[n] = '\0';
    int found = 0;
    bytes = 0;
    for (const char* key : {"\nDirty:", "\nWriteback:"}) {
        const char* at = std::strstr(text, key);
        if (!at)
            return false;
        bytes += std::strtoull(at + std::strlen(key), nullptr, 10) * 1024;  // in kB
        ++found;
    }
    return found == 2;
}

}  // namespace

bool TFileReplacement::FlushTogether(TFileReplacement* const* group, size_t count) {
    // A file-system sync writes whatever else waits on that file system too: only worth it for
    // several files, and only while nearly all that waits is ours.
    constexpr uint64_t kOthersAllowance = 16u << 20;
    if (count < 2)
        return false;
    std::vector<std::pair<dev_t, int>> devices;
    uint64_t ours = 0;
    for (size_t i = 0; i < count; ++i) {
        Impl& s = *group[i]->impl_;
        struct stat st;
        if (s.fd < 0 || s.inPlace || !s.Prepare() || s.inPlace || ::fstat(s.fd, &st) != 0)
            return false;
        ours += static_cast<uint64_t>(st.st_size);
        bool seen = false;
        for (const auto& d : devices)
            seen = seen || d.first == st.st_dev;
        if (!seen)
            devices.emplace_back(st.st_dev, s.fd);
    }
    uint64_t pending = 0;
    if (!PendingWriteBytes(pending) || pending > ours + kOthersAllowance)
        return false;
    // syncfs reports a write-back failure of any file of its file system since the descriptor
    // was opened, which covers everything written through these.
    for (const auto& d : devices)
        if (::syncfs(d.second) != 0)
            return false;
    for (size_t i = 0; i < count; ++i)
        group[i]->impl_->flushed = true;
    return true;
}

void TFileReplacement::StartFlush() {
    if (impl_->fd >= 0 && impl_->Prepare())
        (void)::sync_file_range(impl_->fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

int RemoveStaleReplacements(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent* e = ::readdir(dir)) {
        if (!IsReplacementName(e->d_name))
            continue;
        int fd = ::openat(::dirfd(dir), e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st;
        // A live run holds its lock; only an unlocked regular file is a leftover.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::unlinkat(::dirfd(dir), e->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

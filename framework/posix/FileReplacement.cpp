#include "framework/FileReplacement.h"

#include "framework/posix/FileHelpers.h"

#include "framework/FileError.h"
#include "framework/FileLocation.h"
#include "framework/TFile.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"
#include "framework/posix/ExtendedAttributes.h"
#include "framework/posix/UniqueFd.h"

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
    UniqueFd folder;          // holds the file
    std::string name;         // the file's name in `folder`
    FileStamp expected;       // the file as it was opened for reading
    struct stat original {};  // its owner, permissions and links
    UniqueFd fd;              // the new content
    std::string tempName;     // in `folder`, or a whole path in the temporary folder
    bool tempInFolder = true;
    bool inPlace = false;
    bool prepared = false;  // permissions given
    bool flushed = false;   // on the disk through FlushTogether

    // The permissions come last: a write by anyone but root would clear the set-user-id and
    // set-group-id bits again.
    bool Prepare(bool keepTime) {
        if (prepared || inPlace)
            return prepared = true;
        if (::fchmod(fd.Get(), original.st_mode & 07777) != 0)
            return SystemFailure();
        if (keepTime && !KeepTime(fd.Get()))
            return false;
        return prepared = true;
    }

    // After the last write, which would set it anew.
    bool KeepTime(int file) const {
        const struct timespec times[2] = {{0, UTIME_OMIT}, original.st_mtim};
        return ::futimens(file, times) == 0 || SystemFailure();
    }

    // The new file takes the old one's owner and extended attributes (access control lists
    // included) now, the owner first since a change of owner drops file capabilities. What
    // cannot be given means the file is rewritten in place instead, keeping all it has.
    void GiveWhatTheFileHas(int scanned) {
        const bool sameOwner = original.st_uid == ::geteuid() && original.st_gid == ::getegid();
        if (!sameOwner && ::fchown(fd.Get(), original.st_uid, original.st_gid) != 0)
            inPlace = true;
        else if (!CopyExtendedAttributes(scanned, fd.Get(), AclCopy::Include))
            inPlace = true;
    }

    // The name still leads to the file that was read, as it was read.
    bool StillTheFileRead() const {
        struct stat now;
        if (::fstatat(folder.Get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0)
            return SystemFailure();
        if (StampOf(now).identity == expected.identity && !(StampOf(now) == expected))
            return Failure(FileProblem::ChangedMeanwhile);
        return StampOf(now) == expected || Failure(FileProblem::NotTheFileListed);
    }

    bool CopyInPlace(bool keepTime) {
        struct stat temp;
        if (::fstat(fd.Get(), &temp) != 0)
            return SystemFailure();
        UniqueFd out(
            ::openat(folder.Get(), name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat now;
        if (!out || ::fstat(out.Get(), &now) != 0)
            return SystemFailure();
        if (!(StampOf(now) == expected))
            return Failure(StampOf(now).identity == expected.identity
                               ? FileProblem::ChangedMeanwhile
                               : FileProblem::NotTheFileListed);
        // The room for the new content is taken before a byte of the old is overwritten, so that
        // a full disk fails the file while it is still whole; it is cut to length at the end.
        if (!ReserveSpace(out.Get(), temp.st_size))
            return SystemFailure();
        bool ok = CopyFdContent(fd.Get(), out.Get());
        ok = ok && ::ftruncate(out.Get(), temp.st_size) == 0 &&
             (!keepTime || KeepTime(out.Get())) && ::fsync(out.Get()) == 0;
        if (!ok)
            NoteSystemError();
        return (out.Close() || SystemFailure()) && ok;
    }

    void RemoveTemp() {
        if (tempName.empty())
            return;
        if (tempInFolder)
            ::unlinkat(folder.Get(), tempName.c_str(), 0);
        else
            ::unlink(tempName.c_str());
        tempName.clear();
    }

    ~Impl() {
        fd.Reset();
        RemoveTemp();
    }
};

TFileReplacement::TFileReplacement() : impl_(new Impl) {}
TFileReplacement::~TFileReplacement() = default;

bool TFileReplacement::Begin(const TFileName& file, const TFile& scanned, const TFile* model) {
    Impl& s = *impl_;
    const int in = static_cast<int>(scanned.NativeHandle());
    const int like = model ? static_cast<int>(model->NativeHandle()) : in;
    TFolder own;
    const TFolder* folder = nullptr;
    struct stat current;
    if (!scanned.IsOpen() || !scanned.GetStamp(s.expected) || ::fstat(in, &current) != 0 ||
        !S_ISREG(current.st_mode) || (model && !model->IsOpen()) ||
        ::fstat(like, &s.original) != 0 || !LocateFile(file, own, folder, s.name))
        return SystemFailure();
    s.folder.Reset(::fcntl(folder->Descriptor(), F_DUPFD_CLOEXEC, 0));
    if (!s.folder)
        return SystemFailure();
    // A plain path is looked up here, after the read: it must still name the file read.
    if (!file.Holder() && !s.StillTheFileRead())
        return false;
    // Hard links must keep sharing the content: those files are rewritten in place.
    s.inPlace = current.st_nlink > 1;
    s.fd = CreateHiddenTempAt(s.folder.Get(), s.tempName);
    if (!s.fd) {
        // A folder that takes no new file: the content waits in the temporary folder, which no
        // walk cleans, so what a killed run left waiting there goes first.
        s.inPlace = true;
        s.tempInFolder = false;
        RemoveStaleReplacements(TemporaryFolder());
        s.fd = CreateHiddenTemp(TemporaryFolder(), s.tempName);
        return s.fd || SystemFailure();
    }
    if (!s.inPlace)
        s.GiveWhatTheFileHas(like);
    return true;
}

bool TFileReplacement::InPlace() const {
    return impl_->inPlace;
}

bool TFileReplacement::NewStamp(FileStamp& stamp, bool& timeKnown) {
    Impl& s = *impl_;
    struct stat st;
    if (!s.fd || !s.Prepare(keepTime_) || ::fstat(s.fd.Get(), &st) != 0)
        return SystemFailure();
    stamp = StampOf(st);
    timeKnown = !s.inPlace;
    if (s.inPlace) {
        stamp.identity = s.expected.identity;  // the file keeps its own
        stamp.lastWrite = 0;
    }
    return true;
}

bool TFileReplacement::Write(const void* data, size_t size) {
    return (impl_->fd && WriteAllFd(impl_->fd.Get(), data, size)) || SystemFailure();
}

bool TFileReplacement::Commit() {
    Impl& s = *impl_;
    if (!s.fd || !s.Prepare(keepTime_))
        return false;
    if (!s.flushed && ::fsync(s.fd.Get()) != 0)
        return SystemFailure();
    if (s.inPlace) {
        if (!s.CopyInPlace(keepTime_))
            return false;
        method_ = Method::InPlace;
        // The copied-from temporary file is done with at once, not when this object goes.
        s.fd.Reset();
        s.RemoveTemp();
        return true;
    }
    // A file that another program saved since it was opened is that program's: the new
    // content, made from what was read (perhaps a mix of both versions), is dropped. The rename
    // replaces the name itself: whatever took it since, a link included, is never written
    // through.
    struct stat made;
    if (::fstat(s.fd.Get(), &made) != 0 || !s.StillTheFileRead() ||
        ::renameat(s.folder.Get(), s.tempName.c_str(), s.folder.Get(), s.name.c_str()) != 0)
        return SystemFailure();
    newIdentity_ = StampOf(made).identity;
    s.tempName.clear();  // it is the file now
    s.fd.Reset();
    method_ = Method::Rename;
    return true;
}

namespace {

// Bytes the whole system holds for writing (dirty or being written), from /proc/meminfo; false
// where that is not known.
bool PendingWriteBytes(uint64_t& bytes) {
    UniqueFd fd(::open("/proc/meminfo", O_RDONLY | O_CLOEXEC));
    if (!fd)
        return false;
    char text[8192];
    ssize_t n = ::read(fd.Get(), text, sizeof text - 1);
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
        if (!s.fd || s.inPlace || !s.Prepare(group[i]->keepTime_) || ::fstat(s.fd.Get(), &st) != 0)
            return false;
        ours += static_cast<uint64_t>(st.st_size);
        bool seen = false;
        for (const auto& d : devices)
            seen = seen || d.first == st.st_dev;
        if (!seen)
            devices.emplace_back(st.st_dev, s.fd.Get());
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
    if (impl_->fd && impl_->Prepare(keepTime_))
        (void)::sync_file_range(impl_->fd.Get(), 0, 0, SYNC_FILE_RANGE_WRITE);
}

int RemoveStaleReplacements(const TFolder& folder) {
    (void)folder.List();
    int removed = 0;
    const uid_t user = ::geteuid();
    for (size_t i = 0; i < folder.EntryCount(); ++i) {
        const char* name = folder.EntryName(i);
        if (!IsReplacementName(name))
            continue;
        UniqueFd fd(
            ::openat(folder.Descriptor(), name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st;
        // Only this user's own leftovers go, and a live run holds its lock on those it writes.
        if (fd && ::fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == user &&
            ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0 &&
            ::unlinkat(folder.Descriptor(), name, 0) == 0)
            ++removed;
    }
    return removed;
}

int RemoveStaleReplacements(const std::string& folder) {
    TFolder open;
    return open.Open(folder) ? RemoveStaleReplacements(open) : 0;
}

#include "framework/TFile.h"

#include "framework/posix/FileHelpers.h"

#include "framework/FileError.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"
#include "framework/posix/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

#include <climits>
#include <utility>
#include <vector>

TFile::~TFile() {
    if (IsOpen())
        ::close(static_cast<int>(handle_));
}

TFile::TFile(TFile&& other) noexcept
    : handle_(other.handle_), stamp_(other.stamp_), stamped_(other.stamped_) {
    other.handle_ = kNone;
    other.stamped_ = false;
}

TFile& TFile::operator=(TFile&& other) noexcept {
    if (this != &other) {
        if (IsOpen())
            ::close(static_cast<int>(handle_));
        handle_ = std::exchange(other.handle_, kNone);
        stamp_ = other.stamp_;
        stamped_ = std::exchange(other.stamped_, false);
    }
    return *this;
}

namespace {

// O_NONBLOCK: a FIFO that took a file's name after the walk saw it must not hang the open,
// and neither it nor a device (a link to /dev/zero reads for ever) is read at all. Regular
// files read the same with it, so it stays set.
int OpenRegularAt(int folder, const char* name, int flags, struct stat& st) {
    UniqueFd fd;
    do {
        fd.Reset(::openat(folder, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags));
    } while (!fd && errno == EINTR);
    if (!fd) {
        // Under O_NOFOLLOW a link has taken the name.
        if (errno == ELOOP && (flags & O_NOFOLLOW))
            SetFileProblem(FileProblem::NotTheFileListed);
        NoteSystemError();
        return -1;
    }
    if (::fstat(fd.Get(), &st) != 0) {
        NoteSystemError();
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        SetFileProblem(FileProblem::NotRegularFile);
        return -1;
    }
    return fd.Release();
}

}  // namespace

bool TFile::OpenRead(const std::string& path) {
    struct stat st;
    int fd = OpenRegularAt(AT_FDCWD, path.c_str(), 0, st);
    if (fd < 0)
        return false;
    Adopt(fd, StampOf(st));
    return true;
}

bool TFile::OpenRead(const TFileName& file) {
    if (TFile* opened = file.Opened(); opened && opened->IsOpen()) {
        *this = std::move(*opened);
        return true;  // the walk decided on what it opened
    }
    const TFolder* holder = file.Holder();
    if (!holder)
        return OpenRead(file.FullPath());
    struct stat st;
    int fd = OpenRegularAt(holder->Descriptor(), file.NameInHolder(), O_NOFOLLOW, st);
    if (fd < 0)
        return false;
    Adopt(fd, StampOf(st));
    // Another file under the name since the walk saw it: not the one the walk handed over.
    if (!(stamp_.identity == file.Identity())) {
        *this = TFile();
        return Failure(FileProblem::NotTheFileListed);
    }
    return true;
}

bool TFile::OpenListed(const TFolder& folder, const char* name, EntryStatus& status) {
    *this = TFile();
    UniqueFd fd;
    do {
        fd.Reset(::openat(folder.Descriptor(), name,
                          O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    } while (!fd && errno == EINTR);
    struct stat st;
    if (!fd || ::fstat(fd.Get(), &st) != 0)
        return SystemFailure();
    status = EntryStatusFrom(name, st);
    if (S_ISREG(st.st_mode))
        Adopt(fd.Release(), StampOf(st));
    return true;
}

bool TFile::OpenIn(const TFolder& folder, const char* name) {
    struct stat st;
    int fd = OpenRegularAt(folder.Descriptor(), name, O_NOFOLLOW, st);
    if (fd < 0)
        return false;
    Adopt(fd, StampOf(st));
    return true;
}

bool TFile::CreateIn(const TFolder& folder, const char* name) {
    int fd = ::openat(folder.Descriptor(), name,
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return SystemFailure();
    *this = TFile();
    handle_ = fd;
    return true;
}

bool TFile::Sync() {
    return (IsOpen() && ::fsync(static_cast<int>(handle_)) == 0) || SystemFailure();
}

bool TFile::CreateTemp(std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = (dir && *dir) ? dir : "/tmp";
    if (pattern.back() != '/')
        pattern += '/';
    pattern += "TFNXXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = ::mkostemp(buffer.data(), O_CLOEXEC);  // created exclusively
    if (fd < 0)
        return false;
    *this = TFile();
    handle_ = fd;
    name.assign(buffer.data());
    return true;
}

long long TFile::Read(void* buffer, size_t size) {
    if (size > SSIZE_MAX)
        size = SSIZE_MAX;
    ssize_t n;
    do {
        n = ::read(static_cast<int>(handle_), buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        NoteSystemError();
    return n;
}

long long TFile::ReadAt(uint64_t offset, void* buffer, size_t size) {
    if (size > SSIZE_MAX)
        size = SSIZE_MAX;
    if (offset > uint64_t(LLONG_MAX))
        return -1;
    ssize_t n;
    do {
        n = ::pread(static_cast<int>(handle_), buffer, size, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        NoteSystemError();
    return n;
}

bool TFile::WriteAll(const void* data, size_t size) {
    return WriteAllFd(static_cast<int>(handle_), data, size);
}

bool TFile::GetStamp(FileStamp& stamp) const {
    if (!IsOpen())
        return false;
    if (!stamped_) {
        struct stat st;
        if (::fstat(static_cast<int>(handle_), &st) != 0)
            return false;
        stamp_ = StampOf(st);
        stamped_ = true;
    }
    stamp = stamp_;
    return true;
}

bool TFile::Close() {
    if (!IsOpen())
        return false;
    int fd = static_cast<int>(std::exchange(handle_, kNone));
    stamped_ = false;
    // Linux closes the descriptor even when close reports EINTR; retrying would be wrong.
    return ::close(fd) == 0;
}

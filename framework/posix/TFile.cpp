#include "framework/TFile.h"

#include "framework/posix/FileHelpers.h"

#include "framework/TFileName.h"
#include "framework/TFolder.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <vector>

TFile::~TFile() {
    if (IsOpen())
        ::close(static_cast<int>(handle_));
}

TFile::TFile(TFile&& other) noexcept : handle_(other.handle_) {
    other.handle_ = kNone;
}

TFile& TFile::operator=(TFile&& other) noexcept {
    if (this != &other) {
        if (IsOpen())
            ::close(static_cast<int>(handle_));
        handle_ = other.handle_;
        other.handle_ = kNone;
    }
    return *this;
}

namespace {

int OpenFdAt(int folder, const char* name, int flags) {
    int fd;
    do {
        fd = ::openat(folder, name, flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int OpenFd(const std::string& path, int flags) {
    return OpenFdAt(AT_FDCWD, path.c_str(), flags);
}

// O_NONBLOCK: a FIFO that took a file's name after the walk saw it must not hang the open,
// and neither it nor a device (a link to /dev/zero reads for ever) is read at all. Regular
// files read the same with it, so it stays set.
int OpenRegularAt(int folder, const char* name) {
    int fd = OpenFdAt(folder, name, O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

bool TFile::OpenRead(const std::string& path) {
    int fd = OpenRegularAt(AT_FDCWD, path.c_str());
    if (fd < 0)
        return false;
    *this = TFile();
    handle_ = fd;
    return true;
}

bool TFile::OpenRead(const TFileName& file) {
    const TFolder* folder = file.FoundIn();
    int fd = folder ? OpenRegularAt(folder->Descriptor(), file.NameInFolder())
                    : OpenRegularAt(AT_FDCWD, file.FullPath().c_str());
    if (fd < 0)
        return false;
    *this = TFile();
    handle_ = fd;
    return true;
}

bool TFile::OpenTruncate(const std::string& path) {
    int fd = OpenFd(path, O_WRONLY | O_TRUNC);
    if (fd < 0)
        return false;
    *this = TFile();
    handle_ = fd;
    return true;
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
    return n;
}

bool TFile::WriteAll(const void* data, size_t size) {
    return WriteAllFd(static_cast<int>(handle_), data, size);
}

bool TFile::GetStamp(FileStamp& stamp) const {
    struct stat st;
    if (!IsOpen() || ::fstat(static_cast<int>(handle_), &st) != 0)
        return false;
    stamp = StampOf(st);
    return true;
}

bool TFile::Close() {
    if (!IsOpen())
        return false;
    int fd = static_cast<int>(handle_);
    handle_ = kNone;
    // Linux closes the descriptor even when close reports EINTR; retrying would be wrong.
    return ::close(fd) == 0;
}

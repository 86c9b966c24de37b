#include "framework/TFolder.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFolder::~TFolder() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool TFolder::Open(const std::string& path) {
    // By the whole path, as every other call of the program reaches a file: a folder deeper
    // than the platform's path limit is not entered, since nothing could be done in it by name.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
    path_ = path;
    search_ = nullptr;
    read_ = false;
    return true;
}

bool TFolder::GetIdentity(FileIdentity& identity) const {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return false;
    identity.device = static_cast<uint64_t>(st.st_dev);
    identity.index = static_cast<uint64_t>(st.st_ino);
    return true;
}

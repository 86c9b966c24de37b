#include "framework/posix/FileHelpers.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/FileReplacement.h"

namespace {

constexpr const char kPrefix[] = ".scrivox-";
constexpr const char kSuffix[] = ".tmp";

}  // namespace

int CreateHiddenTemp(const std::string& folder, std::string& name) {
    std::string pattern = folder + "/" + kPrefix + "XXXXXX" + kSuffix;
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = ::mkostemps(buffer.data(), static_cast<int>(sizeof kSuffix - 1), O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        ::unlink(buffer.data());
        return -1;
    }
    name.assign(buffer.data());
    return fd;
}

std::string TemporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return (tmp && *tmp) ? tmp : "/tmp";
}

bool IsReplacementName(const char* name) {
    size_t n = std::strlen(name);
    return n >= sizeof kPrefix - 1 + sizeof kSuffix - 1 &&
           std::strncmp(name, kPrefix, sizeof kPrefix - 1) == 0 &&
           std::strcmp(name + n - (sizeof kSuffix - 1), kSuffix) == 0;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

FileStamp StampOf(const struct stat& st) {
    FileStamp stamp;
    stamp.identity.device = static_cast<uint64_t>(st.st_dev);
    stamp.identity.index = static_cast<uint64_t>(st.st_ino);
    stamp.size = static_cast<uint64_t>(st.st_size);
    stamp.lastWrite = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

bool WriteAllFd(int fd, const void* data, size_t size) {
    auto p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool CopyFdContent(int from, int to) {
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        if (!WriteAllFd(to, buffer.data(), static_cast<size_t>(n)))
            return false;
    }
}

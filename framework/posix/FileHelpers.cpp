#include "framework/posix/FileHelpers.h"

#include "framework/FileAttributes.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "framework/FileReplacement.h"
#include "framework/posix/UniqueFd.h"

namespace {

constexpr const char kPrefix[] = ".scrivox-";
constexpr const char kSuffix[] = ".tmp";

}  // namespace

UniqueFd CreateHiddenTempAt(int folder, std::string& name) {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    // Names need only differ from those present; the lock, not the name, marks a live file.
    thread_local uint64_t state = (uint64_t(::getpid()) << 32) ^ uint64_t(::time(nullptr)) ^
                                  reinterpret_cast<uintptr_t>(&name);
    for (int attempt = 0; attempt < 100; ++attempt) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        char unique[7];
        uint64_t bits = state >> 16;
        for (int i = 0; i < 6; ++i, bits /= 62)
            unique[i] = kLetters[bits % 62];
        unique[6] = '\0';
        std::string candidate = std::string(kPrefix) + unique + kSuffix;
        UniqueFd fd(::openat(folder, candidate.c_str(),
                             O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd) {
            if (errno == EEXIST || errno == EINTR)
                continue;
            return UniqueFd();
        }
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
            fd.Reset();
            ::unlinkat(folder, candidate.c_str(), 0);
            return UniqueFd();
        }
        name = std::move(candidate);
        return fd;
    }
    return UniqueFd();
}

UniqueFd CreateHiddenTemp(const std::string& folder, std::string& name) {
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        return UniqueFd();
    std::string inFolder;
    UniqueFd fd = CreateHiddenTempAt(dir.Get(), inFolder);
    if (fd)
        name = folder + "/" + inFolder;
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
    for (off_t offset = 0;;) {
        ssize_t n = ::pread(from, buffer.data(), buffer.size(), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        if (!WriteAllFd(to, buffer.data(), static_cast<size_t>(n)))
            return false;
        offset += n;
    }
}

EntryStatus EntryStatusFrom(const char* name, const struct stat& st) {
    uint32_t attrs = name[0] == '.' ? uint32_t{kAttrHidden} : 0u;
    if (S_ISDIR(st.st_mode))
        attrs |= kAttrDirectory;
    else if (S_ISLNK(st.st_mode))
        attrs |= kAttrLink;
    else if (!S_ISREG(st.st_mode))
        attrs |= kAttrSpecial;
    if (!(st.st_mode & S_IWUSR))
        attrs |= kAttrReadOnly;
    const FileStamp stamp = StampOf(st);
    EntryStatus status;
    status.attributes = attrs;
    status.identity = stamp.identity;
    status.stamped = true;
    status.size = stamp.size;
    status.lastWrite = stamp.lastWrite;
    return status;
}

#include "framework/FileOperations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "framework/TFile.h"

bool CopyFileReplacing(const std::string& from, const std::string& to) {
    TFile in;
    if (!in.OpenRead(from))
        return false;
    struct stat st;
    if (::stat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // A link of that name is replaced, never written through.
    struct stat existing;
    if (::lstat(to.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode) &&
        ::unlink(to.c_str()) != 0)
        return false;
    const mode_t mode = st.st_mode & 07777;
    int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0)
        return false;
    bool ok = true;
    constexpr size_t kBlock = 256 * 1024;
    std::unique_ptr<char[]> buffer(new char[kBlock]);
    for (;;) {
        long long n = in.Read(buffer.get(), kBlock);
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        const char* p = buffer.get();
        size_t left = static_cast<size_t>(n);
        while (ok && left > 0) {
            ssize_t w = ::write(fd, p, left);
            if (w < 0) {
                ok = errno == EINTR;
                continue;
            }
            p += w;
            left -= static_cast<size_t>(w);
        }
        if (!ok)
            break;
    }
    if (ok) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
        ok = ::fchmod(fd, mode) == 0 && ::futimens(fd, times) == 0;
    }
    return (::close(fd) == 0) && ok;
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || ::rmdir(path.c_str()) == 0;
}

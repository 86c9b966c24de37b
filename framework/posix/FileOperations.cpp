#include "framework/FileOperations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "framework/TFile.h"
#include "framework/posix/FileHelpers.h"

bool CopyFileReplacing(const std::string& from, const std::string& to) {
    TFile in;
    if (!in.OpenRead(from))
        return false;
    struct stat st;
    if (::stat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // The copy is made under a hidden name beside its place and renamed there when whole, so
    // a copy of that name is never seen half made, and a link of that name is replaced, never
    // written through.
    std::string tempName;
    int fd = CreateHiddenTemp(FolderOf(to), tempName);
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
        if (!WriteAllFd(fd, buffer.get(), static_cast<size_t>(n))) {
            ok = false;
            break;
        }
    }
    const struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    ok = ok && ::fchmod(fd, st.st_mode & 07777) == 0 && ::futimens(fd, times) == 0 &&
         ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tempName.c_str(), to.c_str()) == 0;
    if (!ok)
        ::unlink(tempName.c_str());
    return ok;
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || ::rmdir(path.c_str()) == 0;
}

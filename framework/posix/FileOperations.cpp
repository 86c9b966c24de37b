#include "framework/FileOperations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/posix/FileHelpers.h"

bool CopyFileReplacing(const std::string& from, const std::string& to) {
    // O_NONBLOCK: opening a FIFO must not hang; the status read from the open file refuses it.
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0)
        return false;
    struct stat st;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    // The copy is made under a hidden name beside its place and renamed there when whole, so
    // a copy of that name is never seen half made, and a link of that name is replaced, never
    // written through.
    std::string tempName;
    int fd = CreateHiddenTemp(FolderOf(to), tempName);
    if (fd < 0) {
        ::close(in);
        return false;
    }
    bool ok = CopyFdContent(in, fd);
    ::close(in);
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

#include "framework/posix/RegistryLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

bool RegistryLock::Acquire(const std::string& file) {
    fd_.Reset(::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd_)
        return false;
    while (::flock(fd_.Get(), LOCK_EX) != 0)
        if (errno != EINTR)
            return false;
    return true;
}

#include "tests/support/LockHolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

LockHolder::LockHolder(const std::string& path) {
    int ready[2], release[2];
    if (::pipe(ready) != 0)
        return;
    if (::pipe(release) != 0) {
        ::close(ready[0]);
        ::close(ready[1]);
        return;
    }
    child_ = ::fork();
    if (child_ == 0) {
        ::close(ready[0]);
        ::close(release[1]);
        const int lock = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lock < 0 || ::flock(lock, LOCK_EX) != 0 || ::write(ready[1], "x", 1) != 1)
            ::_exit(1);
        char byte;
        if (::read(release[0], &byte, 1) < 0) {
        }  // returns when the other end closes
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char byte;
    holding_ = child_ > 0 && ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
}

bool LockHolder::Release() {
    if (release_ >= 0)
        ::close(release_);
    release_ = -1;
    if (child_ <= 0)
        return false;
    int status = 0;
    const bool ended = ::waitpid(child_, &status, 0) == child_;
    child_ = -1;
    return holding_ && ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

LockHolder::~LockHolder() {
    (void)Release();
}

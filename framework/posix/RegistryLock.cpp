#include "framework/posix/RegistryLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>

namespace {

std::atomic<long long> lockWaitMs{10000};

}  // namespace

std::chrono::milliseconds RegistryLockWait() {
    return std::chrono::milliseconds(lockWaitMs.load());
}

void SetRegistryLockWait(std::chrono::milliseconds wait) {
    lockWaitMs = wait.count();
}

RegistryProblem RegistryLock::Acquire(const std::string& file) {
    using std::chrono::microseconds;
    using Clock = std::chrono::steady_clock;
    // Non-blocking, so that a FIFO planted there cannot hold the open either.
    fd_.Reset(::open((file + ".lock").c_str(),
                     O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    struct stat st;
    if (!fd_ || ::fstat(fd_.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        fd_.Reset();
        return RegistryProblem::Unwritable;
    }
    // A holder is waited for with short sleeps that grow a little, so that a lock held for a
    // moment costs little and one held long costs few wake-ups.
    const Clock::time_point deadline = Clock::now() + RegistryLockWait();
    microseconds pause(1000);
    for (;;) {
        if (::flock(fd_.Get(), LOCK_EX | LOCK_NB) == 0)
            return RegistryProblem::None;
        const int error = errno;
        if (error == EINTR)
            continue;
        const Clock::time_point now = Clock::now();
        if (error != EWOULDBLOCK || now >= deadline) {
            fd_.Reset();
            return error == EWOULDBLOCK ? RegistryProblem::Locked : RegistryProblem::Unwritable;
        }
        std::this_thread::sleep_for(
            std::min(pause, std::chrono::duration_cast<microseconds>(deadline - now)));
        pause = std::min(pause * 3 / 2, microseconds(100000));
    }
}

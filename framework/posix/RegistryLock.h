#pragma once

#include <chrono>
#include <string>

#include "framework/RegistryKey.h"
#include "framework/posix/UniqueFd.h"

// The writers' lock on the per-user tree's file: an exclusive flock on "<file>.lock", held for
// as long as the object lives. Whatever stands at that name may have been planted there: a
// link is never followed, and anything but a regular file is refused without waiting on it.
class RegistryLock {
public:
    // Takes the lock, waiting at most RegistryLockWait() for another holder to let it go.
    // Locked when that wait ran out; Unwritable when the lock file cannot be made or is not a
    // regular file.
    [[nodiscard]] RegistryProblem Acquire(const std::string& file);

private:
    UniqueFd fd_;
};

// How long a writer waits for another's lock: 10 seconds. Tests shorten it.
std::chrono::milliseconds RegistryLockWait();
void SetRegistryLockWait(std::chrono::milliseconds wait);

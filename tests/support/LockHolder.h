#pragma once

#include <sys/types.h>

#include <string>

// Another process that takes an exclusive flock on a file (made if missing) and holds it until
// this object ends, as a program that holds a store's lock and does not let go.
class LockHolder {
public:
    explicit LockHolder(const std::string& path);
    // Lets go and waits for the process.
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    // Whether the lock was taken; false when the process could not take it.
    bool Holding() const { return holding_; }
    // Lets go now; true when the process took the lock and ended cleanly.
    bool Release();

private:
    pid_t child_ = -1;
    int release_ = -1;  // the write end; closing it tells the process to let go
    bool holding_ = false;
};

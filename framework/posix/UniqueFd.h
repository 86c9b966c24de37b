#pragma once

#include <unistd.h>

#include <utility>

// One owning file descriptor; no copies, moves allowed. -1 means none.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept {
        if (this != &o)
            Reset(std::exchange(o.fd_, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int Release() { return std::exchange(fd_, -1); }
    // Closes what is held and takes `fd` instead.
    void Reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    // Closes now and says whether the close succeeded: some file systems report a failed write
    // only there. Linux closes the descriptor even when close reports EINTR, so it is not retried.
    [[nodiscard]] bool Close() { return fd_ >= 0 && ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_ = -1;
};

#pragma once

#include <unistd.h>

// Owns one file descriptor and closes it exactly once.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    UniqueFd(UniqueFd &&other) noexcept : fd(other.Release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    int Get() const { return fd; }
    bool Valid() const { return fd >= 0; }
    // Gives up ownership without closing; returns the descriptor.
    int Release() {
        int old = fd;
        fd = -1;
        return old;
    }
    // Closes the owned descriptor (if any) and takes newFd.
    void Reset(int newFd = -1) {
        if (fd >= 0)
            ::close(fd);
        fd = newFd;
    }

private:
    int fd = -1;
};

#include "comm/posix/ExclusivePort.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// How long output queued at close may take to leave the port.
constexpr std::chrono::milliseconds kDrainLimit{500};
constexpr int kDrainPollMs = 5;

// close() waits until queued output has gone out, on many drivers for up to 30 s (with
// flow control holding the line, for ever in effect). Let it drain for a bounded time and
// discard what is still queued after that, so that closing never hangs.
void DrainBriefly(int fd) {
    const auto end = std::chrono::steady_clock::now() + kDrainLimit;
    int queued = 0;
    while (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        if (std::chrono::steady_clock::now() >= end) {
            tcflush(fd, TCOFLUSH);
            return;
        }
        poll(nullptr, 0, kDrainPollMs);
    }
}

} // namespace

int OpenExclusivePort(const std::string& path) {
    if (path.empty())
        return -1;
    int fd;
    do {
        fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;

    termios probe{};
    if (tcgetattr(fd, &probe) != 0) {
        close(fd);
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    // A program that claimed the terminal's exclusive mode without flock() still owns the
    // port; root would get past that mode, so ask instead of relying on open() failing.
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
        close(fd);
        return -1;
    }
    ioctl(fd, TIOCEXCL);
    return fd;
}

void CloseExclusivePort(int fd) {
    if (fd < 0)
        return;
    DrainBriefly(fd);
    // The exclusive mode belongs to the terminal, not to this descriptor: a pty keeps it
    // after the close unless it is cleared first.
    ioctl(fd, TIOCNXCL);
    close(fd);
}

#include "support/PtyPair.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "comm/Deadline.h"

PtyPair::PtyPair() {
    int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    char name[128];
    termios raw{};
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0 ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0 || tcgetattr(fd, &raw) != 0) {
        close(fd);
        return;
    }
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    master = fd;
    slavePath = name;
}

PtyPair::~PtyPair() {
    CloseMaster();
}

bool PtyPair::Write(const std::vector<uint8_t>& bytes, int timeoutMs) {
    Deadline deadline(timeoutMs);
    size_t done = 0;
    while (master >= 0 && done < bytes.size()) {
        ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (deadline.Expired())
            return false;
        pollfd p{master, POLLOUT, 0};
        poll(&p, 1, deadline.RemainingMs());
    }
    return master >= 0 && done == bytes.size();
}

std::vector<uint8_t> PtyPair::Read(size_t count, int timeoutMs) {
    Deadline deadline(timeoutMs);
    std::vector<uint8_t> got;
    while (master >= 0 && got.size() < count) {
        uint8_t chunk[512];
        size_t want = count - got.size() < sizeof chunk ? count - got.size() : sizeof chunk;
        ssize_t n = read(master, chunk, want);
        if (n > 0) {
            got.insert(got.end(), chunk, chunk + n);
            continue;
        }
        // EIO means no slave is open right now; like EAGAIN it only means "nothing yet".
        if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO)
            break;
        if (deadline.Expired())
            break;
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, deadline.RemainingMs()) > 0 && (p.revents & POLLIN) == 0) {
            // Hung up with nothing to read: waiting on the descriptor would spin, so
            // fall back to a short pause until the deadline.
            pollfd none{-1, 0, 0};
            poll(&none, 1, deadline.RemainingMs() < 5 ? deadline.RemainingMs() : 5);
        }
    }
    return got;
}

void PtyPair::Drain() {
    uint8_t chunk[512];
    while (master >= 0 && read(master, chunk, sizeof chunk) > 0) {
    }
}

void PtyPair::CloseMaster() {
    if (master >= 0)
        close(master);
    master = -1;
}

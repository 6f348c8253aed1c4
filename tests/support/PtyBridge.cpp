#include "support/PtyBridge.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// Moves what is waiting on `from` to `to`; false when `from` has nothing more to give.
bool Pass(int from, int to) {
    char chunk[4096];
    const ssize_t n = read(from, chunk, sizeof chunk);
    if (n <= 0)
        return n < 0 && (errno == EAGAIN || errno == EINTR);
    ssize_t done = 0;
    while (done < n) {
        const ssize_t w = write(to, chunk + done, static_cast<size_t>(n - done));
        if (w > 0) {
            done += w;
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR)
            return true; // the other end is gone
        pollfd p{to, POLLOUT, 0};
        if (poll(&p, 1, 100) <= 0)
            return true; // nobody reads: drop rather than hang
    }
    return true;
}

} // namespace

PtyBridge::PtyBridge() {
    if (!a.Ok() || !b.Ok() || pipe2(stopPipe, O_CLOEXEC) != 0)
        return;
    ok = true;
    worker = std::thread([this] { Relay(); });
}

PtyBridge::~PtyBridge() {
    if (worker.joinable()) {
        const char stop = 1;
        (void)!write(stopPipe[1], &stop, 1);
        worker.join();
    }
    for (int fd : stopPipe) {
        if (fd >= 0)
            close(fd);
    }
}

void PtyBridge::Relay() {
    for (;;) {
        pollfd p[3] = {
            {a.MasterFd(), POLLIN, 0}, {b.MasterFd(), POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
        // A master whose slave is not open reports a hang-up without data; wait briefly
        // then instead of spinning on it.
        const int r = poll(p, 3, 1000);
        if (r < 0 && errno != EINTR)
            return;
        if (p[2].revents != 0)
            return;
        bool idle = true;
        if (p[0].revents & POLLIN)
            idle = !Pass(a.MasterFd(), b.MasterFd()) && idle;
        if (p[1].revents & POLLIN)
            idle = !Pass(b.MasterFd(), a.MasterFd()) && idle;
        if (idle && ((p[0].revents | p[1].revents) & (POLLHUP | POLLERR)) != 0) {
            pollfd stop{stopPipe[0], POLLIN, 0};
            if (poll(&stop, 1, 5) > 0)
                return;
        }
    }
}

#include "support/ScriptedPtyPeer.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
constexpr int kRequestGapMs = 10;
}

ScriptedPtyPeer::ScriptedPtyPeer(Responder responder) : responder(std::move(responder)) {
    if (!pty.Ok() || pipe2(stopPipe, O_CLOEXEC) != 0)
        return;
    ok = true;
    worker = std::thread([this] { Serve(); });
}

ScriptedPtyPeer::~ScriptedPtyPeer() {
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

void ScriptedPtyPeer::Serve() {
    Bytes request;
    for (;;) {
        pollfd p[2] = {{pty.MasterFd(), POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
        // Waiting for a request: long slices; inside one: the gap that ends it.
        const int r = poll(p, 2, request.empty() ? 1000 : kRequestGapMs);
        if (r < 0 && errno != EINTR)
            return;
        if (p[1].revents != 0)
            return;
        if (r == 0 && !request.empty()) {
            const Bytes answer = responder(request);
            request.clear();
            if (!answer.empty())
                pty.Write(answer);
            continue;
        }
        if (p[0].revents & POLLIN) {
            uint8_t chunk[512];
            const ssize_t n = read(pty.MasterFd(), chunk, sizeof chunk);
            if (n > 0)
                request.insert(request.end(), chunk, chunk + n);
            continue;
        }
        if (p[0].revents & (POLLHUP | POLLERR)) {
            // No slave open right now: nothing to serve; pause instead of spinning.
            pollfd stop{stopPipe[0], POLLIN, 0};
            if (poll(&stop, 1, 5) > 0)
                return;
        }
    }
}

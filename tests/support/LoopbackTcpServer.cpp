#include "support/LoopbackTcpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "comm/Deadline.h"

namespace {

// poll() on a set of descriptors, resumed after signals until one deadline.
int PollUntil(pollfd *fds, nfds_t count, const Deadline &deadline) {
    for (;;) {
        const int ready = poll(fds, count, deadline.RemainingMs());
        if (ready >= 0 || errno != EINTR)
            return ready;
    }
}

bool WaitFor(int fd, short events, int32_t timeoutMs) {
    pollfd entry{fd, events, 0};
    return fd >= 0 && PollUntil(&entry, 1, Deadline(timeoutMs)) > 0;
}

void CloseFd(int &fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

bool SendAll(int fd, const uint8_t *data, size_t length, int32_t timeoutMs) {
    const Deadline deadline(timeoutMs);
    while (length > 0) {
        if (!WaitFor(fd, POLLOUT, deadline.RemainingMs()))
            return false;
        const ssize_t sent = send(fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            return false;
        }
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

constexpr int32_t kWriteTimeoutMs = 2000;
constexpr size_t kReadChunk = 4096;

} // namespace

LoopbackTcpServer::LoopbackTcpServer(int backlog) {
    if (pipe2(stopPipe, O_CLOEXEC) != 0)
        return;
    listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (listenFd < 0)
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (bind(listenFd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(listenFd, backlog) != 0 ||
        getsockname(listenFd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        CloseFd(listenFd);
        return;
    }
    port = ntohs(address.sin_port);
}

LoopbackTcpServer::~LoopbackTcpServer() {
    StopScripted();
    CloseFd(clientFd);
    CloseFd(listenFd);
    CloseFd(stopPipe[0]);
    CloseFd(stopPipe[1]);
}

bool LoopbackTcpServer::AcceptClient(int32_t timeoutMs) {
    if (!WaitFor(listenFd, POLLIN, timeoutMs))
        return false;
    const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return false;
    CloseFd(clientFd);
    clientFd = fd;
    return true;
}

LoopbackTcpServer::Bytes LoopbackTcpServer::ReadRequest(int32_t timeoutMs) {
    Bytes bytes(kReadChunk);
    if (!WaitFor(clientFd, POLLIN, timeoutMs))
        return {};
    const ssize_t received = recv(clientFd, bytes.data(), bytes.size(), MSG_DONTWAIT);
    bytes.resize(received > 0 ? static_cast<size_t>(received) : 0);
    return bytes;
}

LoopbackTcpServer::Bytes LoopbackTcpServer::ReadExactly(size_t count, int32_t timeoutMs) {
    const Deadline deadline(timeoutMs);
    Bytes bytes;
    while (bytes.size() < count && WaitFor(clientFd, POLLIN, deadline.RemainingMs())) {
        uint8_t chunk[kReadChunk];
        const size_t want = std::min(count - bytes.size(), sizeof chunk);
        const ssize_t received = recv(clientFd, chunk, want, MSG_DONTWAIT);
        if (received == 0)
            break;
        if (received > 0)
            bytes.insert(bytes.end(), chunk, chunk + received);
    }
    return bytes;
}

bool LoopbackTcpServer::WriteAnswer(const Bytes &bytes) {
    return clientFd >= 0 && SendAll(clientFd, bytes.data(), bytes.size(), kWriteTimeoutMs);
}

void LoopbackTcpServer::CloseClient(bool reset) {
    if (reset && clientFd >= 0) {
        // Linger on with a zero time closes with RST instead of FIN.
        linger abortive{1, 0};
        setsockopt(clientFd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    }
    CloseFd(clientFd);
}

bool LoopbackTcpServer::ClientClosed(int32_t timeoutMs) {
    const Deadline deadline(timeoutMs);
    // Anything still in flight is read and dropped until the end of the stream shows.
    while (WaitFor(clientFd, POLLIN, deadline.RemainingMs())) {
        uint8_t chunk[kReadChunk];
        const ssize_t received = recv(clientFd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (received == 0)
            return true;
        if (received < 0 && errno != EAGAIN && errno != EINTR)
            return true;
    }
    return false;
}

bool LoopbackTcpServer::StartScripted(Responder answer) {
    if (worker.joinable() || listenFd < 0 || stopPipe[0] < 0)
        return false;
    responder = std::move(answer);
    worker = std::thread([this] { ServeLoop(); });
    return true;
}

void LoopbackTcpServer::StopScripted() {
    if (!worker.joinable())
        return;
    const uint8_t wake = 1;
    while (write(stopPipe[1], &wake, 1) < 0 && errno == EINTR) {
    }
    worker.join();
    uint8_t drained;
    while (read(stopPipe[0], &drained, 1) < 0 && errno == EINTR) {
    }
}

std::vector<LoopbackTcpServer::Bytes> LoopbackTcpServer::Requests() const {
    std::lock_guard<std::mutex> guard(requestsLock);
    return requests;
}

void LoopbackTcpServer::ServeLoop() {
    // Each round waits at most one second, so a lost wake-up cannot hang the join.
    for (;;) {
        pollfd fds[3] = {{stopPipe[0], POLLIN, 0}, {listenFd, POLLIN, 0}, {clientFd, POLLIN, 0}};
        const nfds_t count = clientFd >= 0 ? 3 : 2;
        if (PollUntil(fds, count, Deadline(1000)) < 0)
            return;
        if (fds[0].revents != 0)
            return;
        if (fds[1].revents & POLLIN) {
            AcceptClient(0);
            continue;
        }
        if (count == 3 && fds[2].revents != 0)
            ServeOneRequest(clientFd);
    }
}

void LoopbackTcpServer::ServeOneRequest(int fd) {
    Bytes request(kReadChunk);
    const ssize_t received = recv(fd, request.data(), request.size(), MSG_DONTWAIT);
    if (received < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (received <= 0) {
        CloseFd(clientFd);
        return;
    }
    request.resize(static_cast<size_t>(received));
    {
        std::lock_guard<std::mutex> guard(requestsLock);
        requests.push_back(request);
    }
    const Bytes answer = responder ? responder(request) : Bytes();
    if (!answer.empty() && !SendAll(fd, answer.data(), answer.size(), kWriteTimeoutMs)) {
        CloseFd(clientFd);
    }
}

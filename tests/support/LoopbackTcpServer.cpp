#include "support/LoopbackTcpServer.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// poll() passes over a closed descriptor (-1) and then just waits out the time.
bool WaitFor(int fd, short events, int32_t timeoutMs) {
    pollfd p{fd, events, 0};
    return poll(&p, 1, timeoutMs) > 0;
}

void CloseFd(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

} // namespace

LoopbackTcpServer::LoopbackTcpServer(int backlog) {
    listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    if (bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        listen(listenFd, backlog) == 0 &&
        getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
}

LoopbackTcpServer::~LoopbackTcpServer() {
    CloseFd(clientFd);
    CloseFd(listenFd);
}

bool LoopbackTcpServer::AcceptClient(int32_t timeoutMs) {
    const int fd = WaitFor(listenFd, POLLIN, timeoutMs)
                       ? accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC)
                       : -1;
    if (fd >= 0) {
        CloseFd(clientFd);
        clientFd = fd;
    }
    return fd >= 0;
}

LoopbackTcpServer::Bytes LoopbackTcpServer::ReadRequest(int32_t timeoutMs) {
    Bytes bytes(4096);
    const ssize_t n = WaitFor(clientFd, POLLIN, timeoutMs)
                          ? recv(clientFd, bytes.data(), bytes.size(), MSG_DONTWAIT)
                          : -1;
    if (n == 0)
        CloseFd(clientFd); // the client has gone
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
}

bool LoopbackTcpServer::WriteAnswer(const Bytes& bytes) {
    // Answers are small: the socket takes them at once or something is wrong.
    return clientFd >= 0 && send(clientFd, bytes.data(), bytes.size(),
                                 MSG_NOSIGNAL | MSG_DONTWAIT) == static_cast<ssize_t>(bytes.size());
}

void LoopbackTcpServer::CloseClient() {
    CloseFd(clientFd);
}

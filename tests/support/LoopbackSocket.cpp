#include "support/LoopbackSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/OpenDescriptors.h"

namespace {

sockaddr_in Address(uint32_t hostOrder, uint16_t port) {
    return {AF_INET, htons(port), {htonl(hostOrder)}, {}};
}

bool WaitFor(intptr_t fd, short events, int32_t timeoutMs) {
    pollfd p{static_cast<int>(fd), events, 0};
    return fd >= 0 && poll(&p, 1, timeoutMs) > 0;
}

} // namespace

LoopbackSocket::LoopbackSocket(bool stream, uint32_t hostOrder)
    : handle(socket(AF_INET, (stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0)) {
    sockaddr_in address = Address(hostOrder, 0);
    socklen_t length = sizeof address;
    if (bind(handle, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
}

LoopbackSocket::~LoopbackSocket() {
    Close();
}

bool LoopbackSocket::Listen(int backlog) {
    return listen(handle, backlog) == 0;
}

bool LoopbackSocket::Accept(LoopbackSocket& into, int32_t timeoutMs) {
    const int fd =
        WaitFor(handle, POLLIN, timeoutMs) ? accept4(handle, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    if (fd >= 0) {
        into.Close();
        into.handle = fd;
    }
    return fd >= 0;
}

int LoopbackSocket::Receive(Bytes& bytes, uint16_t* senderPort, int32_t timeoutMs) {
    sockaddr_in sender{};
    socklen_t length = sizeof sender;
    bytes.resize(65536);
    const ssize_t n = WaitFor(handle, POLLIN, timeoutMs)
                          ? recvfrom(handle, bytes.data(), bytes.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&sender), &length)
                          : -1;
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    if (senderPort != nullptr)
        *senderPort = ntohs(sender.sin_port);
    return static_cast<int>(n);
}

bool LoopbackSocket::Send(const Bytes& bytes, uint16_t toPort) {
    const sockaddr_in to = Address(INADDR_LOOPBACK, toPort);
    return sendto(handle, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                  toPort == 0 ? nullptr : reinterpret_cast<const sockaddr*>(&to),
                  toPort == 0 ? 0 : sizeof to) == static_cast<ssize_t>(bytes.size());
}

bool LoopbackSocket::Connect(uint16_t toPort, int32_t waitMs) {
    const sockaddr_in to = Address(INADDR_LOOPBACK, toPort);
    fcntl(handle, F_SETFL, O_NONBLOCK);
    return connect(handle, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ||
           WaitFor(handle, POLLOUT, waitMs);
}

void LoopbackSocket::Close() {
    if (handle >= 0)
        close(static_cast<int>(handle));
    handle = -1;
}

int OpenHandleCount() {
    return CountOpenDescriptors();
}

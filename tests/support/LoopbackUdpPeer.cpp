#include "support/LoopbackUdpPeer.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in Loopback(uint16_t port) {
    return {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
}

} // namespace

LoopbackUdpPeer::LoopbackUdpPeer(uint32_t hostOrder) {
    fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    sockaddr_in address{AF_INET, 0, {htonl(hostOrder)}, {}};
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
}

LoopbackUdpPeer::~LoopbackUdpPeer() {
    if (fd >= 0)
        close(fd);
}

bool LoopbackUdpPeer::ReceiveDatagram(Bytes* bytes, uint16_t* senderPort, int32_t timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    sockaddr_in sender{};
    socklen_t length = sizeof sender;
    bytes->resize(65536);
    const ssize_t n = poll(&p, 1, timeoutMs) > 0
                          ? recvfrom(fd, bytes->data(), bytes->size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&sender), &length)
                          : -1;
    bytes->resize(n > 0 ? static_cast<size_t>(n) : 0);
    *senderPort = ntohs(sender.sin_port);
    return n >= 0;
}

bool LoopbackUdpPeer::SendTo(const Bytes& bytes, uint16_t toPort) {
    const sockaddr_in target = Loopback(toPort);
    return sendto(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL,
                  reinterpret_cast<const sockaddr*>(&target),
                  sizeof target) == static_cast<ssize_t>(bytes.size());
}

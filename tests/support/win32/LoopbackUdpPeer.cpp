// The loopback UDP peer on Winsock. The socket handle is kept in the header's int field:
// Windows keeps the significant bits of a handle within 32 bits.
#include "support/LoopbackUdpPeer.h"

#include <mswsock.h>
#include <winsock2.h>

namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

SOCKET AsSocket(int fd) {
    return fd < 0 ? INVALID_SOCKET : static_cast<SOCKET>(fd);
}

} // namespace

LoopbackUdpPeer::LoopbackUdpPeer(uint32_t hostOrder) {
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    fd = s == INVALID_SOCKET ? -1 : static_cast<int>(s);
    // A datagram that met a closed port must not fail the next receive.
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
    sockaddr_in address = Loopback(0);
    address.sin_addr.s_addr = htonl(hostOrder);
    int length = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
}

LoopbackUdpPeer::~LoopbackUdpPeer() {
    if (fd >= 0)
        closesocket(AsSocket(fd));
    WSACleanup();
}

bool LoopbackUdpPeer::ReceiveDatagram(Bytes* bytes, uint16_t* senderPort, int32_t timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(AsSocket(fd), &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    sockaddr_in sender{};
    int length = sizeof sender;
    bytes->resize(65536);
    const int n = fd >= 0 && select(0, &set, nullptr, nullptr, &tv) > 0
                      ? recvfrom(AsSocket(fd), reinterpret_cast<char*>(bytes->data()),
                                 static_cast<int>(bytes->size()), 0,
                                 reinterpret_cast<sockaddr*>(&sender), &length)
                      : -1;
    bytes->resize(n > 0 ? static_cast<size_t>(n) : 0);
    *senderPort = ntohs(sender.sin_port);
    return n >= 0;
}

bool LoopbackUdpPeer::SendTo(const Bytes& bytes, uint16_t toPort) {
    const sockaddr_in target = Loopback(toPort);
    return sendto(AsSocket(fd), reinterpret_cast<const char*>(bytes.data()),
                  static_cast<int>(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&target),
                  sizeof target) == static_cast<int>(bytes.size());
}

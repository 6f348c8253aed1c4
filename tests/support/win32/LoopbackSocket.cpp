// The loopback socket on Winsock: the handle is a SOCKET kept in an intptr_t (-1 is
// INVALID_SOCKET). Each open socket holds Winsock (WSAStartup) until its Close.
#include "support/LoopbackSocket.h"

#include <winsock2.h>

#include <mswsock.h>

namespace {

sockaddr_in Address(uint32_t hostOrder, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(hostOrder);
    return address;
}

SOCKET AsSocket(intptr_t handle) {
    return static_cast<SOCKET>(handle);
}

bool WaitFor(intptr_t handle, bool forWrite, int32_t timeoutMs) {
    if (handle == -1)
        return false;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(AsSocket(handle), &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &tv) > 0;
}

void HoldWinsock() {
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);
}

} // namespace

LoopbackSocket::LoopbackSocket(bool stream, uint32_t hostOrder) {
    HoldWinsock();
    handle = static_cast<intptr_t>(socket(AF_INET, stream ? SOCK_STREAM : SOCK_DGRAM, 0));
    // A datagram that met a closed port must not fail the next receive.
    BOOL report = FALSE;
    DWORD returned = 0;
    if (!stream)
        WSAIoctl(AsSocket(handle), SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned,
                 nullptr, nullptr);
    sockaddr_in address = Address(hostOrder, 0);
    int length = sizeof address;
    if (bind(AsSocket(handle), reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        getsockname(AsSocket(handle), reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
}

LoopbackSocket::~LoopbackSocket() {
    Close();
}

bool LoopbackSocket::Listen(int backlog) {
    return listen(AsSocket(handle), backlog) == 0;
}

bool LoopbackSocket::Accept(LoopbackSocket& into, int32_t timeoutMs) {
    const SOCKET s = WaitFor(handle, false, timeoutMs) ? accept(AsSocket(handle), nullptr, nullptr)
                                                       : INVALID_SOCKET;
    if (s == INVALID_SOCKET)
        return false;
    into.Close();
    HoldWinsock();
    into.handle = static_cast<intptr_t>(s);
    return true;
}

int LoopbackSocket::Receive(Bytes& bytes, uint16_t* senderPort, int32_t timeoutMs) {
    sockaddr_in sender{};
    int length = sizeof sender;
    bytes.resize(65536);
    const int n = WaitFor(handle, false, timeoutMs)
                      ? recvfrom(AsSocket(handle), reinterpret_cast<char*>(bytes.data()),
                                 static_cast<int>(bytes.size()), 0,
                                 reinterpret_cast<sockaddr*>(&sender), &length)
                      : -1;
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    if (senderPort != nullptr)
        *senderPort = ntohs(sender.sin_port);
    return n;
}

bool LoopbackSocket::Send(const Bytes& bytes, uint16_t toPort) {
    const sockaddr_in to = Address(INADDR_LOOPBACK, toPort);
    return sendto(AsSocket(handle), reinterpret_cast<const char*>(bytes.data()),
                  static_cast<int>(bytes.size()), 0,
                  toPort == 0 ? nullptr : reinterpret_cast<const sockaddr*>(&to),
                  toPort == 0 ? 0 : sizeof to) == static_cast<int>(bytes.size());
}

bool LoopbackSocket::Connect(uint16_t toPort, int32_t waitMs) {
    const sockaddr_in to = Address(INADDR_LOOPBACK, toPort);
    u_long nonBlocking = 1;
    ioctlsocket(AsSocket(handle), FIONBIO, &nonBlocking);
    return connect(AsSocket(handle), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ||
           WaitFor(handle, true, waitMs);
}

void LoopbackSocket::Close() {
    if (handle == -1)
        return;
    closesocket(AsSocket(handle));
    WSACleanup();
    handle = -1;
}

int OpenHandleCount() {
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) ? static_cast<int>(count) : -1;
}

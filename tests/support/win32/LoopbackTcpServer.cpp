// The loopback TCP peer on Winsock. Socket handles are kept in the header's int fields:
// Windows keeps the significant bits of a handle within 32 bits.
#include "support/LoopbackTcpServer.h"

#include <winsock2.h>

namespace {

SOCKET AsSocket(int fd) {
    return fd < 0 ? INVALID_SOCKET : static_cast<SOCKET>(fd);
}

bool WaitFor(int fd, bool forWrite, int32_t timeoutMs) {
    if (fd < 0)
        return false;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(AsSocket(fd), &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &tv) > 0;
}

void CloseFd(int& fd) {
    if (fd >= 0)
        closesocket(AsSocket(fd));
    fd = -1;
}

} // namespace

LoopbackTcpServer::LoopbackTcpServer(int backlog) {
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    listenFd = s == INVALID_SOCKET ? -1 : static_cast<int>(s);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        listen(s, backlog) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
}

LoopbackTcpServer::~LoopbackTcpServer() {
    CloseFd(clientFd);
    CloseFd(listenFd);
    WSACleanup();
}

bool LoopbackTcpServer::AcceptClient(int32_t timeoutMs) {
    const SOCKET s = WaitFor(listenFd, false, timeoutMs)
                         ? accept(AsSocket(listenFd), nullptr, nullptr)
                         : INVALID_SOCKET;
    if (s == INVALID_SOCKET)
        return false;
    CloseFd(clientFd);
    clientFd = static_cast<int>(s);
    return true;
}

LoopbackTcpServer::Bytes LoopbackTcpServer::ReadRequest(int32_t timeoutMs) {
    Bytes bytes(4096);
    const int n = WaitFor(clientFd, false, timeoutMs)
                      ? recv(AsSocket(clientFd), reinterpret_cast<char*>(bytes.data()),
                             static_cast<int>(bytes.size()), 0)
                      : -1;
    if (n == 0)
        CloseFd(clientFd); // the client has gone
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
}

bool LoopbackTcpServer::WriteAnswer(const Bytes& bytes) {
    // Answers are small: the socket takes them at once or something is wrong.
    return clientFd >= 0 && WaitFor(clientFd, true, 0) &&
           send(AsSocket(clientFd), reinterpret_cast<const char*>(bytes.data()),
                static_cast<int>(bytes.size()), 0) == static_cast<int>(bytes.size());
}

void LoopbackTcpServer::CloseClient() {
    CloseFd(clientFd);
}

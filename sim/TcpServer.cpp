#include "TcpServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "SocketAddress.h"

bool TcpServer::Listen(const std::string &address, uint16_t port, std::string &error) {
    sockaddr_in local{};
    UniqueFd fd = OpenSocket(SOCK_STREAM, address, port, local, error);
    if (!fd.Valid())
        return false;
    // A restart right after a stop must not fail on connections in TIME_WAIT; a port
    // that another program listens on is still refused.
    int one = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr *>(&local), sizeof local) != 0 ||
        ::listen(fd.Get(), 16) != 0) {
        error = "cannot listen on TCP " + SocketAddressText(local) + ": " + std::strerror(errno);
        return false;
    }
    endpoint = BoundAddressText(fd.Get());
    socket = std::move(fd);
    return true;
}

UniqueFd TcpServer::Accept(std::string &peer) {
    sockaddr_in remote{};
    socklen_t length = sizeof remote;
    UniqueFd fd(::accept4(socket.Get(), reinterpret_cast<sockaddr *>(&remote), &length,
                          SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!fd.Valid())
        return fd;
    int one = 1;
    ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    peer = SocketAddressText(remote);
    return fd;
}

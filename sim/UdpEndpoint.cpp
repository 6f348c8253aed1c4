#include "UdpEndpoint.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

#include "SocketAddress.h"

bool UdpEndpoint::Bind(const std::string &address, uint16_t port, std::string &error) {
    sockaddr_in local{};
    UniqueFd fd = OpenSocket(SOCK_DGRAM, address, port, local, error);
    if (!fd.Valid())
        return false;
    if (::bind(fd.Get(), reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        error = "cannot bind UDP " + SocketAddressText(local) + ": " + std::strerror(errno);
        return false;
    }
    endpoint = BoundAddressText(fd.Get());
    socket = std::move(fd);
    return true;
}

ssize_t UdpEndpoint::Receive(uint8_t *buffer, size_t size, sockaddr_in &from) {
    socklen_t length = sizeof from;
    // MSG_TRUNC makes recvfrom report the datagram's real size, so that an oversized
    // one is recognised instead of being taken for its first bytes.
    ssize_t n = ::recvfrom(socket.Get(), buffer, size, MSG_TRUNC,
                           reinterpret_cast<sockaddr *>(&from), &length);
    return n < 0 ? -1 : n;
}

bool UdpEndpoint::Send(const std::vector<uint8_t> &bytes, const sockaddr_in &to) {
    ssize_t n = ::sendto(socket.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                         reinterpret_cast<const sockaddr *>(&to), sizeof to);
    return n == static_cast<ssize_t>(bytes.size());
}

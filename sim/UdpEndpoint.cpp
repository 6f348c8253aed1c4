#include "UdpEndpoint.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

#include "SocketAddress.h"

bool UdpEndpoint::Bind(const std::string &address, uint16_t port, std::string &error) {
    sockaddr_in local{};
    if (!MakeSocketAddress(address, port, local)) {
        error = "not an IPv4 address: " + address;
        return false;
    }
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.Valid()) {
        error = std::string("cannot create a UDP socket: ") + std::strerror(errno);
        return false;
    }
    if (::bind(fd.Get(), reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        error = "cannot bind UDP " + SocketAddressText(local) + ": " + std::strerror(errno);
        return false;
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd.Get(), reinterpret_cast<sockaddr *>(&bound), &length);
    endpoint = SocketAddressText(bound);
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

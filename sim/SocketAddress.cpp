#include "SocketAddress.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>

bool MakeSocketAddress(const std::string &address, uint16_t port, sockaddr_in &out) {
    out = sockaddr_in{};
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return ::inet_pton(AF_INET, address.c_str(), &out.sin_addr) == 1;
}

std::string SocketAddressText(const sockaddr_in &address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

UniqueFd OpenSocket(int type, const std::string &address, uint16_t port, sockaddr_in &local,
                    std::string &error) {
    if (!MakeSocketAddress(address, port, local)) {
        error = "not an IPv4 address: " + address;
        return UniqueFd();
    }
    UniqueFd fd(::socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.Valid())
        error = std::string("cannot create a ") + (type == SOCK_STREAM ? "TCP" : "UDP") +
                " socket: " + std::strerror(errno);
    return fd;
}

std::string BoundAddressText(int fd) {
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &length);
    return SocketAddressText(bound);
}

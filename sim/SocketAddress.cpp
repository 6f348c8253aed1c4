#include "SocketAddress.h"

#include <arpa/inet.h>

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

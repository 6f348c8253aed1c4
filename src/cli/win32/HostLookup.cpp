#include "cli/HostLookup.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "comm/win32/WinsockSupport.h"

std::string LookUpHost(const std::string& host) {
    // The Windows transports take dotted IPv4 only, so only an IPv4 address will do.
    if (host.empty() || !winsock_support::StartWinsock())
        return "";
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    std::string text;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) == 0) {
        char address[INET_ADDRSTRLEN] = {};
        const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
        if (inet_ntop(AF_INET, &ipv4->sin_addr, address, sizeof address) != nullptr)
            text = address;
        freeaddrinfo(list);
    }
    winsock_support::StopWinsock();
    return text;
}

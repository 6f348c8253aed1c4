#include "cli/HostLookup.h"

#include <netdb.h>
#include <sys/socket.h>

std::string LookUpHost(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM; // one entry per address, not one per socket type
    addrinfo* list = nullptr;
    if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0)
        return "";
    const addrinfo* chosen = list;
    for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET) {
            chosen = entry;
            break;
        }
    }
    char text[NI_MAXHOST] = {};
    const bool named = ::getnameinfo(chosen->ai_addr, chosen->ai_addrlen, text, sizeof text,
                                     nullptr, 0, NI_NUMERICHOST) == 0;
    ::freeaddrinfo(list);
    return named ? text : "";
}

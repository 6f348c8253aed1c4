#include "comm/posix/SocketSupport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "comm/Deadline.h"
#include "comm/posix/CancellableWait.h"

namespace socket_support {

bool MakeNumericAddress(const std::string& text, uint32_t port, int socketType,
                        NumericAddress* out) {
    if (out == nullptr || text.empty() || text.find('\0') != std::string::npos)
        return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = socketType;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port & 0xFFFFu);
    if (getaddrinfo(text.c_str(), service.c_str(), &hints, &list) != 0)
        return false;
    const bool fits = (list->ai_family == AF_INET || list->ai_family == AF_INET6) &&
                      list->ai_addrlen <= sizeof(sockaddr_storage);
    if (fits) {
        *out = NumericAddress{};
        std::memcpy(&out->address, list->ai_addr, list->ai_addrlen);
        out->length = list->ai_addrlen;
    }
    freeaddrinfo(list);
    return fits;
}

sockaddr_in MakeAnyAddress(uint32_t port) {
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port & 0xFFFFu));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    return address;
}

timeval MillisecondsToTimeval(uint32_t ms) {
    if (ms == 0)
        ms = 1;
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms / 1000u);
    tv.tv_usec = static_cast<suseconds_t>((ms % 1000u) * 1000u);
    return tv;
}

bool SetTimeoutOption(int fd, int option, uint32_t ms) {
    const timeval tv = MillisecondsToTimeval(ms);
    return setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv) == 0;
}

int WaitForSocket(int fd, short events, int32_t timeoutMs) {
    if (fd < 0)
        return -1;
    const Deadline deadline(timeoutMs);
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = PollOrCancel(entry, deadline.RemainingMs());
        if (ready == kWaitCancelled)
            return 0;
        if (ready > 0)
            return (entry.revents & POLLNVAL) ? -1 : entry.revents;
        if (ready == 0)
            return 0;
        if (errno != EINTR)
            return -1;
        if (deadline.Expired())
            return 0;
    }
}

int32_t ClampWaitMs(uint32_t ms) {
    return ms > static_cast<uint32_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(ms);
}

void CloseSocket(int fd) {
    if (fd >= 0)
        close(fd);
}

} // namespace socket_support

#include "WireClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "comm/Deadline.h"

namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

WireClient::~WireClient() {
    Close();
}

void WireClient::Close() {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool WireClient::OpenTcp(uint16_t port) {
    Close();
    kind = Kind::Tcp;
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(port);
    return fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
}

bool WireClient::OpenUdp(uint16_t port) {
    Close();
    kind = Kind::Udp;
    fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    // connect() only fixes the destination; the simulator answers the sender's address.
    sockaddr_in address = Loopback(port);
    return fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
}

bool WireClient::OpenSerial(const std::string &path) {
    Close();
    kind = Kind::Serial;
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (fd < 0 || ::tcgetattr(fd, &settings) != 0)
        return false;
    ::cfmakeraw(&settings);
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

bool WireClient::Send(const Bytes &bytes) {
    ssize_t n = kind == Kind::Serial ? ::write(fd, bytes.data(), bytes.size())
                                     : ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    return n == static_cast<ssize_t>(bytes.size());
}

WireClient::Bytes WireClient::ReceiveCount(size_t count, int timeoutMs) {
    Bytes received;
    Deadline deadline(timeoutMs);
    while (received.size() < count) {
        Bytes more = ReceiveAny(deadline.RemainingMs());
        if (more.empty())
            break;
        received.insert(received.end(), more.begin(), more.end());
    }
    return received;
}

WireClient::Bytes WireClient::ReceiveAny(int timeoutMs) {
    pollfd watch{fd, POLLIN, 0};
    Deadline deadline(timeoutMs);
    for (;;) {
        int ready = ::poll(&watch, 1, deadline.RemainingMs());
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return {};
        Bytes buffer(4096);
        ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        buffer.resize(static_cast<size_t>(n));
        return buffer;
    }
}

WireClient::Bytes WireClient::Exchange(const Bytes &request, size_t count, int timeoutMs) {
    if (!Send(request))
        return {};
    return ReceiveCount(count, timeoutMs);
}

#include "comm/UdpCommunication.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include "comm/Deadline.h"
#include "comm/posix/SocketSupport.h"

using namespace socket_support;

static_assert(sizeof(sockaddr_in6) == 28, "the remote address storage holds one sockaddr_in6");

namespace {
constexpr int kMaxDiscardedDatagrams = 64;

// The remote address, IPv4 or IPv6, as kept in the object's opaque storage.
struct Remote {
    sockaddr_in6 address; // large enough for a sockaddr_in too; the family tells which
    socklen_t Length() const {
        return address.sin6_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    }
};

// True when a datagram's sender has the remote's IP address (any port).
bool SameHost(const sockaddr_storage& sender, const sockaddr_in6& remote) {
    if (sender.ss_family != remote.sin6_family)
        return false;
    if (remote.sin6_family == AF_INET6)
        return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(sender).sin6_addr,
                           &remote.sin6_addr, sizeof remote.sin6_addr) == 0;
    return reinterpret_cast<const sockaddr_in&>(sender).sin_addr.s_addr ==
           reinterpret_cast<const sockaddr_in&>(remote).sin_addr.s_addr;
}

} // namespace

UdpCommunication::~UdpCommunication() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    ReleaseSocket();
}

bool UdpCommunication::Initialize() {
    socketStarted = true;
    return true;
}

bool UdpCommunication::Configure(const void* config) {
    if (config == nullptr)
        return false;
    settings = *static_cast<const UdpConfig*>(config);
    return true;
}

bool UdpCommunication::Open() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (isOpen)
        Close();

    NumericAddress remote;
    if (!MakeNumericAddress(settings.remoteIp, settings.remotePort, SOCK_DGRAM, &remote))
        return false;
    const int family = remote.address.ss_family;
    // The local address must be of the remote's family; every local address when it is not
    // or does not parse.
    NumericAddress local{};
    if (!MakeNumericAddress(settings.localIp, settings.localPort, SOCK_DGRAM, &local) ||
        local.address.ss_family != family) {
        local = NumericAddress{};
        if (family == AF_INET6) {
            auto& any = reinterpret_cast<sockaddr_in6&>(local.address);
            any.sin6_family = AF_INET6;
            any.sin6_addr = in6addr_any;
            any.sin6_port = htons(static_cast<uint16_t>(settings.localPort & 0xFFFFu));
            local.length = sizeof any;
        } else {
            const sockaddr_in any = MakeAnyAddress(settings.localPort);
            std::memcpy(&local.address, &any, sizeof any);
            local.length = sizeof any;
        }
    }

    const int fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0)
        return false;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local.address), local.length) != 0) {
        CloseSocket(fd);
        return false;
    }
    if (SetTimeoutOption(fd, SO_RCVTIMEO, settings.timeoutMs)) {
        SetTimeoutOption(fd, SO_SNDTIMEO, settings.timeoutMs);
    }
    std::memset(remoteAddress, 0, sizeof remoteAddress);
    std::memcpy(remoteAddress, &remote.address, remote.length);
    socketHandle = fd;
    isOpen = true;
    return true;
}

void UdpCommunication::Close() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    ReleaseSocket();
}

bool UdpCommunication::IsOpen() {
    return isOpen;
}

int32_t UdpCommunication::Send(const uint8_t* data, int32_t length) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!isOpen || socketHandle == kInvalidSocket)
        return -1;
    if (length < 0 || (data == nullptr && length > 0))
        return -1;
    Remote remote;
    std::memcpy(&remote.address, remoteAddress, sizeof remote.address);
    const ssize_t sent =
        sendto(static_cast<int>(socketHandle), data, static_cast<size_t>(length), MSG_NOSIGNAL,
               reinterpret_cast<const sockaddr*>(&remote.address), remote.Length());
    return sent < 0 ? -1 : static_cast<int32_t>(sent);
}

int32_t UdpCommunication::Receive(uint8_t* buffer, int32_t size, int32_t timeoutMs) {
    if (!isOpen || socketHandle == kInvalidSocket)
        return -1;
    if (size < 0 || (buffer == nullptr && size > 0))
        return -1;
    const int fd = static_cast<int>(socketHandle);
    Remote remote;
    std::memcpy(&remote.address, remoteAddress, sizeof remote.address);
    const Deadline deadline(timeoutMs);
    for (;;) {
        if (WaitForSocket(fd, POLLIN, deadline.RemainingMs()) <= 0)
            return 0;
        // recvmsg rather than recvfrom: MSG_TRUNC in msg_flags tells a datagram that did
        // not fit, which must not pass for a complete answer.
        sockaddr_storage sender{};
        iovec part{buffer, static_cast<size_t>(size)};
        msghdr message{};
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        const ssize_t received = recvmsg(fd, &message, MSG_DONTWAIT);
        if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            continue;
        // Another host's datagram is no answer of the board, however well-formed.
        if (received >= 0 && !SameHost(sender, remote.address))
            continue;
        if (received < 0 || (message.msg_flags & MSG_TRUNC) != 0)
            return -1;
        return static_cast<int32_t>(received);
    }
}

void UdpCommunication::SetAnswerCheck(AnswerCheck) {}

int32_t UdpCommunication::DiscardPending(uint8_t* buffer, int32_t size) {
    if (!isOpen || socketHandle == kInvalidSocket)
        return -1;
    if (size < 0 || (buffer == nullptr && size > 0))
        return -1;
    int32_t got = 0;
    // Bounded, so that a sender that never stops cannot hold the caller here.
    for (int datagrams = 0; datagrams < kMaxDiscardedDatagrams; ++datagrams) {
        // A zero-length read still takes one whole datagram off the queue.
        const ssize_t n = recv(static_cast<int>(socketHandle), buffer + got,
                               static_cast<size_t>(size - got), MSG_DONTWAIT | MSG_TRUNC);
        if (n >= 0) {
            got += static_cast<int32_t>(std::min<ssize_t>(n, size - got));
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return got;
        return -1;
    }
    return got;
}

void UdpCommunication::ReleaseSocket() {
    if (socketHandle != kInvalidSocket) {
        CloseSocket(static_cast<int>(socketHandle));
        socketHandle = kInvalidSocket;
    }
    isOpen = false;
}

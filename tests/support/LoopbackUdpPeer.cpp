#include "support/LoopbackUdpPeer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "comm/Deadline.h"

namespace {

int PollUntil(pollfd *fds, nfds_t count, const Deadline &deadline) {
    for (;;) {
        const int ready = poll(fds, count, deadline.RemainingMs());
        if (ready >= 0 || errno != EINTR)
            return ready;
    }
}

void CloseFd(int &fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

sockaddr_in Loopback(uint16_t port, uint32_t hostOrderAddress = INADDR_LOOPBACK) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(hostOrderAddress);
    address.sin_port = htons(port);
    return address;
}

constexpr size_t kMaxDatagram = 65536;

} // namespace

LoopbackUdpPeer::LoopbackUdpPeer() {
    if (pipe2(stopPipe, O_CLOEXEC) != 0)
        return;
    fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0)
        return;
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        CloseFd(fd);
        return;
    }
    port = ntohs(address.sin_port);
}

LoopbackUdpPeer::~LoopbackUdpPeer() {
    StopScripted();
    CloseFd(fd);
    CloseFd(stopPipe[0]);
    CloseFd(stopPipe[1]);
}

bool LoopbackUdpPeer::ReceiveDatagram(Datagram *out, int32_t timeoutMs) {
    if (fd < 0 || out == nullptr)
        return false;
    const Deadline deadline(timeoutMs);
    for (;;) {
        pollfd entry{fd, POLLIN, 0};
        if (PollUntil(&entry, 1, deadline) <= 0)
            return false;
        Bytes bytes(kMaxDatagram);
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        const ssize_t received = recvfrom(fd, bytes.data(), bytes.size(), MSG_DONTWAIT,
                                          reinterpret_cast<sockaddr *>(&sender), &length);
        if (received < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            return false;
        }
        bytes.resize(static_cast<size_t>(received));
        out->bytes = std::move(bytes);
        out->senderAddress = ntohl(sender.sin_addr.s_addr);
        out->senderPort = ntohs(sender.sin_port);
        return true;
    }
}

bool LoopbackUdpPeer::SendTo(const Bytes &bytes, uint16_t toPort, uint32_t toAddress) {
    // Tests may talk to this machine only.
    if (fd < 0 || (toAddress >> 24) != 127)
        return false;
    const sockaddr_in target = Loopback(toPort, toAddress);
    const ssize_t sent = sendto(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr *>(&target), sizeof target);
    return sent == static_cast<ssize_t>(bytes.size());
}

bool LoopbackUdpPeer::StartScripted(Responder answer) {
    if (worker.joinable() || fd < 0 || stopPipe[0] < 0)
        return false;
    responder = std::move(answer);
    worker = std::thread([this] { ServeLoop(); });
    return true;
}

void LoopbackUdpPeer::StopScripted() {
    if (!worker.joinable())
        return;
    const uint8_t wake = 1;
    while (write(stopPipe[1], &wake, 1) < 0 && errno == EINTR) {
    }
    worker.join();
    uint8_t drained;
    while (read(stopPipe[0], &drained, 1) < 0 && errno == EINTR) {
    }
}

std::vector<LoopbackUdpPeer::Bytes> LoopbackUdpPeer::Requests() const {
    std::lock_guard<std::mutex> guard(requestsLock);
    return requests;
}

void LoopbackUdpPeer::ServeLoop() {
    // Each round waits at most one second, so a lost wake-up cannot hang the join.
    for (;;) {
        pollfd fds[2] = {{stopPipe[0], POLLIN, 0}, {fd, POLLIN, 0}};
        if (PollUntil(fds, 2, Deadline(1000)) < 0)
            return;
        if (fds[0].revents != 0)
            return;
        Datagram request;
        if (fds[1].revents == 0 || !ReceiveDatagram(&request, 0))
            continue;
        {
            std::lock_guard<std::mutex> guard(requestsLock);
            requests.push_back(request.bytes);
        }
        const Bytes answer = responder ? responder(request.bytes) : Bytes();
        if (!answer.empty())
            SendTo(answer, request.senderPort, request.senderAddress);
    }
}

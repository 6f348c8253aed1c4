// The UDP transport on Winsock 2.
#include "comm/UdpCommunication.h"

#include <cstring>
#include <mswsock.h>

#include "comm/Deadline.h"
#include "comm/win32/WinsockSupport.h"

using namespace winsock_support;

static_assert(sizeof(sockaddr_in) == 16, "the remote address storage holds one sockaddr_in");

namespace {

// Without this, a datagram that met a closed port makes the next receive fail with
// WSAECONNRESET, which would turn a board that was briefly away into a read error.
void IgnorePortUnreachable(SOCKET s) {
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
}

} // namespace

UdpCommunication::~UdpCommunication() {
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        ReleaseSocket();
    }
    StopWinsockOnce(socketStarted);
}

bool UdpCommunication::Initialize() {
    return StartWinsockOnce(socketStarted);
}

bool UdpCommunication::Configure(const void* config) {
    return CopySettings(config, settings);
}

bool UdpCommunication::Open() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (isOpen)
        Close();

    sockaddr_in remote{};
    if (!MakeIPv4Address(settings.remoteIp, settings.remotePort, &remote))
        return false;
    sockaddr_in local{};
    if (!MakeIPv4Address(settings.localIp, settings.localPort, &local)) {
        local.sin_family = AF_INET;
        local.sin_port = htons(static_cast<u_short>(settings.localPort & 0xFFFF));
        local.sin_addr.s_addr = htonl(INADDR_ANY);
    }

    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return false;
    if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        CloseSocket(s);
        return false;
    }
    IgnorePortUnreachable(s);
    if (SetTimeoutOption(s, SO_RCVTIMEO, settings.timeoutMs))
        SetTimeoutOption(s, SO_SNDTIMEO, settings.timeoutMs);
    std::memcpy(remoteAddress, &remote, sizeof remote);
    socketHandle = static_cast<std::intptr_t>(s);
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
    if (!isOpen || socketHandle == kInvalidSocket || !IsBuffer(data, length))
        return -1;
    sockaddr_in remote;
    std::memcpy(&remote, remoteAddress, sizeof remote);
    const int sent = sendto(AsSocket(socketHandle), reinterpret_cast<const char*>(data), length, 0,
                            reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
    return sent == SOCKET_ERROR ? -1 : sent;
}

int32_t UdpCommunication::Receive(uint8_t* buffer, int32_t size, int32_t timeoutMs) {
    if (!isOpen || socketHandle == kInvalidSocket || !IsBuffer(buffer, size))
        return -1;
    const SOCKET s = AsSocket(socketHandle);
    sockaddr_in remote;
    std::memcpy(&remote, remoteAddress, sizeof remote);

    const Deadline deadline(timeoutMs);
    for (;;) {
        if (WaitReadable(s, deadline.RemainingMs()) <= 0)
            return 0;
        sockaddr_in sender{};
        int senderLength = sizeof sender;
        // A datagram larger than size fails with WSAEMSGSIZE and is dropped by the system;
        // its sender is filled in all the same.
        const int received = recvfrom(s, reinterpret_cast<char*>(buffer), size, 0,
                                      reinterpret_cast<sockaddr*>(&sender), &senderLength);
        if (received == SOCKET_ERROR && WSAGetLastError() != WSAEMSGSIZE)
            return -1;
        // Only the board answers: a datagram from any other host, however large, is
        // dropped unseen.
        if (sender.sin_addr.s_addr == remote.sin_addr.s_addr)
            return received == SOCKET_ERROR ? -1 : received;
        if (deadline.Expired())
            return 0;
    }
}

void UdpCommunication::SetAnswerCheck(AnswerCheck) {}

int32_t UdpCommunication::DiscardPending(uint8_t* buffer, int32_t size) {
    if (!isOpen || socketHandle == kInvalidSocket || !IsBuffer(buffer, size))
        return -1;
    const SOCKET s = AsSocket(socketHandle);
    int32_t got = 0;
    char spill[1]; // takes a datagram off the queue once the buffer is full
    // Bounded, so that a sender that never stops cannot hold the caller here.
    for (int datagrams = 0; datagrams < 64 && WaitReadable(s, 0) > 0; ++datagrams) {
        const bool full = got == size;
        const int n =
            recv(s, full ? spill : reinterpret_cast<char*>(buffer + got), full ? 1 : size - got, 0);
        if (n != SOCKET_ERROR) {
            got += full ? 0 : n;
        } else if (WSAGetLastError() == WSAEMSGSIZE) {
            got = full ? got : size; // the part that fitted was taken, the rest dropped
        } else {
            return -1;
        }
    }
    return got;
}

void UdpCommunication::ReleaseSocket() {
    ReleaseSocketHandle(socketHandle, kInvalidSocket);
    isOpen = false;
}

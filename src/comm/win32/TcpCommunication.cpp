// The TCP client transport on Winsock 2.
#include "comm/TcpCommunication.h"

#include "comm/win32/WinsockSupport.h"

using namespace winsock_support;

namespace {

// Connects s without blocking longer than timeoutMs; a refused connection ends at once.
bool ConnectWithin(SOCKET s, const sockaddr_in& address, uint32_t timeoutMs) {
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            return false;
        if (!WaitConnected(s, timeoutMs))
            return false;
    }
    u_long blocking = 0;
    ioctlsocket(s, FIONBIO, &blocking);
    return true;
}

} // namespace

TcpCommunication::~TcpCommunication() {
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        ReleaseSocket();
    }
    StopWinsockOnce(socketStarted);
}

bool TcpCommunication::Initialize() {
    return StartWinsockOnce(socketStarted);
}

bool TcpCommunication::Configure(const void* config) {
    return CopySettings(config, settings);
}

bool TcpCommunication::Open() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (isOpen)
        Close();

    sockaddr_in address{};
    if (!MakeIPv4Address(settings.serverIp, settings.port, &address))
        return false;
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return false;
    if (!ConnectWithin(s, address, settings.timeoutMs)) {
        CloseSocket(s);
        return false;
    }
    SetTimeoutOption(s, SO_RCVTIMEO, settings.timeoutMs);
    SetTimeoutOption(s, SO_SNDTIMEO, settings.timeoutMs);
    socketHandle = static_cast<std::intptr_t>(s);
    isOpen = true;
    return true;
}

void TcpCommunication::Close() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    ReleaseSocket();
}

bool TcpCommunication::IsOpen() {
    return isOpen;
}

int32_t TcpCommunication::Send(const uint8_t* data, int32_t length) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!isOpen || socketHandle == kInvalidSocket || !IsBuffer(data, length))
        return -1;
    const int sent = send(AsSocket(socketHandle), reinterpret_cast<const char*>(data), length, 0);
    return sent == SOCKET_ERROR ? -1 : sent;
}

int32_t TcpCommunication::Receive(uint8_t* buffer, int32_t size, int32_t timeoutMs) {
    if (!isOpen || socketHandle == kInvalidSocket || !IsBuffer(buffer, size))
        return -1;
    const SOCKET s = AsSocket(socketHandle);
    const int ready = WaitReadable(s, timeoutMs);
    if (ready <= 0)
        return ready == 0 ? kReceiveNothing : kReceiveFailed;
    // A closed peer makes the socket readable at once and recv return 0 on every call.
    const int received = recv(s, reinterpret_cast<char*>(buffer), size, 0);
    if (received > 0)
        return received;
    if (received == 0)
        return size == 0 ? kReceiveNothing : kReceiveClosed;
    const int error = WSAGetLastError();
    if (error == WSAECONNRESET || error == WSAECONNABORTED)
        return kReceiveClosed;
    return error == WSAETIMEDOUT ? kReceiveNothing : kReceiveFailed;
}

void TcpCommunication::SetAnswerCheck(AnswerCheck) {}

int32_t TcpCommunication::DiscardPending(uint8_t* buffer, int32_t size) {
    if (!isOpen || socketHandle == kInvalidSocket || !IsBuffer(buffer, size))
        return -1;
    const SOCKET s = AsSocket(socketHandle);
    int32_t got = 0;
    // Readable now means recv does not block: bytes, or 0 for a peer that has closed.
    while (got < size && WaitReadable(s, 0) > 0) {
        const int n = recv(s, reinterpret_cast<char*>(buffer + got), size - got, 0);
        const bool reset = n == SOCKET_ERROR && (WSAGetLastError() == WSAECONNRESET ||
                                                 WSAGetLastError() == WSAECONNABORTED);
        // A close is told only when nothing came before it; the next call tells it then.
        if (n == 0 || reset)
            return got > 0 ? got : kReceiveClosed;
        if (n == SOCKET_ERROR)
            return kReceiveFailed;
        got += n;
    }
    return got;
}

void TcpCommunication::ReleaseSocket() {
    ReleaseSocketHandle(socketHandle, kInvalidSocket);
    isOpen = false;
}

#pragma once

// The few socket calls in which Winsock differs from POSIX, for LoopbackSocket.cpp (see
// posix/SocketApi.h). Winsock is started with the first socket and stays up.
#include <winsock2.h>

#include <mswsock.h>

namespace socket_api {

using Socket = SOCKET;
using Length = int;
constexpr int kSendFlags = 0;

// A datagram socket that met a closed port must not fail its next receive.
inline Socket Open(bool stream) {
    static WSADATA data;
    static const bool started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    const Socket s =
        started ? socket(AF_INET, stream ? SOCK_STREAM : SOCK_DGRAM, 0) : INVALID_SOCKET;
    BOOL report = FALSE;
    DWORD returned = 0;
    if (!stream)
        WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr,
                 nullptr);
    return s;
}
inline void Close(Socket s) {
    closesocket(s);
}
inline void SetNonBlocking(Socket s) {
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
}
inline bool WaitFor(Socket s, bool forWrite, int32_t timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &tv) > 0;
}
inline int OpenHandles() {
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) ? static_cast<int>(count) : -1;
}

} // namespace socket_api

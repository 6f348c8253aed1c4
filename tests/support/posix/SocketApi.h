#pragma once

// The few socket calls in which POSIX and Winsock differ, for LoopbackSocket.cpp; the
// Winsock ones are in win32/SocketApi.h (CMake puts one of the two folders on the path).
#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/OpenDescriptors.h"

namespace socket_api {

using Socket = int;
using Length = socklen_t;
// A send never raises SIGPIPE and never waits for room.
constexpr int kSendFlags = MSG_NOSIGNAL | MSG_DONTWAIT;

inline Socket Open(bool stream) {
    return socket(AF_INET, (stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
}
inline void Close(Socket s) {
    close(s);
}
inline void SetNonBlocking(Socket s) {
    fcntl(s, F_SETFL, O_NONBLOCK);
}
// True when s turned readable (forWrite: writable) within timeoutMs.
inline bool WaitFor(Socket s, bool forWrite, int32_t timeoutMs) {
    pollfd p{s, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    return poll(&p, 1, timeoutMs) > 0;
}
inline int OpenHandles() {
    return CountOpenDescriptors();
}

} // namespace socket_api

#include "comm/win32/WinsockSupport.h"

#include <algorithm>
#include <cstring>
#include <ws2tcpip.h>

#include "comm/CancelSignal.h"
#include "comm/Deadline.h"

namespace winsock_support {

namespace {

// The longest a socket wait goes without looking at the thread's cancel signal.
constexpr int32_t kCancelSliceMs = 20;

timeval ToTimeval(int32_t ms) {
    if (ms < 0)
        ms = 0;
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return tv;
}

} // namespace

bool StartWinsock() {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void StopWinsock() {
    WSACleanup();
}

bool StartWinsockOnce(bool& started) {
    if (!started)
        started = StartWinsock();
    return started;
}

void StopWinsockOnce(bool& started) {
    if (started)
        StopWinsock();
    started = false;
}

void ReleaseSocketHandle(std::intptr_t& handle, std::intptr_t invalid) {
    if (handle != invalid) {
        CloseSocket(static_cast<SOCKET>(handle));
        handle = invalid;
    }
}

bool MakeIPv4Address(const std::string& text, uint32_t port, sockaddr_in* out) {
    if (text.empty() || std::strlen(text.c_str()) != text.size())
        return false;
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port & 0xFFFF));
    address.sin_addr = parsed;
    *out = address;
    return true;
}

bool SetTimeoutOption(SOCKET s, int option, uint32_t ms) {
    const DWORD value = ms == 0 ? 1 : ms;
    return setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&value), sizeof value) ==
           0;
}

int WaitReadable(SOCKET s, int32_t timeoutMs) {
    // select() cannot watch an event: the wait goes in slices, each followed by a look at
    // the thread's cancel signal.
    const Deadline deadline(timeoutMs);
    for (;;) {
        if (CancelSignal::CurrentRaised())
            return 0;
        fd_set readSet;
        FD_ZERO(&readSet);
        FD_SET(s, &readSet);
        timeval tv = ToTimeval(std::min(deadline.RemainingMs(), kCancelSliceMs));
        // Winsock ignores the first argument; it is given as the socket plus one all the same.
        const int r = select(static_cast<int>(s) + 1, &readSet, nullptr, nullptr, &tv);
        if (r != 0 || deadline.Expired())
            return r == SOCKET_ERROR ? -1 : r;
    }
}

bool WaitConnected(SOCKET s, uint32_t timeoutMs) {
    const Deadline deadline(timeoutMs > INT32_MAX ? INT32_MAX : static_cast<int32_t>(timeoutMs));
    fd_set writeSet;
    fd_set failSet;
    int r = 0;
    for (;;) {
        if (CancelSignal::CurrentRaised())
            return false;
        FD_ZERO(&writeSet);
        FD_ZERO(&failSet);
        FD_SET(s, &writeSet);
        FD_SET(s, &failSet);
        timeval tv = ToTimeval(std::min(deadline.RemainingMs(), kCancelSliceMs));
        r = select(static_cast<int>(s) + 1, nullptr, &writeSet, &failSet, &tv);
        if (r != 0 || deadline.Expired())
            break;
    }
    if (r <= 0 || FD_ISSET(s, &failSet))
        return false;
    int pending = 0;
    int length = sizeof pending;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending), &length) != 0)
        return false;
    return pending == 0;
}

void CloseSocket(SOCKET s) {
    if (s != INVALID_SOCKET)
        closesocket(s);
}

} // namespace winsock_support

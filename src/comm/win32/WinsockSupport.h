#pragma once

#include <cstdint>
#include <string>

#include <winsock2.h>

// Small Winsock helpers shared by the TCP and UDP transports.
namespace winsock_support {

// Starts Winsock 2.2 for one transport object; false when the system refuses.
bool StartWinsock();
// Releases one start made by StartWinsock.
void StopWinsock();
// StartWinsock for a transport that has not started it yet: started records the start, so
// that the transport's destructor releases exactly one. False when the system refuses.
bool StartWinsockOnce(bool& started);
// Releases the start StartWinsockOnce recorded in started, if any.
void StopWinsockOnce(bool& started);

// Copies a transport's settings record; false for none.
template <typename Settings> bool CopySettings(const void* config, Settings& out) {
    if (config == nullptr)
        return false;
    out = *static_cast<const Settings*>(config);
    return true;
}

// The socket a transport keeps as an integer handle.
inline SOCKET AsSocket(std::intptr_t handle) {
    return static_cast<SOCKET>(handle);
}
// Closes the socket kept in handle, if any; handle then holds invalid.
void ReleaseSocketHandle(std::intptr_t& handle, std::intptr_t invalid);
// Whether data and length make a buffer a send or receive may use: no negative length, and
// data present whenever length is not 0.
inline bool IsBuffer(const void* data, int32_t length) {
    return length >= 0 && (data != nullptr || length == 0);
}

// Fills a zeroed IPv4 socket address from a dotted-decimal text and the low 16 bits of
// port. False (out untouched) for host names, IPv6, spaces, an empty text or an
// embedded NUL.
bool MakeIPv4Address(const std::string& text, uint32_t port, sockaddr_in* out);

// Sets SO_RCVTIMEO or SO_SNDTIMEO (option) to ms as the DWORD Winsock wants. 0 ms
// becomes 1 ms, because 0 would switch the time-out off and let a call block forever.
bool SetTimeoutOption(SOCKET s, int option, uint32_t ms);

// Waits at most timeoutMs (negative counts as 0) until s is readable: > 0 when it is,
// 0 when the time ran out or the thread's cancel signal was raised, -1 when the wait failed.
int WaitReadable(SOCKET s, int32_t timeoutMs);

// Waits at most timeoutMs for a non-blocking connect to end: true only when it
// succeeded. A refused connection shows in the exception set and ends the wait at once, and
// so does the thread's cancel signal (false).
bool WaitConnected(SOCKET s, uint32_t timeoutMs);

// Closes s if it is valid.
void CloseSocket(SOCKET s);

} // namespace winsock_support

#pragma once

#include <cstdint>
#include <string>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

// Small POSIX socket helpers shared by the TCP and UDP transports.
namespace socket_support {

// A socket address of either family, with its length.
struct NumericAddress {
    sockaddr_storage address;
    socklen_t length;
};

// Fills out from a numeric IPv4 or IPv6 text (no brackets) and the low 16 bits of port,
// without asking any name service. False (out untouched) for a host name, spaces, an empty
// text or an embedded NUL.
bool MakeNumericAddress(const std::string& text, uint32_t port, int socketType,
                        NumericAddress* out);

// The address 0.0.0.0 (every local address) with the low 16 bits of port.
sockaddr_in MakeAnyAddress(uint32_t port);

// A send or receive time-out as the socket options want it. 0 ms becomes 1 ms,
// because a zero timeval would switch the time-out off and let a call block forever.
timeval MillisecondsToTimeval(uint32_t ms);

// Sets SO_RCVTIMEO or SO_SNDTIMEO (option) of fd to ms; false when the system refuses.
bool SetTimeoutOption(int fd, int option, uint32_t ms);

// Waits until fd reports one of events (POLLIN, POLLOUT), an error or a hang-up, for at
// most timeoutMs (negative counts as 0). A signal does not end the wait early: it
// resumes until the same deadline; the calling thread's cancel signal ends it as if the time
// had run out. Returns the reported events (> 0), 0 when the time
// ran out, -1 when the wait itself failed or fd is not an open descriptor.
int WaitForSocket(int fd, short events, int32_t timeoutMs);

// A millisecond setting clamped to the range a single wait accepts.
int32_t ClampWaitMs(uint32_t ms);

// Closes fd if it is valid (>= 0). Never retried: Linux releases the descriptor even
// when close reports EINTR, and a retry could close a descriptor opened meanwhile.
void CloseSocket(int fd);

} // namespace socket_support

#pragma once

#include <cstdint>
#include <netinet/in.h>
#include <string>

#include "UniqueFd.h"

// Fills `out` from a dotted IPv4 address and a port; false when the text does not parse.
bool MakeSocketAddress(const std::string &address, uint16_t port, sockaddr_in &out);
// "address:port".
std::string SocketAddressText(const sockaddr_in &address);
// A non-blocking, close-on-exec IPv4 socket of `type` (SOCK_STREAM or SOCK_DGRAM) for
// address:port, which is also stored in `local`; invalid, with `error` set, when the
// address does not parse or the socket cannot be made.
UniqueFd OpenSocket(int type, const std::string &address, uint16_t port, sockaddr_in &local,
                    std::string &error);
// Where a bound socket ended up, as "address:port" (the system's choice for port 0).
std::string BoundAddressText(int fd);

#pragma once

#include <cstdint>
#include <netinet/in.h>
#include <string>

// Fills `out` from a dotted IPv4 address and a port; false when the text does not parse.
bool MakeSocketAddress(const std::string &address, uint16_t port, sockaddr_in &out);
// "address:port".
std::string SocketAddressText(const sockaddr_in &address);

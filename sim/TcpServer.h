#pragma once

#include <cstdint>
#include <string>

#include "UniqueFd.h"

// The listening TCP socket. Connections come out of Accept() non-blocking,
// close-on-exec and without Nagle's delay, so that each answer leaves at once.
class TcpServer {
public:
    // Listens on the IPv4 `address` and `port` (0: the system chooses). False with the
    // reason in `error` when the address does not parse or the port is taken.
    bool Listen(const std::string &address, uint16_t port, std::string &error);
    int Fd() const { return socket.Get(); }
    // "127.0.0.1:40123", with the port actually bound.
    const std::string &Endpoint() const { return endpoint; }
    // One waiting connection, with "address:port" of the peer in `peer`; an invalid
    // descriptor when none is waiting or accepting failed.
    UniqueFd Accept(std::string &peer);

private:
    UniqueFd socket;
    std::string endpoint;
};

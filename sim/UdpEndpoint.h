#pragma once

#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <string>
#include <sys/types.h>
#include <vector>

#include "UniqueFd.h"

// The bound UDP socket: one request per datagram, the answer back to its sender.
class UdpEndpoint {
public:
    // Binds the IPv4 `address` and `port` (0: the system chooses). False with the
    // reason in `error`.
    bool Bind(const std::string &address, uint16_t port, std::string &error);
    int Fd() const { return socket.Get(); }
    const std::string &Endpoint() const { return endpoint; }
    // One waiting datagram into `buffer`: the datagram's full size (larger than
    // `size` when it was cut), or -1 when none is waiting.
    ssize_t Receive(uint8_t *buffer, size_t size, sockaddr_in &from);
    // One datagram to `to`; false when the system refused it.
    bool Send(const std::vector<uint8_t> &bytes, const sockaddr_in &to);

private:
    UniqueFd socket;
    std::string endpoint;
};

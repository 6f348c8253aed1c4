#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A plain client of the simulator for tests that look at the bytes on the wire: a TCP
// connection, a UDP socket or the pseudo-terminal's slave side. Every wait is bounded.
class WireClient {
public:
    enum class Kind { Tcp, Udp, Serial };
    using Bytes = std::vector<uint8_t>;

    WireClient() = default;
    ~WireClient();
    WireClient(const WireClient &) = delete;
    WireClient &operator=(const WireClient &) = delete;

    // Connects to 127.0.0.1:port (TCP), or sends to it from an ephemeral port (UDP).
    bool OpenTcp(uint16_t port);
    bool OpenUdp(uint16_t port);
    // Opens a pseudo-terminal slave (or its symlink) in raw mode.
    bool OpenSerial(const std::string &path);
    void Close();

    // One write (TCP, serial) or one datagram (UDP) of all the bytes.
    bool Send(const Bytes &bytes);
    // Collects bytes until `count` have arrived or timeoutMs has passed; returns what came.
    Bytes ReceiveCount(size_t count, int timeoutMs);
    // The bytes of one read (UDP: one datagram) once something arrives within
    // timeoutMs; empty when nothing did.
    Bytes ReceiveAny(int timeoutMs);
    // Sends a request and collects an answer of `count` bytes.
    Bytes Exchange(const Bytes &request, size_t count, int timeoutMs = 2000);

private:
    int fd = -1;
    Kind kind = Kind::Tcp;
};

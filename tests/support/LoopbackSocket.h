#pragma once

#include <cstdint>
#include <vector>

// A TCP or UDP socket on 127.0.0.1 standing in for a device, a stranger or a port that
// refuses, used step by step on the test's thread. Every wait is bounded, the handle is
// closed once.
class LoopbackSocket {
public:
    using Bytes = std::vector<uint8_t>;

    // No socket, until Accept fills it.
    LoopbackSocket() = default;
    // Binds at once to 127.0.0.1 on a port the system picks; Port() is 0 when that failed.
    explicit LoopbackSocket(bool stream);
    ~LoopbackSocket();
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;

    uint16_t Port() const { return port; }
    // False when the socket cannot listen.
    bool Listen(int backlog);
    // The next connection, in place of into's socket; false on time-out.
    bool Accept(LoopbackSocket& into, int32_t timeoutMs);
    // One receive (UDP: one datagram), the sender's port and host (127.0.0.1: 0x7F000001):
    // the byte count, 0 when the connection's peer has gone, -1 on time-out or error.
    int Receive(Bytes& bytes, uint16_t* senderPort, int32_t timeoutMs,
                uint32_t* senderHost = nullptr);
    // False unless all of bytes went at once to 127.0.0.1:toPort (0: the connected peer).
    bool Send(const Bytes& bytes, uint16_t toPort = 0);
    // Starts a connection to 127.0.0.1:toPort without blocking; true when it was accepted
    // within waitMs.
    bool Connect(uint16_t toPort, int32_t waitMs);
    void Close();

private:
    intptr_t handle = -1;
    uint16_t port = 0;
};

// The handles (descriptors) this process has open, or -1 when the system does not tell.
// Two counts taken the same way show a leak.
int OpenHandleCount();

#pragma once

#include <cstdint>
#include <vector>

// A UDP socket on a loopback address (127.0.0.1 unless given; any 127.x.y.z binds on
// Linux without setup), port chosen by the system, standing in for a device or a
// stranger, used step by step on the test's thread. It can send to 127.0.0.1 only. Every
// wait is bounded.
class LoopbackUdpPeer {
public:
    using Bytes = std::vector<uint8_t>;

    // Binds at once to hostOrder (a 127.x.y.z address); Port() is 0 when that failed.
    explicit LoopbackUdpPeer(uint32_t hostOrder = 0x7F000001);
    ~LoopbackUdpPeer();

    uint16_t Port() const { return port; }

    // One datagram and the port it came from; false on time-out.
    bool ReceiveDatagram(Bytes* bytes, uint16_t* senderPort, int32_t timeoutMs);
    // False unless the whole datagram went out to 127.0.0.1:toPort.
    bool SendTo(const Bytes& bytes, uint16_t toPort);

private:
    int fd = -1;
    uint16_t port = 0;
};

#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A UDP socket on a loopback address (127.0.0.1 unless given; any 127.x.y.z binds on
// Linux without setup), port chosen by the system, standing in for a device or a
// stranger. Used step by step on the test's thread, or scripted: a background thread
// answers each datagram to its sender with what the responder returns, until the
// destructor. It can send to 127.0.0.1 only. Every wait is bounded.
class LoopbackUdpPeer {
public:
    using Bytes = std::vector<uint8_t>;
    using Responder = std::function<Bytes(const Bytes& request)>;

    // Binds at once to hostOrder (a 127.x.y.z address); Port() is 0 when that failed.
    explicit LoopbackUdpPeer(uint32_t hostOrder = 0x7F000001);
    ~LoopbackUdpPeer();

    uint16_t Port() const { return port; }

    // One datagram and the port it came from; false on time-out.
    bool ReceiveDatagram(Bytes* bytes, uint16_t* senderPort, int32_t timeoutMs);
    // False unless the whole datagram went out to 127.0.0.1:toPort.
    bool SendTo(const Bytes& bytes, uint16_t toPort);

    // An empty answer sends nothing. False if not bound or already scripted.
    bool StartScripted(Responder responder);
    // The datagrams the scripted thread has received, in order.
    std::vector<Bytes> Requests() const;

private:
    int fd = -1;
    uint16_t port = 0;
    std::atomic<bool> stop{false};
    std::thread worker;
    mutable std::mutex requestsLock;
    std::vector<Bytes> requests;
};

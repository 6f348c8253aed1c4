#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A UDP socket on 127.0.0.1 with a port chosen by the system, standing in for a device
// (or a stranger) in tests. Used step by step (ReceiveDatagram, SendTo) on the test's
// thread, or scripted: StartScripted answers every datagram to its sender on a
// background thread until StopScripted or the destructor, which join it.
// Only loopback destinations are possible. No call waits without a limit.
class LoopbackUdpPeer {
public:
    using Bytes = std::vector<uint8_t>;
    using Responder = std::function<Bytes(const Bytes &request)>;

    struct Datagram {
        Bytes bytes;
        uint32_t senderAddress = 0; // IPv4, host byte order
        uint16_t senderPort = 0;
    };

    // Binds at once; Port() is 0 if that failed.
    LoopbackUdpPeer();
    ~LoopbackUdpPeer();
    LoopbackUdpPeer(const LoopbackUdpPeer &) = delete;
    LoopbackUdpPeer &operator=(const LoopbackUdpPeer &) = delete;

    // The bound port, or 0 when the socket could not be bound.
    uint16_t Port() const { return port; }

    // Takes one datagram (up to 64 KiB) within timeoutMs; false on time-out or failure.
    bool ReceiveDatagram(Datagram *out, int32_t timeoutMs);
    // Sends one datagram to toAddress:toPort (IPv4, host byte order); false for an
    // address outside 127.0.0.0/8 and unless every byte went out.
    bool SendTo(const Bytes &bytes, uint16_t toPort, uint32_t toAddress = 0x7F000001u);

    // Answers datagrams on a background thread; false if already running or not bound.
    bool StartScripted(Responder responder);
    void StopScripted();
    // The datagrams the scripted thread has seen, in order.
    std::vector<Bytes> Requests() const;

private:
    void ServeLoop();

    int fd = -1;
    uint16_t port = 0;
    int stopPipe[2] = {-1, -1};
    std::thread worker;
    Responder responder;
    mutable std::mutex requestsLock;
    std::vector<Bytes> requests;
};

#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A TCP server on 127.0.0.1 (port chosen by the system) standing in for a device. Used
// step by step on the test's thread, or scripted: a background thread accepts clients (a
// new one replaces the last) and answers each read with what the responder returns,
// until the destructor. Not both at once. Every wait is bounded.
class LoopbackTcpServer {
public:
    using Bytes = std::vector<uint8_t>;
    using Responder = std::function<Bytes(const Bytes& request)>;

    // Listens at once with this backlog; Port() is 0 when that failed.
    explicit LoopbackTcpServer(int backlog = 4);
    ~LoopbackTcpServer();

    uint16_t Port() const { return port; }

    // Accepts one client, replacing any earlier one; false on time-out.
    bool AcceptClient(int32_t timeoutMs);
    // One read of what the client sent; empty on time-out or when it has closed.
    Bytes ReadRequest(int32_t timeoutMs);
    // False when there is no client or it did not take every byte at once.
    bool WriteAnswer(const Bytes& bytes);
    void CloseClient();

    // An empty answer sends nothing. False if not listening or already scripted.
    bool StartScripted(Responder responder);
    // The requests the scripted thread has read, in order.
    std::vector<Bytes> Requests() const;

private:
    int listenFd = -1;
    int clientFd = -1;
    uint16_t port = 0;
    std::atomic<bool> stop{false};
    std::thread worker;
    mutable std::mutex requestsLock;
    std::vector<Bytes> requests;
};

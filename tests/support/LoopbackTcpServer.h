#pragma once

#include <cstdint>
#include <vector>

// A TCP server on 127.0.0.1 (port chosen by the system) standing in for a device, used
// step by step on the test's thread. Every wait is bounded.
class LoopbackTcpServer {
public:
    using Bytes = std::vector<uint8_t>;

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

private:
    int listenFd = -1;
    int clientFd = -1;
    uint16_t port = 0;
};

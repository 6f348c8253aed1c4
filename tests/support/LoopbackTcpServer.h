#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A TCP server on 127.0.0.1 with a port chosen by the system, standing in for a device
// in tests. Two ways to use it, not at the same time:
//  - step by step on the test's thread: AcceptClient, then ReadRequest / WriteAnswer /
//    CloseClient, each with a bounded wait;
//  - scripted: StartScripted runs a background thread that accepts clients (a new
//    client replaces the previous one) and answers every request with what the given
//    function returns. StopScripted (or the destructor) ends and joins it.
// Every descriptor is CLOEXEC and closed exactly once; no call waits without a limit.
class LoopbackTcpServer {
public:
    using Bytes = std::vector<uint8_t>;
    // Turns one request (the bytes of one read) into the answer; an empty answer sends
    // nothing, like a silent device.
    using Responder = std::function<Bytes(const Bytes &request)>;

    // Listens at once with the given backlog; Port() is 0 if that failed.
    explicit LoopbackTcpServer(int backlog = 4);
    ~LoopbackTcpServer();
    LoopbackTcpServer(const LoopbackTcpServer &) = delete;
    LoopbackTcpServer &operator=(const LoopbackTcpServer &) = delete;

    // The listening port, or 0 when the server could not listen.
    uint16_t Port() const { return port; }

    // Accepts one pending client within timeoutMs, replacing any earlier one; false on
    // time-out or failure.
    bool AcceptClient(int32_t timeoutMs);
    // One read of what the client has sent, waiting at most timeoutMs: empty on
    // time-out, on failure or when the client has closed.
    Bytes ReadRequest(int32_t timeoutMs);
    // Reads until count bytes have come or timeoutMs has passed; returns what came.
    Bytes ReadExactly(size_t count, int32_t timeoutMs);
    // Writes all bytes to the client; false when there is none or the write failed.
    bool WriteAnswer(const Bytes &bytes);
    // Closes the client connection in order (FIN), or with reset = true abortively (RST).
    void CloseClient(bool reset = false);
    // True once the client has closed its end; waits at most timeoutMs to see it.
    bool ClientClosed(int32_t timeoutMs);

    // Serves clients on a background thread until StopScripted; false if already running
    // or not listening.
    bool StartScripted(Responder responder);
    void StopScripted();
    // The requests the scripted thread has seen, in order.
    std::vector<Bytes> Requests() const;

private:
    void ServeLoop();
    void ServeOneRequest(int fd);
    void CloseListener();

    int listenFd = -1;
    int clientFd = -1;
    uint16_t port = 0;
    int stopPipe[2] = {-1, -1};
    std::thread worker;
    Responder responder;
    mutable std::mutex requestsLock;
    std::vector<Bytes> requests;
};

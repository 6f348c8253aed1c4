#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Kind of transport a Device creates. Values outside 1..3 name no transport.
enum class CommType : int32_t { None = 0, Serial = 1, Tcp = 2, Udp = 3 };

// Settings of a serial transport. stopBits and parity are the codes the window
// stores (stop bits: 0 one, 1 one and a half, 2 two; parity: 0 none, 1 odd, 2 even).
struct SerialConfig {
    std::string portName = "COM1";
    uint32_t baudRate = 9600;
    uint32_t dataBits = 8;
    uint32_t stopBits = 0;
    uint32_t parity = 0;
};

// Settings of a TCP client transport. Only the low 16 bits of port are used.
struct TcpConfig {
    std::string serverIp = "127.0.0.1";
    uint32_t port = 502;
    uint32_t timeoutMs = 5000;
};

// Settings of a UDP transport. A localIp that does not parse binds to all addresses.
struct UdpConfig {
    std::string localIp = "0.0.0.0";
    uint32_t localPort = 0;
    std::string remoteIp = "127.0.0.1";
    uint32_t remotePort = 502;
    uint32_t timeoutMs = 3000;
};

// What Receive and DiscardPending return when they deliver no bytes.
constexpr int32_t kReceiveNothing = 0; // nothing arrived within the wait
constexpr int32_t kReceiveFailed = -1; // not open, bad arguments, or the wait or read failed
constexpr int32_t kReceiveClosed = -2; // the peer closed the connection, or the line hung up

// Tells whether the bytes received so far hold one whole answer.
using AnswerCheck = std::function<bool(const uint8_t* data, int32_t length)>;

// A transport moves bytes and knows nothing of frames. No operation throws;
// failures are reported as false, -1 or kReceiveClosed.
class ICommunication {
public:
    virtual ~ICommunication() = default;

    // One-time preparation after creation; the Device ignores the result.
    virtual bool Initialize() = 0;
    // Copies the record of the transport's own kind (SerialConfig, TcpConfig or
    // UdpConfig); false only for a null pointer. Takes effect at the next Open.
    virtual bool Configure(const void* config) = 0;
    // Opens with the stored settings, closing first if open; false on failure,
    // with nothing left open.
    virtual bool Open() = 0;
    // Releases the handle; closing a closed transport does nothing.
    virtual void Close() = 0;
    // True between a successful Open and the next Close.
    virtual bool IsOpen() = 0;
    // One write of the whole frame: the count the system accepted, or -1.
    virtual int32_t Send(const uint8_t* data, int32_t length) = 0;
    // Waits at most about timeoutMs for data: the count received; kReceiveNothing when
    // nothing came in time; kReceiveClosed when the peer has closed or the line hung up
    // (at once, on every call); kReceiveFailed when closed or on any other failure.
    virtual int32_t Receive(uint8_t* buffer, int32_t size, int32_t timeoutMs) = 0;
    // Transports that can only see an answer's end by timing (serial) use it to return
    // as soon as the answer is complete; others may ignore it. Empty = no check.
    virtual void SetAnswerCheck(AnswerCheck check) = 0;
    // Reads, without blocking, whatever input is already waiting (up to size bytes) and
    // drops it: the count read (0 when nothing waited), kReceiveClosed when nothing
    // waited and the peer has closed, or kReceiveFailed on error.
    virtual int32_t DiscardPending(uint8_t* buffer, int32_t size) = 0;
};

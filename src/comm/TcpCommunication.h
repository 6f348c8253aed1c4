#pragma once

#include <cstdint>
#include <mutex>

#include "comm/ICommunication.h"

// A TCP client connection to the device's address and port. It does no framing:
// one Receive returns the bytes that are there at that moment. Open, Close and Send
// take the transport's lock; Receive does not, so the caller must not close or reopen
// the transport from another thread while a Receive is running.
class TcpCommunication : public ICommunication {
public:
    TcpCommunication() = default;
    // Closes the connection if it is still open.
    ~TcpCommunication() override;
    TcpCommunication(const TcpCommunication&) = delete;
    TcpCommunication& operator=(const TcpCommunication&) = delete;

    // Marks the socket layer as prepared for this object; always true on POSIX.
    bool Initialize() override;
    // Copies a TcpConfig; false (settings unchanged) for a null pointer.
    bool Configure(const void* config) override;
    // Connects, waiting at most timeoutMs for the connection; closes an open connection
    // first; a host name's addresses are tried in turn. False, with nothing left open, for
    // an address that does not resolve (POSIX: a name, IPv4 or IPv6; Windows: dotted IPv4
    // only), a refused connection (reported at once) or no answer within timeoutMs.
    bool Open() override;
    // Closes the socket; nothing happens when already closed.
    void Close() override;
    // True between a successful Open and Close; a peer that left is not noticed here.
    bool IsOpen() override;
    // One send of length bytes: the count the system accepted (possibly short), or -1
    // when closed, for bad arguments, or when the send failed or timed out.
    int32_t Send(const uint8_t* data, int32_t length) override;
    // Waits up to timeoutMs for data, then one read of at most size bytes. Returns the
    // count; kReceiveNothing when nothing came in time; kReceiveClosed when the peer has
    // closed or reset the connection (then at once, on every call); kReceiveFailed when
    // closed, for bad arguments, when the wait failed or on another read error.
    int32_t Receive(uint8_t* buffer, int32_t size, int32_t timeoutMs) override;
    // Ignored: the Device collects an answer that comes in pieces.
    void SetAnswerCheck(AnswerCheck check) override;
    // Reads the bytes already received without waiting: their count (0 when none),
    // kReceiveClosed when none came before the peer's close, or kReceiveFailed when
    // closed or on a read error.
    int32_t DiscardPending(uint8_t* buffer, int32_t size) override;

private:
    static constexpr std::intptr_t kInvalidSocket = -1;

    void ReleaseSocket();

    std::intptr_t socketHandle = kInvalidSocket;
    TcpConfig settings;
    bool isOpen = false;
    std::recursive_mutex lock;
    bool socketStarted = false;
};
